// The interface in English and Japanese: how the language is chosen, what the menus and
// dialogs say in each, and the choice kept by the settings dialog.
#include "GuiTestSupport.h"
#include "app/SettingsDialog.h"
#include "app/MainWindow.h"
#include "app/Application.h"
#include "app/ClassificationNames.h"
#include "app/CommandTable.h"
#include "scene/PointColoring.h"
#include "app/Language.h"
#include "settings/LanguageSetting.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>

#include <memory>

namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

std::filesystem::path ToPath(const QString& file)
{
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

// The letter after the mnemonic mark: "&File" and "ファイル(&F)" both give 'F'.
QChar Mnemonic(const QString& caption)
{
    const qsizetype mark = caption.indexOf(QLatin1Char('&'));
    return mark < 0 || mark + 1 >= caption.size() ? QChar() : caption.at(mark + 1).toUpper();
}

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Application> m_app;

    bool Start(const QStringList& arguments = {})
    {
        m_app = std::make_unique<Application>(
            AppOptions{ToPath(m_dir->filePath("orrisk.ini")), m_dir->filePath("profile.ini")});
        return m_app->Start(arguments) && guitest::ShowActive(*m_app->Window());
    }
    QStringList MenuTitles() const
    {
        QStringList titles;
        for (QAction* action : m_app->Window()->menuBar()->actions())
            titles << action->text();
        return titles;
    }
    void SaveScreenshot(const QString& name) const
    {
        const QString folder = qEnvironmentVariable("ORRISK_SCREENSHOT_DIR");
        if (folder.isEmpty())
            return;
        QTest::qWait(500);  // the splat scene's first sort and paint
        m_app->Window()->grab().save(QDir(folder).filePath(name));
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        if (m_app && m_app->Window())
            m_app->Window()->close();
        m_app.reset();
        m_dir.reset();
    }

    void commandLineThenSettingThenSystem()
    {
        const QStringList japaneseSystem = {"ja-JP", "en-US"};
        const QStringList englishSystem = {"en-GB", "ja-JP"};
        QCOMPARE(ChooseLanguage("", "", japaneseSystem), QString("ja"));
        QCOMPARE(ChooseLanguage("", "", {"ja"}), QString("ja"));
        QCOMPARE(ChooseLanguage("", "", englishSystem), QString("en"));
        QCOMPARE(ChooseLanguage("", "", {"de-DE"}), QString("en"));
        QCOMPARE(ChooseLanguage("", "", {"jav"}), QString("en"));
        QCOMPARE(ChooseLanguage("", "", {}), QString("en"));
        QCOMPARE(ChooseLanguage("", "en", japaneseSystem), QString("en"));
        QCOMPARE(ChooseLanguage("", "ja", englishSystem), QString("ja"));
        QCOMPARE(ChooseLanguage("ja", "en", englishSystem), QString("ja"));
        QCOMPARE(ChooseLanguage("en", "ja", japaneseSystem), QString("en"));
        QCOMPARE(ChooseLanguage("fr", "", japaneseSystem), QString("ja"));
    }

    // Run by systemLanguageFollowsLang in a child with a given LANG.
    void reportSystemLanguage()
    {
        qInfo("chosen language: %s", qPrintable(ChooseLanguage("", "", QLocale::system().uiLanguages())));
    }

    void systemLanguageFollowsLang()
    {
        for (const auto& [lang, expected] : {std::pair{"ja_JP.UTF-8", "ja"}, std::pair{"en_US.UTF-8", "en"},
                                             std::pair{"C", "en"}}) {
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
                environment.remove(name);
            environment.insert("LANG", lang);
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QCoreApplication::applicationFilePath(), {"reportSystemLanguage"});
            QVERIFY(child.waitForFinished(60000));
            const QByteArray output = child.readAll();
            QVERIFY2(output.contains(QByteArray("chosen language: ") + expected), output.constData());
        }
    }

    void everyTextHasItsEnglishWithTheSameMnemonic()
    {
        const AppTranslations english("en");
        QVERIFY(english.ProgramTranslated());
        const auto check = [](const char* text) {
            const QString source = Utf8(text);
            const QString translated = QCoreApplication::translate(kCommandTextContext, text);
            QVERIFY2(translated != source, text);
            for (QChar c : translated)
                QVERIFY2(c.unicode() < 0x80, qPrintable(translated));
            QCOMPARE(Mnemonic(translated), Mnemonic(source));
            // The shortcut hints stay as they are.
            QCOMPARE(translated.section('\t', 1), source.section('\t', 1));
        };
        for (const CommandText& command : CommandTexts()) {
            check(command.caption);
            check(command.prompt);
            check(command.tooltip);
        }
        for (const MenuLayout& menu : MainMenuLayout())
            check(menu.caption);
        check(ViewDirectionSubmenuCaption());
        check(kRecentFilesPlaceholder);
        check(kRecentFilePrompt);
    }

    // The legend's class names: Japanese in the program, the engine's English names in English.
    void classNamesInBothLanguages()
    {
        QCOMPARE(ClassificationSourceNames().size(), std::size_t{19});
        QCOMPARE(ClassificationDisplayName(2), Utf8("地面"));
        QCOMPARE(ClassificationDisplayName(40), Utf8("分類 40"));
        const AppTranslations english("en");
        for (std::uint8_t code = 0; code < ClassificationSourceNames().size(); ++code)
            QCOMPARE(ClassificationDisplayName(code), QString::fromLatin1(ClassificationName(code)));
        QCOMPARE(ClassificationDisplayName(40), QString("Class 40"));
    }

    void menusToolbarAndStatusInEnglish()
    {
        const AppTranslations english("en");
        QVERIFY(Start({ORRISK_SAMPLE_SCENE}));
        QCOMPARE(MenuTitles(), QStringList({"&File", "&View", "&Settings", "&Help"}));
        MainWindow* frame = m_app->Window();
        QCOMPARE(frame->Action(CommandId::AppExit)->text(), QString("E&xit"));
        QCOMPARE(frame->Action(CommandId::FileOpen)->toolTip(), QString("Open"));
        QCOMPARE(frame->MainToolBar()->windowTitle(), QString("Standard"));
        QVERIFY(frame->IdleMessage()->text().startsWith("[Rotate]"));
        auto* recent = frame->findChild<QAction*>("recentFilesPlaceholder");
        QVERIFY(recent);
        QCOMPARE(recent->text(), QString("Recent Files"));
        SaveScreenshot("screenshot-en.png");

        // Dialogs and message boxes speak English too.
        guitest::WhenDialogOpens<SettingsDialog>([](SettingsDialog* dialog) {
            QCOMPARE(dialog->windowTitle(), QString("Settings"));
            dialog->reject();
        });
        frame->Action(CommandId::Settings)->trigger();
        guitest::MessageBoxAnswerer answerer;
        m_app->OpenDocumentFile(m_dir->filePath("missing.ply"));
        QCOMPARE(answerer.Texts(), QStringList({"The file " + m_dir->filePath("missing.ply") + " could not be opened."}));
        QCOMPARE(answerer.Details(), QStringList({"the file does not exist"}));
    }

    void menusInJapanese()
    {
        const AppTranslations japanese("ja");
        QVERIFY(!japanese.ProgramTranslated());
        QVERIFY(Start({ORRISK_SAMPLE_SCENE}));
        QCOMPARE(MenuTitles(), QStringList({Utf8("ファイル(&F)"), Utf8("表示(&V)"), Utf8("設定(&S)"), Utf8("ヘルプ(&H)")}));
        QCOMPARE(m_app->Window()->Action(CommandId::AppExit)->text(), Utf8("終了(&X)"));
        SaveScreenshot("screenshot-ja.png");
    }

    void settingsDialogKeepsTheLanguageForTheNextStart()
    {
        QVERIFY(Start());
        const std::filesystem::path settings = ToPath(m_dir->filePath("orrisk.ini"));
        QCOMPARE(LoadLanguageSetting(settings), std::string());
        guitest::WhenDialogOpens<SettingsDialog>([](SettingsDialog* dialog) {
            QCOMPARE(dialog->Language(), QString());
            auto* language = dialog->findChild<QComboBox*>("language");
            language->setCurrentIndex(language->findData(QString("en")));
            dialog->accept();
        });
        m_app->Window()->Action(CommandId::Settings)->trigger();
        QCOMPARE(LoadLanguageSetting(settings), std::string("en"));

        // Back to following the system; cancelling changes nothing.
        guitest::WhenDialogOpens<SettingsDialog>([](SettingsDialog* dialog) {
            QCOMPARE(dialog->Language(), QString("en"));
            dialog->SetLanguage("");
            dialog->reject();
        });
        m_app->Window()->Action(CommandId::Settings)->trigger();
        QCOMPARE(LoadLanguageSetting(settings), std::string("en"));
        guitest::WhenDialogOpens<SettingsDialog>([](SettingsDialog* dialog) {
            dialog->SetLanguage("");
            dialog->accept();
        });
        m_app->Window()->Action(CommandId::Settings)->trigger();
        QCOMPARE(LoadLanguageSetting(settings), std::string());
    }
};

QTEST_MAIN(LanguageTest)
#include "LanguageTest.moc"
