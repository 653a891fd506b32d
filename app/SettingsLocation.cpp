#include "app/SettingsLocation.h"

#include "settings/AppSettings.h"

#include <QFile>
#include <QStandardPaths>

#include <system_error>

#include <unistd.h>

namespace {

bool CanWriteInto(const std::filesystem::path& folder)
{
    return !folder.empty() && ::access(folder.c_str(), W_OK) == 0;
}

}  // namespace

std::filesystem::path ChooseViewSettingsFile(const std::filesystem::path& besideExecutable,
                                             const std::filesystem::path& userConfigDir)
{
    std::error_code error;
    if (!besideExecutable.empty() &&
        (std::filesystem::exists(besideExecutable, error) || CanWriteInto(besideExecutable.parent_path())))
        return besideExecutable;
    if (userConfigDir.empty())
        return {};
    std::filesystem::create_directories(userConfigDir, error);
    return userConfigDir / "orrisk.ini";
}

std::filesystem::path ViewSettingsFile()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const std::filesystem::path userConfigDir =
        config.isEmpty() ? std::filesystem::path() : std::filesystem::path(QFile::encodeName(config).toStdString()) / "Orrisk";
    return ChooseViewSettingsFile(SettingsFilePath(), userConfigDir);
}
