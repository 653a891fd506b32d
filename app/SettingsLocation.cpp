#include "app/SettingsLocation.h"

#include "platform/Log.h"
#include "settings/AppSettings.h"

#include <QFile>
#include <QStandardPaths>

#include <system_error>

#include <unistd.h>

namespace {

// A settings file is saved by renaming a new file over it, so it can be replaced exactly
// when its folder can be written.
bool CanWriteInto(const std::filesystem::path& folder)
{
    return !folder.empty() && ::access(folder.c_str(), W_OK) == 0;
}

}  // namespace

std::filesystem::path ChooseViewSettingsFile(const std::filesystem::path& besideExecutable,
                                             const std::filesystem::path& userConfigDir)
{
    return ChooseViewSettingsFile(besideExecutable, userConfigDir,
                                  !besideExecutable.empty() && CanWriteInto(besideExecutable.parent_path()));
}

std::filesystem::path ChooseViewSettingsFile(const std::filesystem::path& besideExecutable,
                                             const std::filesystem::path& userConfigDir, bool besideCanBeReplaced)
{
    std::error_code error;
    if (!besideExecutable.empty() && besideCanBeReplaced)
        return besideExecutable;
    if (userConfigDir.empty())
        return {};
    std::filesystem::create_directories(userConfigDir, error);
    const std::filesystem::path userFile = userConfigDir / "orrisk.ini";

    // A file beside the program that cannot be replaced (left by a run with more rights, or
    // in a folder made read-only later) would be read at every start and never saved. Its
    // settings move to the user's file once, and that file is used from then on.
    if (besideExecutable.empty() || !std::filesystem::is_regular_file(besideExecutable, error))
        return userFile;
    if (!std::filesystem::exists(userFile, error))
        std::filesystem::copy_file(besideExecutable, userFile, error);
    Log(LogLevel::Warning, "Settings",
        besideExecutable.string() + " cannot be replaced; the settings are kept in " + userFile.string());
    return userFile;
}

std::filesystem::path ViewSettingsFile()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const std::filesystem::path userConfigDir =
        config.isEmpty() ? std::filesystem::path() : std::filesystem::path(QFile::encodeName(config).toStdString()) / "Orrisk";
    return ChooseViewSettingsFile(SettingsFilePath(), userConfigDir);
}
