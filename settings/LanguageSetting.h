#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The interface language the user chose, kept in the settings file as Language= under
// [View]: "ja" or "en". Absent or empty means "follow the system".

// The stored choice, "ja", "en" or "" (follow the system; also for any other value and for
// a file that is missing or cannot be read).
std::string LoadLanguageSetting(const std::filesystem::path& file);

// Stores "ja", "en" or "" (follow the system), keeping everything else the file holds.
// False when the value is none of these or the file cannot be written.
bool SaveLanguageSetting(const std::filesystem::path& file, std::string_view language);
