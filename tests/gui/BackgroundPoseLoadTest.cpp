#include "GuiTestSupport.h"

#include "app/Application.h"
#include "app/CommandTable.h"
#include "app/LoadProgressPane.h"
#include "app/MainWindow.h"
#include "app/qt/ViewWidget.h"
#include "document/Document.h"
#include "document/SceneFileRead.h"
#include "io/poses/PoseReader.h"

#include <QFile>
#include <QGuiApplication>
#include <QProgressBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

// Camera pose files are read on a worker as scenes are: the window goes on drawing, shows the
// progress, can cancel, and ends as the synchronous open did.

namespace {

std::filesystem::path ToPath(const QString& file)
{
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QString WriteCloud(const QTemporaryDir& dir, const QString& name, int count)
{
    QByteArray text = "ply\nformat ascii 1.0\nelement vertex " + QByteArray::number(count) +
                      "\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
    for (int i = 0; i < count; ++i)
        text += QByteArray::number(i) + " " + QByteArray::number(i % 7) + " 0.5\n";
    WriteFile(dir.filePath(name), text);
    return dir.filePath(name);
}

// `frames` cameras in a row along x, looking down -z at the scene.
QString WritePoses(const QTemporaryDir& dir, const QString& name, int frames)
{
    QByteArray json = R"({"camera_angle_x": 0.8, "frames": [)";
    for (int i = 0; i < frames; ++i)
        json += QStringLiteral(R"(%1{"transform_matrix": [[1,0,0,%2],[0,1,0,0],[0,0,1,20],[0,0,0,1]]})")
                    .arg(i ? "," : "")
                    .arg(i)
                    .toUtf8();
    json += "]}";
    WriteFile(dir.filePath(name), json);
    return dir.filePath(name);
}

// Stands in for a slow disk: a read reports a third of the file read, then waits until the
// test opens the gate (or the load is cancelled) before the real reader reads the file.
class SlowPoseDisk {
public:
    CameraPoseFileReader Reader()
    {
        return [this](const std::string& path, const ReadOptions& options) -> ReadResult<CameraPoseSet> {
            if (!WaitAtGate(options))
                return Fail(ReadError::Cancelled, "test: cancelled at the gate");
            return ReadCameraPoses(path, options);
        };
    }
    SceneFileReader SceneReader()
    {
        return [this](const std::string& path, const ReadOptions& options) -> SceneFileRead {
            if (!WaitAtGate(options))
                return {path, Fail(ReadError::Cancelled, "test: cancelled at the gate"), OpenFailureKind::PointCloud, false};
            return ReadSceneFile(path, options);
        };
    }
    void Open() { SetOpen(true); }
    void Close() { SetOpen(false); }
    int Started() const { return m_started; }

private:
    // False when the load was cancelled while waiting.
    bool WaitAtGate(const ReadOptions& options)
    {
        ++m_started;
        std::unique_lock lock(m_mutex);
        while (!m_open) {
            if (!ReportProgress(options, 1.0 / 3.0))
                return false;
            m_wake.wait_for(lock, std::chrono::milliseconds(5));
        }
        return true;
    }

    void SetOpen(bool open)
    {
        const std::lock_guard lock(m_mutex);
        m_open = open;
        m_wake.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_open = false;
    std::atomic<int> m_started{0};
};

bool BusyCursorShown()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}

}  // namespace

class BackgroundPoseLoadTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SlowPoseDisk> m_disk;
    std::unique_ptr<Application> m_app;
    QString m_scene;

    MainWindow* Frame() const { return m_app->Window(); }
    LoadProgressPane* Progress() const { return m_app->LoadProgress(); }
    std::size_t FrameCount() const { return m_app->CurrentDocument().CameraPoses().frames.size(); }
    QString FramePane() const { return Frame()->PaneText(StatusPane::Frame); }
    int PointCount() const
    {
        const PointCloudData* cloud = m_app->CurrentDocument().PointCloud();
        return cloud ? static_cast<int>(cloud->positions.size()) : 0;
    }

    // Starts the application on a scene of 40 points with 3 camera poses loaded.
    bool StartWithThreePoses()
    {
        AppOptions options{ToPath(m_dir->filePath("orrisk.ini")), m_dir->filePath("profile.ini"), m_disk->SceneReader(),
                           m_disk->Reader()};
        m_app = std::make_unique<Application>(std::move(options));
        m_scene = WriteCloud(*m_dir, "scene.ply", 40);
        if (!m_app->Start({m_scene}) || !guitest::ShowActive(*Frame()))
            return false;
        m_disk->Open();
        m_app->BeginOpenCameraPoseFile(WritePoses(*m_dir, "three.json", 3));
        if (!QTest::qWaitFor([this] { return !m_app->IsLoading(); }))
            return false;
        m_disk->Close();
        return FrameCount() == 3 && FramePane() == "Frame: 1/3";
    }
    // Begins reading a pose file through the slow disk and waits until it is at the gate.
    bool BeginSlowPoseOpen(const QString& path)
    {
        const int started = m_disk->Started();
        m_app->BeginOpenCameraPoseFile(path);
        return QTest::qWaitFor([&] { return m_disk->Started() > started && Progress()->Bar()->value() == 333; });
    }
    void VerifyThreePosesUntouched() const
    {
        QVERIFY(!m_app->IsLoading());
        QCOMPARE(FrameCount(), std::size_t{3});
        QCOMPARE(FramePane(), QString("Frame: 1/3"));
        QVERIFY(!Progress()->isVisible());
        QVERIFY(!BusyCursorShown());
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_disk = std::make_unique<SlowPoseDisk>();
    }
    void cleanup()
    {
        if (m_app && Frame())
            Frame()->close();
        m_app.reset();
        m_disk.reset();
        m_dir.reset();
    }

