#include "GuiTestSupport.h"

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/qt/ViewWidget.h"
#include "document/Document.h"
#include "view/SceneView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <filesystem>
#include <memory>

namespace {

constexpr int kCloudPoints = 6000;
constexpr int kBudget = 400;

std::filesystem::path ToPath(const QString& file)
{
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

// kCloudPoints points along a line: the octree's root holds one point per 1/128 of it.
QString WriteCloud(const QTemporaryDir& dir)
{
    QByteArray text = "ply\nformat ascii 1.0\nelement vertex " + QByteArray::number(kCloudPoints) +
                      "\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
    for (int i = 0; i < kCloudPoints; ++i)
        text += QByteArray::number(i) + " " + QByteArray::number(i % 7) + " 0.5\n";
    const QString path = dir.filePath("line.ply");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

}  // namespace

// The viewer with a settings file that sets a small point budget, opening a larger cloud.
class PointBudgetAppTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Application> m_app;

    QString SettingsFile() const { return m_dir->filePath("orrisk.ini"); }
    SceneView& View() const { return m_app->ViewWindow()->View(); }
    // Paints the view once and tells what the frame drew.
    PointDrawStats Paint() const
    {
        QSignalSpy swapped(m_app->ViewWindow(), &QOpenGLWidget::frameSwapped);
        m_app->ViewWindow()->update();
        if (!swapped.wait(10000))
            qWarning("no frame within 10 s");
        return View().LastDrawStats();
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QFile settings(SettingsFile());
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[Display]\nPointBudget=" + QByteArray::number(kBudget) + "\n");
    }
    void cleanup()
    {
        if (m_app && m_app->Window())
            m_app->Window()->close();
        m_app.reset();
        m_dir.reset();
    }

    void theTreeArrivesInTheBackgroundAndThePaneShowsDrawnOfTotal()
    {
        m_app = std::make_unique<Application>(AppOptions{ToPath(SettingsFile()), m_dir->filePath("profile.ini")});
        QVERIFY(m_app->Start({}));
        QVERIFY(guitest::ShowActive(*m_app->Window()));
        m_app->BeginOpenDocumentFile(WriteCloud(*m_dir));
        QTRY_VERIFY(!m_app->IsLoading());
        QVERIFY(m_app->CurrentDocument().PointCloud());
        QCOMPARE(static_cast<int>(m_app->CurrentDocument().PointCloud()->positions.size()), kCloudPoints);

        // The build's wake-up comes through the event loop; every frame keeps to the budget.
        QTRY_VERIFY_WITH_TIMEOUT(Paint().nodesLoaded > 0, 30000);
        const PointDrawStats still = Paint();
        QVERIFY(still.drawn > 0 && still.drawn <= kBudget);
        QCOMPARE(still.total, std::uint64_t{kCloudPoints});
        QCOMPARE(m_app->Window()->PaneText(StatusPane::Count),
                 QString("Points: %1 / %2").arg(still.drawn).arg(kCloudPoints));

        // A wheel notch: a quarter of the budget, then the full budget once the camera rests,
        // without any further input.
        const QPoint centre = m_app->ViewWindow()->rect().center();
        QWheelEvent wheel(centre, m_app->ViewWindow()->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QSignalSpy swapped(m_app->ViewWindow(), &QOpenGLWidget::frameSwapped);
        QElapsedTimer sinceWheel;
        sinceWheel.start();
        QApplication::sendEvent(m_app->ViewWindow(), &wheel);
        QVERIFY(swapped.wait(10000));
        // A machine too busy to paint within the motion's quarter second has already settled.
        if (sinceWheel.elapsed() < 200)
            QVERIFY(View().LastDrawStats().drawn <= kBudget / 4);
        QTRY_VERIFY_WITH_TIMEOUT(View().LastDrawStats().drawn > kBudget / 4, 10000);

        // The budget the file set is kept.
        m_app->Window()->close();
        m_app.reset();
        QFile settings(SettingsFile());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(settings.readAll().contains("PointBudget=" + QByteArray::number(kBudget) + "\n"));
    }
};

QTEST_MAIN(PointBudgetAppTest)
#include "PointBudgetAppTest.moc"
