#include "settings/ColoringSettings.h"

#include "settings/AppSettings.h"
#include "settings/DecimalText.h"
#include "settings/IniFile.h"

#include <cmath>
#include <optional>
#include <string>

namespace {

constexpr std::string_view kDisplay = "Display";
constexpr std::string_view kColorModeKey = "ColorMode";
constexpr std::string_view kEdlStrengthKey = "EdlStrength";
constexpr std::string_view kEdlRadiusKey = "EdlRadius";

std::optional<float> ReadDecimalWithin(const IniFile& ini, std::string_view key, float low, float high)
{
    const std::optional<std::string> text = ini.GetString(kDisplay, key);
    if (!text || text->empty())
        return std::nullopt;
    const double value = ParseDecimalPrefix(*text);
    if (!(value >= low && value <= high))
        return std::nullopt;
    return static_cast<float>(value);
}

// Writes the key when its value is not the default or the file has it already.
void WriteUnlessDefault(IniFile& ini, std::string_view key, const std::string& value, bool isDefault)
{
    if (!isDefault || ini.GetString(kDisplay, key))
        ini.SetString(kDisplay, key, value);
}

}  // namespace

void ReadColoringSettings(const IniFile& ini, AppSettings& settings)
{
    const std::int32_t mode = ini.GetInt(kDisplay, kColorModeKey, -1);
    if (mode >= 0 && mode < kColorModeCount)
        settings.colorMode = mode;
    if (const std::optional<float> strength = ReadDecimalWithin(ini, kEdlStrengthKey, 0.0f, kMaxEdlStrength))
        settings.edlStrength = *strength;
    if (const std::optional<float> radius = ReadDecimalWithin(ini, kEdlRadiusKey, kMinEdlRadius, kMaxEdlRadius))
        settings.edlRadius = *radius;
}

void WriteColoringSettings(IniFile& ini, const AppSettings& settings)
{
    const AppSettings defaults;
    WriteUnlessDefault(ini, kColorModeKey, std::to_string(settings.colorMode), settings.colorMode == defaults.colorMode);
    WriteUnlessDefault(ini, kEdlStrengthKey, FormatOneDecimal(settings.edlStrength),
                       FormatOneDecimal(settings.edlStrength) == FormatOneDecimal(defaults.edlStrength));
    WriteUnlessDefault(ini, kEdlRadiusKey, FormatOneDecimal(settings.edlRadius),
                       FormatOneDecimal(settings.edlRadius) == FormatOneDecimal(defaults.edlRadius));
}
