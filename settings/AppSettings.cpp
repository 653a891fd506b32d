#include "settings/AppSettings.h"

#include "settings/ColoringSettings.h"
#include "settings/DecimalText.h"
#include "settings/IniFile.h"
#include "settings/TextFileAccess.h"
#include "platform/Log.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kDisplay = "Display";
constexpr std::string_view kView = "View";

// String values are read as far as the classic 64-character profile buffer reached.
constexpr std::size_t kMaxStringValueLength = 63;

// A real settings file is a few hundred bytes. Past this bound a file is not ours: it is
// neither read nor replaced (the log says so), which also keeps every load and save well
// under a second.
constexpr std::size_t kMaxSettingsFileBytes = std::size_t{16} << 20;

constexpr std::string_view kDeletedMark = " (deleted)";

// Both sections and all eleven keys with their longest values fit in this.
constexpr std::size_t kRoomForAddedKeys = 1024;

void ReadFlag(const IniFile& ini, std::string_view section, std::string_view key, bool& field)
{
    const std::int32_t value = ini.GetInt(section, key, -1);
    if (value == 0 || value == 1)
        field = value == 1;
}

void ReadZeroOrOne(const IniFile& ini, std::string_view section, std::string_view key, std::int32_t& field)
{
    const std::int32_t value = ini.GetInt(section, key, -1);
    if (value == 0 || value == 1)
        field = value;
}

std::optional<std::string> ReadNonEmptyString(const IniFile& ini, std::string_view section, std::string_view key)
{
    std::optional<std::string> value = ini.GetString(section, key);
    if (!value || value->empty())
        return std::nullopt;
    value->resize(std::min(value->size(), kMaxStringValueLength));
    return value;
}

// Truncates toward zero like a C cast, but saturates instead of overflowing; NaN gives 0.
int TruncateToInt(float value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0f)
        return std::numeric_limits<int>::max();
    if (value <= -2147483648.0f)
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

std::string_view ZeroOrOne(bool value) { return value ? "1" : "0"; }

void LogTooLarge(const std::filesystem::path& file, std::string_view what)
{
    Log(LogLevel::Warning, "Settings", file.string() + " is larger than 16 MiB, so it is not ours: " + std::string(what));
}

}  // namespace

std::filesystem::path SettingsFilePathFor(const std::filesystem::path& executable)
{
    std::string text = executable.native();
    if (text.size() > kDeletedMark.size() && text.ends_with(kDeletedMark))
        text.resize(text.size() - kDeletedMark.size());
    std::filesystem::path path(std::move(text));
    return path.replace_extension(".ini");
}

std::filesystem::path SettingsFilePath()
{
    std::error_code ec;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || executable.empty())
        return {};
    return SettingsFilePathFor(executable);
}

std::optional<std::int64_t> ParsePointBudget(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < kAutomaticPointBudgetSetting)
        return std::nullopt;
    return value;
}

double ClampPointSize(double size, float minSize, float maxSize)
{
    if (size < minSize)
        return minSize;
    if (size > maxSize)
        return maxSize;
    return size;
}

