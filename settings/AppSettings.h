#pragma once

#include <Eigen/Core>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

class IniFile;

// The display and view choices kept from one run to the next, as one plain value. A
// default-constructed record holds the values a new view starts with.
struct AppSettings {
    float pointSize = 2.0f;      // pixels
    bool roundPoints = true;     // discs rather than squares
    float pointSizeMin = 1.0f;   // clamp of pointSize; never stored in the file
    float pointSizeMax = 32.0f;  // clamp of pointSize; never stored in the file
    Eigen::Vector3f background = Eigen::Vector3f::Zero();  // r, g, b, nominally 0..1
    bool showAxisGizmo = true;
    std::int32_t projection = 0;  // ProjectionMode: 0 perspective, 1 orthographic
    std::int32_t navMode = 0;     // NavMode: 0 orbit, 1 fly
    float segBlend = 0.5f;        // segmentation tint, nominally 0..1
    std::uint32_t segSeed = 1;    // segmentation colour seed
    std::int32_t colorMode = 0;   // ColorMode: 0 RGB, 1 intensity, 2 classification, 3 elevation, 4 return
    float edlStrength = 0.0f;     // eye-dome lighting, 0 (off) to kMaxEdlStrength
    float edlRadius = 1.4f;       // pixels, kMinEdlRadius to kMaxEdlRadius
    // Points a frame may draw: -1 automatic, 0 every point, N. Stored only once the user has
    // chosen (empty: never chosen, which is automatic), so a file made on one machine does not
    // pin another's.
    std::optional<std::int64_t> pointBudget;

    bool operator==(const AppSettings&) const = default;
};

// The point budget setting's values besides a count N > 0.
inline constexpr std::int64_t kAutomaticPointBudgetSetting = -1;
inline constexpr std::int64_t kEveryPointBudgetSetting = 0;

// A PointBudget value as the file holds it: a whole number, -1 or more, blanks around it
// allowed; anything else is no value.
std::optional<std::int64_t> ParsePointBudget(std::string_view text);

// A point size limited to minSize..maxSize; a NaN stays NaN (callers decide what it means).
double ClampPointSize(double size, float minSize, float maxSize);

// The settings file that belongs to the executable at this path: the same folder and file
// name with the file name's extension, if any, replaced by ".ini" (/opt/orrisk/bin/orrisk
// gives /opt/orrisk/bin/orrisk.ini, viewer.bin gives viewer.ini). A path that the kernel
// marks " (deleted)", because the executable was replaced while it ran, counts as the
// path it had.
std::filesystem::path SettingsFilePathFor(const std::filesystem::path& executable);

// The settings file beside the running executable, found anew on every call; empty when
// the executable's path cannot be found.
std::filesystem::path SettingsFilePath();

// Copies the keys that are present and acceptable into the record; every other field keeps
// the value it had. A missing or unreadable file changes nothing.
void LoadSettingsFrom(const std::filesystem::path& file, AppSettings& settings);
void ReadSettings(const IniFile& ini, AppSettings& settings);

// Writes all stored keys, keeping everything else an existing file holds. The file is
// replaced as a whole, so a failure leaves the previous file as it was. SaveSettingsTo
// returns whether the file now holds the settings.
bool SaveSettingsTo(const std::filesystem::path& file, const AppSettings& settings);
void WriteSettings(IniFile& ini, const AppSettings& settings);
