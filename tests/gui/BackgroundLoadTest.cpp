#include "GuiTestSupport.h"

#include "app/Application.h"
#include "app/LoadProgressPane.h"
#include "app/MainWindow.h"
#include "app/qt/ViewWidget.h"
#include "document/Document.h"
#include "document/SceneFileRead.h"

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

namespace {

std::filesystem::path ToPath(const QString& file)
{
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

// A small point cloud of `count` points on a line.
QString WriteCloud(const QTemporaryDir& dir, const QString& name, int count)
{
    QByteArray text = "ply\nformat ascii 1.0\nelement vertex " + QByteArray::number(count) +
                      "\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
    for (int i = 0; i < count; ++i)
        text += QByteArray::number(i) + " " + QByteArray::number(i % 7) + " 0.5\n";
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Stands in for a slow disk: a read reports half the file read, then waits until the test
// opens the gate (or the load is cancelled) before the real reader reads the file.
class SlowDisk {
public:
    SceneFileReader Reader()
    {
        return [this](const std::string& path, const ReadOptions& options) -> SceneFileRead {
            ++m_started;
            std::unique_lock lock(m_mutex);
            while (!m_open) {
                if (!ReportProgress(options, 0.5))
                    return {path, Fail(ReadError::Cancelled, "test: cancelled at the gate"), OpenFailureKind::PointCloud, false};
                m_wake.wait_for(lock, std::chrono::milliseconds(5));
            }
            lock.unlock();
            return ReadSceneFile(path, options);
        };
    }
    void Open() { SetOpen(true); }
    void Close() { SetOpen(false); }
    int Started() const { return m_started; }

private:
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

class BackgroundLoadTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SlowDisk> m_disk;
    std::unique_ptr<Application> m_app;
    QString m_first;

    QString ProfileFile() const { return m_dir->filePath("profile.ini"); }
    MainWindow* Frame() const { return m_app->Window(); }
    LoadProgressPane* Progress() const { return m_app->LoadProgress(); }
    QString Title() const { return Frame()->windowTitle(); }
    int PointCount() const
    {
        const PointCloudData* cloud = m_app->CurrentDocument().PointCloud();
        return cloud ? static_cast<int>(cloud->positions.size()) : 0;
    }

    // Starts the application with a first cloud of 10 points opened, reading through the slow disk.
    bool StartWithFirstCloud()
    {
        AppOptions options{ToPath(m_dir->filePath("orrisk.ini")), ProfileFile(), m_disk->Reader()};
        m_app = std::make_unique<Application>(std::move(options));
        m_first = WriteCloud(*m_dir, "first.ply", 10);
        if (!m_app->Start({}) || !guitest::ShowActive(*Frame()))
            return false;
        m_disk->Open();
        m_app->BeginOpenDocumentFile(m_first);
        if (!QTest::qWaitFor([this] { return !m_app->IsLoading(); }))
            return false;
        m_disk->Close();
        return PointCount() == 10;
    }
    // Begins opening a file through the slow disk and waits until it is at the gate.
    bool BeginSlowOpen(const QString& path)
    {
        const int started = m_disk->Started();
        m_app->BeginOpenDocumentFile(path);
        return QTest::qWaitFor([&] { return m_disk->Started() > started && Progress()->Bar()->value() == 500; });
    }
    void VerifyFirstCloudUntouched() const
    {
        QVERIFY(!m_app->IsLoading());
        QCOMPARE(PointCount(), 10);
        QCOMPARE(m_app->CurrentDocument().Source(), QFile::encodeName(m_first).toStdString());
        QCOMPARE(Title(), QString("first.ply - Orrisk ver.1.1"));
        QVERIFY(!Progress()->isVisible());
        QVERIFY(!BusyCursorShown());
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_disk = std::make_unique<SlowDisk>();
    }
    void cleanup()
    {
        if (m_app && Frame())
            Frame()->close();
        m_app.reset();
        m_disk.reset();
        m_dir.reset();
    }

    void aSlowLoadShowsItsProgressWhileTheWindowRepaints()
    {
        QVERIFY(StartWithFirstCloud());
        const QString second = WriteCloud(*m_dir, "second.ply", 20);
        QVERIFY(BeginSlowOpen(second));
        QVERIFY(Progress()->isVisible());
        QCOMPARE(Progress()->FileName(), QString("second.ply"));
        QVERIFY(BusyCursorShown());
        // The UI thread is free: the view draws again when asked, with the first scene.
        QSignalSpy swapped(m_app->ViewWindow(), &QOpenGLWidget::frameSwapped);
        m_app->ViewWindow()->update();
        QTRY_VERIFY(swapped.count() > 0);
        QCOMPARE(PointCount(), 10);

        m_disk->Open();
        QTRY_VERIFY(!m_app->IsLoading());
        QCOMPARE(PointCount(), 20);
        QCOMPARE(Title(), QString("second.ply - Orrisk ver.1.1"));
        QCOMPARE(Frame()->PaneText(StatusPane::Count), QString("Points: 20"));
        QCOMPARE(m_app->RecentFiles().Paths().first(), second);
        QVERIFY(!Progress()->isVisible());
        QVERIFY(!BusyCursorShown());
    }

    void aCancelledLoadLeavesThePreviousScene()
    {
        QVERIFY(StartWithFirstCloud());
        const QString second = WriteCloud(*m_dir, "second.ply", 20);

        // At 0 %: cancelled before the worker has reported anything.
        m_app->BeginOpenDocumentFile(second);
        QVERIFY(m_app->IsLoading());
        m_app->CancelLoad();
        VerifyFirstCloudUntouched();

        // Mid-way, by the status bar's button.
        QVERIFY(BeginSlowOpen(second));
        QTest::mouseClick(Progress()->CancelButton(), Qt::LeftButton);
        VerifyFirstCloudUntouched();

        // Mid-way, by Esc.
        QVERIFY(BeginSlowOpen(second));
        QTest::keyClick(m_app->ViewWindow(), Qt::Key_Escape);
        QTRY_VERIFY(!m_app->IsLoading());
        VerifyFirstCloudUntouched();
        QCOMPARE(m_app->RecentFiles().Paths(), QStringList({m_first}));

        // After completion: nothing left to stop, the new scene stays.
        m_disk->Open();
        m_app->BeginOpenDocumentFile(second);
        QTRY_VERIFY(!m_app->IsLoading());
        m_app->CancelLoad();
        QTest::keyClick(Frame(), Qt::Key_Escape);
        QCOMPARE(PointCount(), 20);
        QCOMPARE(Title(), QString("second.ply - Orrisk ver.1.1"));
    }

    void aSecondOpenCancelsTheFirst()
    {
        QVERIFY(StartWithFirstCloud());
        const QString second = WriteCloud(*m_dir, "second.ply", 20);
        const QString third = WriteCloud(*m_dir, "third.ply", 30);
        QVERIFY(BeginSlowOpen(second));
        QVERIFY(BeginSlowOpen(third));
        QCOMPARE(Progress()->FileName(), QString("third.ply"));
        m_disk->Open();
        QTRY_VERIFY(!m_app->IsLoading());
        QCOMPARE(PointCount(), 30);
        QCOMPARE(Title(), QString("third.ply - Orrisk ver.1.1"));
        QCOMPARE(m_app->RecentFiles().Paths(), QStringList({third, m_first}));
        QVERIFY(!BusyCursorShown());
    }

    void aNewDocumentDuringALoadCancelsIt()
    {
        QVERIFY(StartWithFirstCloud());
        QVERIFY(BeginSlowOpen(WriteCloud(*m_dir, "second.ply", 20)));
        m_app->OnFileNew();
        QVERIFY(!m_app->IsLoading());
        QVERIFY(!BusyCursorShown());
        QCOMPARE(m_app->CurrentDocument().Kind(), SceneKind::None);
        QCOMPARE(Title(), QString("Orrisk ver.1.1"));
    }

    void closingDuringALoadCancelsItAndSavesTheProfile()
    {
        QVERIFY(StartWithFirstCloud());
        QFile::remove(ProfileFile());
        QVERIFY(BeginSlowOpen(WriteCloud(*m_dir, "second.ply", 20)));
        QVERIFY(Frame()->close());
        QVERIFY(!m_app->IsLoading());
        QVERIFY(!BusyCursorShown());
        m_app.reset();  // the gate never opened: the worker stopped on the cancel
        const QSettings profile(ProfileFile(), QSettings::IniFormat);
        QVERIFY(!profile.allKeys().isEmpty());
    }

    void aFailedBackgroundLoadShowsItsMessageAndEmptiesTheDocument()
    {
        QVERIFY(StartWithFirstCloud());
        const QString broken = m_dir->filePath("broken.ply");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nend_header\n1\n");
        file.close();
        guitest::MessageBoxAnswerer answerer;
        QVERIFY(BeginSlowOpen(broken));
        m_disk->Open();
        QTRY_VERIFY(!m_app->IsLoading());
        QTRY_COMPARE(answerer.Texts().size(), 1);
        QVERIFY(answerer.Texts().first().startsWith("Failed to load the point cloud file."));
        QCOMPARE(answerer.Details(), QStringList({"PLY parser: unexpected end of file in element vertex"}));
        QCOMPARE(m_app->CurrentDocument().Kind(), SceneKind::None);
        QCOMPARE(Title(), QString("Orrisk ver.1.1"));
        QCOMPARE(m_app->RecentFiles().Paths(), QStringList({m_first}));

        // A file that cannot be opened at all is turned away before anything is emptied.
        m_app->BeginOpenDocumentFile(m_first);
        QTRY_COMPARE(PointCount(), 10);
        m_app->BeginOpenDocumentFile(m_dir->filePath("missing.ply"));
        QTRY_COMPARE(answerer.Texts().size(), 2);
        QCOMPARE(answerer.Details().last(), QString("the file does not exist"));
        QCOMPARE(PointCount(), 10);
    }
};

QTEST_MAIN(BackgroundLoadTest)
#include "BackgroundLoadTest.moc"
