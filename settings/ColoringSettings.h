#pragma once

#include <string_view>

class IniFile;
struct AppSettings;

// How points are coloured and shaded, kept under [Display] as ColorMode=, EdlStrength= and
// EdlRadius=. An absent or unacceptable key leaves the field as it was, so a file that never
// had them means RGB without eye-dome lighting. They are written only when they differ from
// that or the file already has them: a file that never asked for them stays byte for byte.
inline constexpr int kColorModeCount = 5;
inline constexpr float kMaxEdlStrength = 10.0f;
inline constexpr float kMinEdlRadius = 1.0f;
inline constexpr float kMaxEdlRadius = 10.0f;

void ReadColoringSettings(const IniFile& ini, AppSettings& settings);
void WriteColoringSettings(IniFile& ini, const AppSettings& settings);
