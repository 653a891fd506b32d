// The program's command line answers --help, --version and bad options without a display.
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void helpVersionAndUnknownLanguagesNeedNoDisplay()
    {
#ifndef ORRISK_APP_PROGRAM
        QSKIP("the orrisk program is not built");
#else
        struct Case {
            QStringList arguments;
            int exitCode;
            QByteArray says;
        };
        const Case cases[] = {
            {{"--help"}, 0, "LAZ, COPC"},
            {{"--version"}, 0, "1.1"},
            {{"--lang", "fr"}, 2, "ja (Japanese) and en (English)"},
            {{"--frobnicate"}, 1, "frobnicate"},
        };
        for (const Case& c : cases) {
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove("DISPLAY");
            environment.remove("WAYLAND_DISPLAY");
            environment.remove("QT_QPA_PLATFORM");
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(ORRISK_APP_PROGRAM, c.arguments);
            QVERIFY(child.waitForFinished(60000));
            const QByteArray output = child.readAll();
            QVERIFY2(child.exitStatus() == QProcess::NormalExit, output.constData());
            QCOMPARE(child.exitCode(), c.exitCode);
            QVERIFY2(output.contains(c.says), output.constData());
        }
#endif
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
