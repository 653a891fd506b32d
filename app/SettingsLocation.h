#pragma once

#include <filesystem>

// Where the view keeps its display settings: the file beside the executable (a copy of the
// program unpacked anywhere keeps its settings with it) when its folder can be written, so
// that the file can be replaced; otherwise, as for a program installed into a system
// folder, orrisk.ini in the user's configuration folder (~/.config/Orrisk). A file beside
// the program that cannot be replaced seeds the user's file when that does not exist yet,
// and the log says which file is used. Empty when neither can be found.
std::filesystem::path ViewSettingsFile();

// The rule itself, for a given executable-side file and user configuration folder.
std::filesystem::path ChooseViewSettingsFile(const std::filesystem::path& besideExecutable,
                                             const std::filesystem::path& userConfigDir);
// The same, told whether the file beside the executable can be replaced.
std::filesystem::path ChooseViewSettingsFile(const std::filesystem::path& besideExecutable,
                                             const std::filesystem::path& userConfigDir, bool besideCanBeReplaced);
