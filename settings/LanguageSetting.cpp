#include "settings/LanguageSetting.h"

#include "settings/IniFile.h"
#include "settings/TextFileAccess.h"

namespace {

constexpr std::string_view kSection = "View";
constexpr std::string_view kKey = "Language";
// The same bound as for the other settings: a larger file is not ours.
constexpr std::size_t kMaxSettingsFileBytes = std::size_t{16} << 20;

bool IsKnownLanguage(std::string_view language)
{
    return language == "ja" || language == "en";
}

}  // namespace

std::string LoadLanguageSetting(const std::filesystem::path& file)
{
    if (file.empty())
        return {};
    ExistingFile existing = ReadExistingFile(file, kMaxSettingsFileBytes);
    if (existing.state != ExistingFileState::Text && existing.state != ExistingFileState::NotText)
        return {};
    const std::optional<std::string> value = IniFile(std::move(existing.text)).GetString(kSection, kKey);
    return value && IsKnownLanguage(*value) ? *value : std::string();
}

bool SaveLanguageSetting(const std::filesystem::path& file, std::string_view language)
{
    if (!file.has_filename() || (!language.empty() && !IsKnownLanguage(language)))
        return false;
    ExistingFile existing = ReadExistingFile(file, kMaxSettingsFileBytes);
    if (existing.state == ExistingFileState::Unusable || existing.state == ExistingFileState::TooLarge)
        return false;
    IniFile ini(existing.text);
    if (!ini.SetString(kSection, kKey, language))
        return false;
    if (existing.state != ExistingFileState::Missing && ini.Text() == existing.text)
        return true;
    return ReplaceFileAtomically(file, ini.Text());
}
