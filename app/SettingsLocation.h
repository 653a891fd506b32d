#pragma once

#include <filesystem>

// Where the view keeps its display settings: the file beside the executable (a copy of the
// program unpacked anywhere keeps its settings with it) when that file exists or its folder
// can be written; otherwise, as for a program installed into a system folder, orrisk.ini in
// the user's configuration folder (~/.config/Orrisk). Empty when neither can be found.
std::filesystem::path ViewSettingsFile();

// The rule itself, for a given executable-side file and user configuration folder.
std::filesystem::path ChooseViewSettingsFile(const std::filesystem::path& besideExecutable,
                                             const std::filesystem::path& userConfigDir);
