#include "GuiTestSupport.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SettingsDialog.h"
#include "app/qt/ViewWidget.h"
#include "support/TestData.h"
#include "view/SceneView.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <filesystem>
#include <memory>

namespace {

std::filesystem::path ToPath(const QString& file)
{
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

QString CorpusFile(const char* relative)
{
    const std::filesystem::path path = testsupport::TestDataFile(relative);
    return path.empty() || !std::filesystem::exists(path) ? QString() : QFile::decodeName(path.c_str());
}

// Three coloured points without intensity or classes.
QString WritePlainCloud(const QTemporaryDir& dir)
{
    const QByteArray text = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                            "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
                            "end_header\n0 0 0 255 0 0\n1 0 0 0 255 0\n0 1 1 0 0 255\n";
    const QString path = dir.filePath("plain.ply");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

}  // namespace

class ColoringControlsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Application> m_app;

    QString SettingsFile() const { return m_dir->filePath("orrisk.ini"); }
    bool Start(const QStringList& arguments)
    {
        m_app = std::make_unique<Application>(AppOptions{ToPath(SettingsFile()), m_dir->filePath("profile.ini")});
        return m_app->Start(arguments) && guitest::ShowActive(*m_app->Window());
    }
    void Quit()
    {
        if (m_app && m_app->Window())
            m_app->Window()->close();
        m_app.reset();
    }
    SceneView& View() const { return m_app->ViewWindow()->View(); }
    QAction* Mode(const char* key) const
    {
        return m_app->Window()->findChild<QAction*>(QStringLiteral("colorBy_") + key);
    }
    QString ModePane() const { return m_app->Window()->PaneText(StatusPane::Mode); }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        Quit();
        m_dir.reset();
    }

    void settingsDialogEditsTheModeAndEyeDomeLighting()
    {
        AppSettings settings;
        settings.colorMode = 3;
        settings.edlStrength = 1.5f;
        settings.edlRadius = 2.0f;
        SettingsDialog dialog(settings);
        auto* mode = dialog.findChild<QComboBox*>("colorMode");
        auto* strength = dialog.findChild<QDoubleSpinBox*>("edlStrength");
        auto* radius = dialog.findChild<QDoubleSpinBox*>("edlRadius");
        QVERIFY(mode && strength && radius);
        QCOMPARE(mode->count(), 5);
        QCOMPARE(mode->currentIndex(), 3);
        QCOMPARE(strength->value(), 1.5);
        QCOMPARE(radius->value(), 2.0);
        mode->setCurrentIndex(2);
        strength->setValue(0.0);
        radius->setValue(99.0);  // held to the range
        QVERIFY(dialog.ReadControls());
        QCOMPARE(dialog.m_settings.colorMode, 2);
        QCOMPARE(dialog.m_settings.edlStrength, 0.0f);
        QCOMPARE(dialog.m_settings.edlRadius, 10.0f);
    }

    void modesTheCloudCannotShowAreGreyedOut()
    {
        QVERIFY(Start({WritePlainCloud(*m_dir)}));
        QVERIFY(Mode("rgb") && Mode("intensity") && Mode("classification") && Mode("elevation") && Mode("return"));
        QVERIFY(Mode("rgb")->isEnabled() && Mode("rgb")->isChecked());
        QVERIFY(Mode("elevation")->isEnabled());
        QVERIFY(!Mode("intensity")->isEnabled());
        QVERIFY(!Mode("classification")->isEnabled());
        QVERIFY(!Mode("return")->isEnabled());
        QVERIFY(m_app->Window()->findChild<QToolBar*>("colorToolBar"));
        // C goes through the modes the cloud has only, and the status bar names them.
        QTest::keyClick(m_app->ViewWindow(), Qt::Key_C);
        QCOMPARE(View().ShownColorMode(), ColorMode::Elevation);
        QCOMPARE(ModePane(), QString("Mode: Orbit | Persp | Elevation"));
        QTRY_VERIFY(Mode("elevation")->isChecked());
        QTest::keyClick(m_app->ViewWindow(), Qt::Key_C);
        QCOMPARE(View().ShownColorMode(), ColorMode::Rgb);
        QCOMPARE(ModePane(), QString("Mode: Orbit | Persp"));
    }

    void aLasFileWithoutColourReadsByClassAndTheChoiceIsSaved()
    {
        const QString las = CorpusFile("las/simple1_1.las");
        if (las.isEmpty())
            QSKIP("../shared/testdata is not present");
        QVERIFY(Start({las}));
        for (const char* key : {"intensity", "classification", "elevation", "return"})
            QVERIFY2(Mode(key)->isEnabled(), key);
        auto* legend = m_app->Window()->findChild<QLabel*>("classLegend");
        QVERIFY(legend && !legend->isVisible());
        Mode("classification")->trigger();
        QCOMPARE(View().ShownColorMode(), ColorMode::Classification);
        QVERIFY(legend->isVisible());
        QVERIFY(legend->text().contains(QString::fromUtf8("地面")));  // the program's own Japanese
        m_app->Window()->findChild<QAction*>("eyeDomeLighting")->trigger();
        QVERIFY(View().CurrentPointStyle().edlStrength > 0.0f);
        QCOMPARE(ModePane(), QString("Mode: Orbit | Persp | Classification | EDL"));
        Quit();
        QFile saved(SettingsFile());
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray text = saved.readAll();
        QVERIFY(text.contains("ColorMode=2\n"));
        QVERIFY(text.contains("EdlStrength=1.0\n"));
    }
};

QTEST_MAIN(ColoringControlsTest)
#include "ColoringControlsTest.moc"
