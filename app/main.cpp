#include "app/Application.h"
#include "app/Icons.h"
#include "app/Language.h"
#include "app/SettingsLocation.h"
#include "app/TerminationSignals.h"
#include "app/qt/ViewWidget.h"
#include "settings/LanguageSetting.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>

#include <cstdio>
#include <cstdlib>

namespace {

void SetApplicationNames()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orrisk"));
    QCoreApplication::setApplicationName(QStringLiteral("Orrisk"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.1"));
}

struct CommandLine {
    QStringList files;
    QString language;
};

// Reads the command line before there is a window: --help, --version and bad options are
// answered here and end the program, so they need no display.
CommandLine ParseCommandLine(int argc, char* argv[])
{
    QCoreApplication probe(argc, argv);
    SetApplicationNames();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Orrisk: a viewer for point clouds (PLY, LAS, LAZ, COPC) and 3D Gaussian Splatting scenes (PLY, SPZ, SOG, "
        "compressed PLY, .splat)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A point cloud or Gaussian splat scene to open."),
                                 QStringLiteral("[file]"));
    const QCommandLineOption languageOption(
        QStringLiteral("lang"), QStringLiteral("Interface language: ja or en (default: the system's)."),
        QStringLiteral("language"));
    parser.addOption(languageOption);
    parser.process(probe);
    const QString language = parser.value(languageOption);
    if (!language.isEmpty() && !IsKnownLanguage(language)) {
        std::fprintf(stderr, "orrisk: unknown language '%s': the languages are ja (Japanese) and en (English)\n",
                     qPrintable(language));
        std::exit(2);
    }
    return {parser.positionalArguments(), language};
}

}  // namespace

int main(int argc, char* argv[])
{
    const CommandLine commandLine = ParseCommandLine(argc, argv);
    // Every context shares with the view's, so they all get its format.
    QSurfaceFormat::setDefaultFormat(ViewSurfaceFormat());
    QApplication app(argc, argv);
    SetApplicationNames();
    QApplication::setDesktopFileName(QStringLiteral("orrisk"));
    QApplication::setWindowIcon(AppIcon());

    const std::filesystem::path settingsFile = ViewSettingsFile();
    const QString language = ChooseLanguage(commandLine.language, QString::fromStdString(LoadLanguageSetting(settingsFile)),
                                            QLocale::system().uiLanguages());
    const AppTranslations translations(language);

    QuitOnTerminationSignals();
    Application orrisk(AppOptions{settingsFile, {}});
    if (!orrisk.Start(commandLine.files))
        return 1;
    return app.exec();
}
