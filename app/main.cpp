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

int main(int argc, char* argv[])
{
    // Every context shares with the view's, so they all get its format.
    QSurfaceFormat::setDefaultFormat(ViewSurfaceFormat());
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orrisk"));
    QApplication::setApplicationName(QStringLiteral("Orrisk"));
    QApplication::setApplicationVersion(QStringLiteral("1.1"));
    QApplication::setDesktopFileName(QStringLiteral("orrisk"));
    QApplication::setWindowIcon(AppIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Orrisk: a viewer for point clouds (PLY, LAS) and 3D Gaussian Splatting scenes."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A point cloud or Gaussian splat scene to open."),
                                 QStringLiteral("[file]"));
    const QCommandLineOption languageOption(
        QStringLiteral("lang"), QStringLiteral("Interface language: ja or en (default: the system's)."),
        QStringLiteral("language"));
    parser.addOption(languageOption);
    parser.process(app);

    const std::filesystem::path settingsFile = ViewSettingsFile();
    const QString language = ChooseLanguage(parser.value(languageOption),
                                            QString::fromStdString(LoadLanguageSetting(settingsFile)),
                                            QLocale::system().uiLanguages());
    const AppTranslations translations(language);

    QuitOnTerminationSignals();
    Application orrisk(AppOptions{settingsFile, {}});
    if (!orrisk.Start(parser.positionalArguments()))
        return 1;
    return app.exec();
}
