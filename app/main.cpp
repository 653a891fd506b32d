#include "app/Application.h"
#include "app/Icons.h"
#include "app/TerminationSignals.h"
#include "app/qt/ViewWidget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

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

    // Qt's own dialogs speak Japanese like the rest of the program, where Qt's translations
    // are installed.
    QTranslator qtTranslations;
    if (qtTranslations.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslations);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Orrisk: a viewer for point clouds (PLY, LAS) and 3D Gaussian Splatting scenes."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A PLY or LAS file to open."),
                                 QStringLiteral("[file]"));
    parser.process(app);

    QuitOnTerminationSignals();
    Application orrisk;
    if (!orrisk.InitInstance(parser.positionalArguments()))
        return 1;
    return app.exec();
}
