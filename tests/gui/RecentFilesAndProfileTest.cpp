#include "app/RecentFileList.h"
#include "app/SettingsLocation.h"
#include "platform/Log.h"
#include "settings/AppSettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class RecentFilesAndProfileTest : public QObject {
    Q_OBJECT
private slots:
    void newestFirstWithoutDuplicatesAtMostEight()
    {
        RecentFileList list(8);
        for (int i = 1; i <= 9; ++i)
            list.Add(QString("/data/scan%1.ply").arg(i));
        QCOMPARE(list.Paths().size(), 8);
        QCOMPARE(list.Paths().first(), QString("/data/scan9.ply"));
        QCOMPARE(list.Paths().last(), QString("/data/scan2.ply"));

        list.Add("/data/./scan5.ply");  // the same file, written differently: moves to the front
        QCOMPARE(list.Paths().size(), 8);
        QCOMPARE(list.Paths().first(), QString("/data/scan5.ply"));
        QCOMPARE(list.Paths().count("/data/scan5.ply"), 1);

        list.Remove(0);
        QCOMPARE(list.Paths().first(), QString("/data/scan9.ply"));
        list.Remove(-1);
        list.Remove(100);
        QCOMPARE(list.Paths().size(), 7);
        list.Add("");
        QCOMPARE(list.Paths().size(), 7);
    }

    void listSurvivesTheProfile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("profile.ini");
        {
            RecentFileList list(8);
            for (const char* path : {"/a/one.las", "/b/two.ply", "/c/日本語.ply"})
                list.Add(QString::fromUtf8(path));
            QSettings profile(file, QSettings::IniFormat);
            list.Save(profile);
        }
        QSettings profile(file, QSettings::IniFormat);
        RecentFileList loaded(8);
        loaded.Load(profile);
        QCOMPARE(loaded.Paths(), QStringList({QString::fromUtf8("/c/日本語.ply"), "/b/two.ply", "/a/one.las"}));

        // Gaps, blanks and repeats written by hand are tidied up; a shorter list removes the
        // old tail entries from the profile.
        profile.setValue("Recent File List/File2", "");
        profile.setValue("Recent File List/File3", QString::fromUtf8("/c/日本語.ply"));
        profile.setValue("Recent File List/File7", "/x/late.ply");
        loaded.Load(profile);
        QCOMPARE(loaded.Paths(), QStringList({QString::fromUtf8("/c/日本語.ply"), "/x/late.ply"}));
        loaded.Save(profile);
        QVERIFY(!profile.contains("Recent File List/File3"));
        QVERIFY(!profile.contains("Recent File List/File7"));
    }

    void viewSettingsLiveBesideTheProgramWhenThatFolderIsWritable()
    {
        QTemporaryDir dir;
        const std::filesystem::path base(QFile::encodeName(dir.path()).toStdString());
        std::filesystem::create_directories(base / "bin");
        const std::filesystem::path beside = base / "bin" / "orrisk.ini";
        const std::filesystem::path config = base / "config" / "Orrisk";
        QCOMPARE(ChooseViewSettingsFile(beside, config), beside);
        QVERIFY(!std::filesystem::exists(config));  // nothing made that is not needed

        if (::geteuid() == 0)
            QSKIP("root can write into every folder");
        ::chmod((base / "bin").c_str(), 0555);
        QCOMPARE(ChooseViewSettingsFile(beside, config), config / "orrisk.ini");
        QVERIFY(std::filesystem::is_directory(config));
        ::chmod((base / "bin").c_str(), 0755);
    }

    void settingsBesideTheProgramThatCannotBeReplacedMoveToTheUserFolder()
    {
        // The folder's permissions do not bind root, so the test says what they would decide.
        QTemporaryDir dir;
        const std::filesystem::path base(QFile::encodeName(dir.path()).toStdString());
        std::filesystem::create_directories(base / "bin");
        const std::filesystem::path beside = base / "bin" / "orrisk.ini";
        const std::filesystem::path config = base / "config" / "Orrisk";
        const std::filesystem::path userFile = config / "orrisk.ini";
        // As after one run with sudo: the file is there, but its folder is not the user's.
        AppSettings written;
        written.pointSize = 7.0f;
        QVERIFY(SaveSettingsTo(beside, written));
        {
            ScopedLogCapture log;
            QCOMPARE(ChooseViewSettingsFile(beside, config, false), userFile);
            QCOMPARE(log.Lines().size(), std::size_t{1});
            QVERIFY(log.Text().find("cannot be replaced") != std::string::npos);
        }
        AppSettings loaded;
        LoadSettingsFrom(userFile, loaded);
        QCOMPARE(loaded.pointSize, 7.0f);  // the settings came along

        // Changes are saved to the user's file and read from it at the next start.
        loaded.pointSize = 3.0f;
        QVERIFY(SaveSettingsTo(ChooseViewSettingsFile(beside, config, false), loaded));
        AppSettings next;
        LoadSettingsFrom(ChooseViewSettingsFile(beside, config, false), next);
        QCOMPARE(next.pointSize, 3.0f);
        AppSettings untouched;
        LoadSettingsFrom(beside, untouched);
        QCOMPARE(untouched.pointSize, 7.0f);
        // Once the folder can be written again, the file beside the program is used.
        QCOMPARE(ChooseViewSettingsFile(beside, config, true), beside);
    }

    void settingsGoToTheUserFolderWithoutAnExecutablePath()
    {
        QTemporaryDir dir;
        const std::filesystem::path config = std::filesystem::path(QFile::encodeName(dir.path()).toStdString()) / "cfg";
        QCOMPARE(ChooseViewSettingsFile({}, config), config / "orrisk.ini");
        QCOMPARE(ChooseViewSettingsFile({}, {}), std::filesystem::path());
        // In a folder that does not exist nothing can be written, so the user folder is used.
        QCOMPARE(ChooseViewSettingsFile("/nonexistent-folder/orrisk.ini", config), config / "orrisk.ini");
    }
};

QTEST_MAIN(RecentFilesAndProfileTest)
#include "RecentFilesAndProfileTest.moc"