void ReadSettings(const IniFile& ini, AppSettings& settings)
{
    if (const auto text = ReadNonEmptyString(ini, kDisplay, "PointSize")) {
        double size = ParseDecimalPrefix(*text);
        // Infinity and not-a-number (spelt out, or a number too large for a double) count
        // as no value; every finite number is clamped.
        if (std::isfinite(size)) {
            size = ClampPointSize(size, settings.pointSizeMin, settings.pointSizeMax);
            if (std::fabs(size) <= std::numeric_limits<float>::max())
                settings.pointSize = static_cast<float>(size);
        }
    }
    ReadFlag(ini, kDisplay, "RoundPoints", settings.roundPoints);

    // The colour is taken only as a whole.
    const std::int32_t red = ini.GetInt(kDisplay, "BackGroundR", -1);
    const std::int32_t green = ini.GetInt(kDisplay, "BackGroundG", -1);
    const std::int32_t blue = ini.GetInt(kDisplay, "BackGroundB", -1);
    if (red >= 0 && green >= 0 && blue >= 0)
        settings.background = Eigen::Vector3f(static_cast<float>(red), static_cast<float>(green),
                                              static_cast<float>(blue)) / 255.0f;

    ReadFlag(ini, kDisplay, "ShowAxisGizmo", settings.showAxisGizmo);
    ReadZeroOrOne(ini, kView, "ProjMode", settings.projection);
    ReadZeroOrOne(ini, kView, "NavMode", settings.navMode);

    const std::int32_t blendPercent = ini.GetInt(kView, "segBlend", -1);
    if (blendPercent >= 0 && blendPercent <= 100)
        settings.segBlend = static_cast<float>(blendPercent) * 0.01f;

    if (const auto text = ReadNonEmptyString(ini, kView, "SegSeed"))
        settings.segSeed = ParseUnsignedDecimalPrefix(*text);
    ReadColoringSettings(ini, settings);

    if (const auto text = ReadNonEmptyString(ini, kDisplay, "PointBudget"))
        if (const std::optional<std::int64_t> budget = ParsePointBudget(*text))
            settings.pointBudget = budget;
}

void WriteSettings(IniFile& ini, const AppSettings& settings)
{
    const auto channel = [&](int index) {
        return std::to_string(TruncateToInt(settings.background[index] * 255.0f + 0.5f));
    };
    ini.SetString(kDisplay, "PointSize", FormatOneDecimal(settings.pointSize));
    ini.SetString(kDisplay, "RoundPoints", ZeroOrOne(settings.roundPoints));
    ini.SetString(kDisplay, "BackGroundR", channel(0));
    ini.SetString(kDisplay, "BackGroundG", channel(1));
    ini.SetString(kDisplay, "BackGroundB", channel(2));
    ini.SetString(kDisplay, "ShowAxisGizmo", ZeroOrOne(settings.showAxisGizmo));
    ini.SetString(kView, "ProjMode", ZeroOrOne(settings.projection == 1));
    ini.SetString(kView, "NavMode", ZeroOrOne(settings.navMode == 1));
    ini.SetString(kView, "segBlend", std::to_string(TruncateToInt(settings.segBlend * 100.0f + 0.5f)));
    ini.SetString(kView, "SegSeed", std::to_string(settings.segSeed));
    WriteColoringSettings(ini, settings);
    if (settings.pointBudget)
        ini.SetString(kDisplay, "PointBudget", std::to_string(*settings.pointBudget));
}

void LoadSettingsFrom(const std::filesystem::path& file, AppSettings& settings)
{
    if (file.empty())
        return;
    ExistingFile existing = ReadExistingFile(file, kMaxSettingsFileBytes);
    // NUL bytes on lines of others do not hide our keys.
    if (existing.state == ExistingFileState::Text || existing.state == ExistingFileState::NotText)
        ReadSettings(IniFile(std::move(existing.text)), settings);
    else if (existing.state == ExistingFileState::TooLarge)
        LogTooLarge(file, "its settings were not read");
}

bool SaveSettingsTo(const std::filesystem::path& file, const AppSettings& settings)
{
    if (!file.has_filename())
        return false;
    const ExistingFile existing = ReadExistingFile(file, kMaxSettingsFileBytes);
    // Content that cannot be read cannot be kept: leave such a file alone. Every line that is
    // not one of ours stays byte for byte, NUL bytes and all.
    if (existing.state == ExistingFileState::TooLarge)
        LogTooLarge(file, "the settings were not saved and the file stays as it is");
    if (existing.state == ExistingFileState::Unusable || existing.state == ExistingFileState::TooLarge)
        return false;
    // The copy to edit gets room for the keys the file may lack, so that adding them does
    // not copy the whole text once more.
    std::string text;
    text.reserve(existing.text.size() + kRoomForAddedKeys);
    text = existing.text;
    IniFile ini(std::move(text));
    WriteSettings(ini, settings);
    if (existing.state == ExistingFileState::Text && ini.Text() == existing.text)
        return true;
    return ReplaceFileAtomically(file, ini.Text());
}