    void aSlowPoseLoadShowsItsProgressWhileTheWindowRepaints()
    {
        QVERIFY(StartWithThreePoses());
        QVERIFY(BeginSlowPoseOpen(WritePoses(*m_dir, "seven.json", 7)));
        QVERIFY(Progress()->isVisible());
        QCOMPARE(Progress()->FileName(), QString("seven.json"));
        QVERIFY(BusyCursorShown());
        QSignalSpy swapped(m_app->ViewWindow(), &QOpenGLWidget::frameSwapped);
        m_app->ViewWindow()->update();
        QTRY_VERIFY(swapped.count() > 0);
        QCOMPARE(FrameCount(), std::size_t{3});

        m_disk->Open();
        QTRY_VERIFY(!m_app->IsLoading());
        QCOMPARE(FrameCount(), std::size_t{7});
        QCOMPARE(FramePane(), QString("Frame: 1/7"));
        QVERIFY(Frame()->Action(CommandId::FileExportFlyThrough)->isEnabled());
        QVERIFY(!Progress()->isVisible());
        QVERIFY(!BusyCursorShown());
        QCOMPARE(PointCount(), 40);
    }

    void aCancelledPoseLoadKeepsThePreviousPoses()
    {
        QVERIFY(StartWithThreePoses());
        const QString seven = WritePoses(*m_dir, "seven.json", 7);

        m_app->BeginOpenCameraPoseFile(seven);  // at 0 %
        QVERIFY(m_app->IsLoading());
        m_app->CancelLoad();
        VerifyThreePosesUntouched();

        QVERIFY(BeginSlowPoseOpen(seven));
        QTest::mouseClick(Progress()->CancelButton(), Qt::LeftButton);
        VerifyThreePosesUntouched();

        QVERIFY(BeginSlowPoseOpen(seven));
        QTest::keyClick(m_app->ViewWindow(), Qt::Key_Escape);
        QTRY_VERIFY(!m_app->IsLoading());
        VerifyThreePosesUntouched();

        // After completion there is nothing left to stop.
        m_disk->Open();
        m_app->BeginOpenCameraPoseFile(seven);
        QTRY_VERIFY(!m_app->IsLoading());
        m_app->CancelLoad();
        QCOMPARE(FrameCount(), std::size_t{7});
    }

    void anotherOpenCancelsTheLoadRunning()
    {
        QVERIFY(StartWithThreePoses());
        // A pose file after a pose file: the second wins.
        QVERIFY(BeginSlowPoseOpen(WritePoses(*m_dir, "seven.json", 7)));
        QVERIFY(BeginSlowPoseOpen(WritePoses(*m_dir, "five.json", 5)));
        QCOMPARE(Progress()->FileName(), QString("five.json"));
        m_disk->Open();
        QTRY_VERIFY(!m_app->IsLoading());
        QCOMPARE(FrameCount(), std::size_t{5});
        m_disk->Close();

        // A scene opened during a pose load cancels it; the scene opens as usual.
        QVERIFY(BeginSlowPoseOpen(WritePoses(*m_dir, "nine.json", 9)));
        QVERIFY(m_app->OpenDocumentFile(WriteCloud(*m_dir, "other.ply", 12)));
        QVERIFY(!m_app->IsLoading());
        QVERIFY(!BusyCursorShown());
        QCOMPARE(PointCount(), 12);
        QCOMPARE(FrameCount(), std::size_t{0});  // a new scene has no poses, and the cancelled read brought none

        // A pose file opened during a background scene load cancels the scene's load.
        const int started = m_disk->Started();
        m_app->BeginOpenDocumentFile(WriteCloud(*m_dir, "late.ply", 30));
        QVERIFY(QTest::qWaitFor([&] { return m_disk->Started() > started; }));
        QVERIFY(BeginSlowPoseOpen(WritePoses(*m_dir, "four.json", 4)));
        QCOMPARE(Progress()->FileName(), QString("four.json"));
        m_disk->Open();
        QTRY_VERIFY(!m_app->IsLoading());
        QCOMPARE(PointCount(), 12);
        QCOMPARE(FrameCount(), std::size_t{4});
        QCOMPARE(FramePane(), QString("Frame: 1/4"));
    }

    void closingDuringAPoseLoadCancelsIt()
    {
        QVERIFY(StartWithThreePoses());
        QFile::remove(m_dir->filePath("profile.ini"));
        QVERIFY(BeginSlowPoseOpen(WritePoses(*m_dir, "seven.json", 7)));
        QVERIFY(Frame()->close());
        QVERIFY(!m_app->IsLoading());
        QVERIFY(!BusyCursorShown());
        m_app.reset();  // the gate never opened: the worker stopped on the cancel
        const QSettings profile(m_dir->filePath("profile.ini"), QSettings::IniFormat);
        QVERIFY(!profile.allKeys().isEmpty());
    }

    void aFailedPoseLoadShowsItsMessageAndKeepsThePreviousPoses()
    {
        QVERIFY(StartWithThreePoses());
        const QString bad = m_dir->filePath("bad.json");
        WriteFile(bad, R"({"frames": []})");
        guitest::MessageBoxAnswerer answerer;
        QVERIFY(BeginSlowPoseOpen(bad));
        m_disk->Open();
        QTRY_VERIFY(!m_app->IsLoading());
        QTRY_COMPARE(answerer.Texts().size(), 1);
        QVERIFY(answerer.Texts().first().startsWith("Failed to load the camera pose file (transforms.json).\n"));
        QCOMPARE(FrameCount(), std::size_t{3});
        QVERIFY(!BusyCursorShown());
    }
};

QTEST_MAIN(BackgroundPoseLoadTest)
#include "BackgroundPoseLoadTest.moc"
