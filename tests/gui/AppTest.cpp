#include "GuiTestSupport.h"

#include "app/AboutDialog.h"
#include "app/SettingsDialog.h"
#include "app/MainWindow.h"
#include "app/Application.h"
#include "app/CommandTable.h"
#include "app/FlyThroughExport.h"
#include "app/TrainingPhotoOverlay.h"
#include "document/Document.h"
#include "app/qt/ViewWidget.h"
#include "render/GaussianSplatRenderer.h"
#include "convert/PointRecordSource.h"
#include "support/RecordCollector.h"
#include "support/TestData.h"
#include "support/VideoFile.h"
#include "view/SceneView.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QImage>
#include <QSlider>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolBar>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

std::filesystem::path ToPath(const QString& file)
{
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

QString CorpusFile(const char* relative)
{
    const std::filesystem::path path = testsupport::TestDataFile(relative);
    return path.empty() || !std::filesystem::exists(path) ? QString() : QFile::decodeName(path.c_str());
}

// A small coloured point cloud: `count` points on a spiral.
QString WriteCloud(const QTemporaryDir& dir, const QString& name, int count)
{
    QByteArray text = "ply\nformat ascii 1.0\nelement vertex " + QByteArray::number(count) +
                      "\nproperty float x\nproperty float y\nproperty float z\n"
                      "property uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n";
    for (int i = 0; i < count; ++i) {
        const double t = i * 0.1;
        text += QByteArray::number(std::cos(t) * (1 + t)) + ' ' + QByteArray::number(std::sin(t) * (1 + t)) + ' ' +
                QByteArray::number(t * 0.2) + " 255 " + QByteArray::number(i % 256) + " 40\n";
    }
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Camera poses of `frames` cameras on a circle around the origin, looking at it.
QString WritePoses(const QTemporaryDir& dir, int frames)
{
    QByteArray json = R"({"camera_angle_x": 0.9, "w": 800, "h": 600, "frames": [)";
    for (int i = 0; i < frames; ++i) {
        const double a = 2 * M_PI * i / frames;
        const double c = std::cos(a), s = std::sin(a);
        // Columns: right, up, backward (pointing from the origin to the camera), position.
        json += QStringLiteral(R"(%1{"transform_matrix": [[%2, 0, %3, %4], [0, 1, 0, 0], [%5, 0, %2, %6], [0, 0, 0, 1]]})")
                    .arg(i ? "," : "")
                    .arg(c)
                    .arg(s)
                    .arg(8 * s)
                    .arg(-s)
                    .arg(8 * c)
                    .toUtf8();
    }
    json += "]}";
    const QString path = dir.filePath("transforms.json");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// How many pixels of the image differ clearly from its corner pixel (the background).
int DrawnPixels(const QImage& image)
{
    const QRgb background = image.pixel(2, image.height() - 3);
    int drawn = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QRgb p = image.pixel(x, y);
            drawn += std::abs(qRed(p) - qRed(background)) + std::abs(qGreen(p) - qGreen(background)) +
                         std::abs(qBlue(p) - qBlue(background)) >
                     48;
        }
    return drawn;
}

}  // namespace

class AppTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Application> m_app;

    QString SettingsFile() const { return m_dir->filePath("orrisk.ini"); }
    QString ProfileFile() const { return m_dir->filePath("profile.ini"); }

    // Starts the application as the program does; false when it refused to start.
    bool Start(const QStringList& arguments = {})
    {
        m_app = std::make_unique<Application>(AppOptions{ToPath(SettingsFile()), ProfileFile()});
        if (!m_app->Start(arguments))
            return false;
        return guitest::ShowActive(*Frame());
    }
    void Quit()
    {
        if (m_app && Frame())
            Frame()->close();
        m_app.reset();
    }
    MainWindow* Frame() const { return m_app->Window(); }
    SceneView& View() const { return m_app->ViewWindow()->View(); }
    QWidget* ViewWindow() const { return m_app->ViewWindow(); }
    QString Pane(StatusPane id) const { return Frame()->PaneText(id); }
    void Command(CommandId id) const { Frame()->Action(id)->trigger(); }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QTest::keyClick(ViewWindow(), key, modifiers);
    }

    // Chooses `file` in the next file dialog the application opens.
    static void ChooseInNextFileDialog(const QString& file)
    {
        guitest::WhenDialogOpens<QFileDialog>([file](QFileDialog* dialog) { guitest::ChooseFile(*dialog, file); });
    }

    void SaveScreenshot(const char* name)
    {
        const QString folder = qEnvironmentVariable("ORRISK_SCREENSHOT_DIR");
        if (!folder.isEmpty())
            Frame()->grab().save(QDir(folder).filePath(name));
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
        Quit();
        m_dir.reset();
    }

    void startsWithAnEmptyDocument()
    {
        QVERIFY(Start());
        QCOMPARE(Frame()->windowTitle(), QString("Orrisk ver.1.1"));
        QCOMPARE(Pane(StatusPane::Frame), QString());
        QCOMPARE(Pane(StatusPane::Count), QString());
        QCOMPARE(Pane(StatusPane::Mode), QString("Mode: Orbit | Persp"));
        QCOMPARE(m_app->CurrentDocument().Kind(), SceneKind::None);
        QVERIFY(ViewWindow()->hasFocus());
    }

    void startsWithTheFileOfTheCommandLine()
    {
        const QString cloud = WriteCloud(*m_dir, "spiral.ply", 500);
        QVERIFY(Start({cloud}));
        QCOMPARE(Frame()->windowTitle(), QString("spiral.ply - Orrisk ver.1.1"));
        QCOMPARE(Pane(StatusPane::Count), QString("Points: 500"));
        QCOMPARE(Pane(StatusPane::Mode), QString("Mode: Orbit | Persp"));
        QCOMPARE(m_app->RecentFiles().Paths(), QStringList({cloud}));
        QTRY_VERIFY(DrawnPixels(ViewWindow()->grab().toImage()) > 50);
        SaveScreenshot("point-cloud.png");
    }

    void startUpEndsWithoutOpenGl45()
    {
        // Runs in a child process of this test, where Mesa is told to offer OpenGL 3.3 only.
        if (qEnvironmentVariableIsSet("ORRISK_APPTEST_NO_GL45")) {
            guitest::MessageBoxAnswerer answerer;
            const QByteArray stored = "[Display]\nPointSize=7.0\n";
            {
                QFile file(SettingsFile());
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(stored) == stored.size());
            }
            if (Start())
                QSKIP("the GL driver ignores MESA_GL_VERSION_OVERRIDE");
            QCOMPARE(answerer.Texts(), QStringList({"Failed to initialize OpenGL 4.5.\nPlease check your graphics driver.",
                                                    Utf8("空のドキュメントの作成に失敗しました。")}));
            m_app.reset();
            QFile file(SettingsFile());  // the view was never created, so the file stays as it was
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), stored);
            return;
        }
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ORRISK_APPTEST_NO_GL45", "1");
        environment.insert("MESA_GL_VERSION_OVERRIDE", "3.3");
        // Mesa keeps memory of the refused context; in sanitizer builds that is not ours to report.
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"startUpEndsWithoutOpenGl45"});
        QVERIFY(child.waitForFinished(120000));
        const QByteArray output = child.readAll();
        if (output.contains("SKIP   :"))
            QSKIP("the GL driver ignores MESA_GL_VERSION_OVERRIDE");
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
    }

    void aFileThatFailsOnTheCommandLineEndsStartUpAfterItsMessage()
    {
        const QString text = m_dir->filePath("notes.txt");
        QFile(text).open(QIODevice::WriteOnly);
        guitest::MessageBoxAnswerer answerer;
        QVERIFY(!Start({text}));
        QCOMPARE(answerer.Texts(), QStringList({"Failed to load the point cloud file.\nPlease check the file "
                                                "format (PLY / LAS) and its contents."}));
        QCOMPARE(answerer.Titles(), QStringList({"Orrisk ver.1.1"}));
        QVERIFY(answerer.AllWithoutIcon());
        QVERIFY(!Frame() || !Frame()->isVisible());
        QVERIFY(m_app->RecentFiles().Paths().isEmpty());
    }

    void aFolderOnTheCommandLineEndsStartUpAfterItsMessage()
    {
        guitest::MessageBoxAnswerer answerer;
        QVERIFY(!Start({m_dir->path()}));
        QCOMPARE(answerer.Texts().size(), 1);
        QVERIFY(!Frame() || !Frame()->isVisible());
    }

    void aFailedOpenShowsItsMessageAndEmptiesTheDocument()
    {
        const QString cloud = WriteCloud(*m_dir, "good.ply", 50);
        const QString broken = m_dir->filePath("broken.ply");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nend_header\n1\n");
        file.close();
        QVERIFY(Start({cloud}));
        guitest::MessageBoxAnswerer answerer;
        QVERIFY(!m_app->OpenDocumentFile(broken));
        QCOMPARE(answerer.Texts().size(), 1);
        QVERIFY(answerer.Texts().first().startsWith("Failed to load the point cloud file."));
        // The box keeps its text and says why in its details.
        QCOMPARE(answerer.Details(), QStringList({"PLY parser: unexpected end of file in element vertex"}));
        QCOMPARE(Frame()->windowTitle(), QString("Orrisk ver.1.1"));
        QCOMPARE(m_app->CurrentDocument().Kind(), SceneKind::None);
        QCOMPARE(m_app->RecentFiles().Paths(), QStringList({cloud}));
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);  // the busy cursor is gone
    }

    void ctrlOAsksForAFileAndCtrlNDoesNothing()
    {
        const QString cloud = WriteCloud(*m_dir, "chosen.ply", 120);
        QVERIFY(Start());
        QString filter;
        guitest::WhenDialogOpens<QFileDialog>([&](QFileDialog* dialog) {
            filter = dialog->nameFilters().join(";;");
            guitest::ChooseFile(*dialog, cloud);
        });
        Key(Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE(Pane(StatusPane::Count), QString("Points: 120"));
        QCOMPARE(filter, Utf8("データファイル (*.ply *.las *.laz *.spz *.sog *.splat meta.json);;すべてのファイル (*)"));
        QCOMPARE(Frame()->windowTitle(), QString("chosen.ply - Orrisk ver.1.1"));

        Key(Qt::Key_N, Qt::ControlModifier);
        QTest::qWait(100);
        QCOMPARE(m_app->CurrentDocument().Kind(), SceneKind::PointCloud);

        // File > New empties the document.
        Command(CommandId::FileNew);
        QCOMPARE(m_app->CurrentDocument().Kind(), SceneKind::None);
        QCOMPARE(Frame()->windowTitle(), QString("Orrisk ver.1.1"));
        QCOMPARE(Pane(StatusPane::Count), QString());
    }

    void tabAndPSwitchModesInThePane()
    {
        QVERIFY(Start({WriteCloud(*m_dir, "modes.ply", 100)}));
        Key(Qt::Key_Tab);
        QCOMPARE(Pane(StatusPane::Mode), QString("Mode: Fly | Persp"));
        QVERIFY(ViewWindow()->hasFocus());  // Tab went to the view, not to focus handling
        Key(Qt::Key_P);
        QCOMPARE(Pane(StatusPane::Mode), QString("Mode: Fly | Ortho"));
        Key(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(Pane(StatusPane::Mode), QString("Mode: Orbit | Ortho"));
        Key(Qt::Key_P);
        QCOMPARE(Pane(StatusPane::Mode), QString("Mode: Orbit | Persp"));
    }

    void pointSizeKeysOnKeypadAndMainKeyboard()
    {
        QVERIFY(Start({WriteCloud(*m_dir, "sizes.ply", 100)}));
        const float start = View().CurrentPointStyle().size;
        Key(Qt::Key_Plus, Qt::KeypadModifier);
        QCOMPARE(View().CurrentPointStyle().size, start + 1);
        Key(Qt::Key_Equal);
        QCOMPARE(View().CurrentPointStyle().size, start + 2);
        Key(Qt::Key_Minus);
        Key(Qt::Key_Minus, Qt::KeypadModifier);
        QCOMPARE(View().CurrentPointStyle().size, start);
    }

    void frameKeysStepThroughCameraPoses()
    {
        QString scene = CorpusFile("ply/donut_color.ply");
        QString poses = CorpusFile("poses/fox_transforms.json");
        int frames = 67;
        if (scene.isEmpty() || poses.isEmpty()) {
            scene = WriteCloud(*m_dir, "scene.ply", 300);
            poses = WritePoses(*m_dir, 10);
            frames = 10;
        }
        const QString total = QString::number(frames);
        QVERIFY(Start({scene}));
        Key(Qt::Key_PageDown);  // no frames yet: nothing
        QCOMPARE(Pane(StatusPane::Frame), QString());

        // Cancelled: nothing happens.
        guitest::WhenDialogOpens<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        Command(CommandId::FileOpenCameraPoses);
        QVERIFY(!m_app->IsLoading());
        QCOMPARE(Pane(StatusPane::Frame), QString());

        QStringList filters;
        QString suffix;
        QString offered;
        guitest::WhenDialogOpens<QFileDialog>([&](QFileDialog* dialog) {
            filters = dialog->nameFilters();
            suffix = dialog->defaultSuffix();
            offered = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            guitest::ChooseFile(*dialog, poses);
        });
        Command(CommandId::FileOpenCameraPoses);
        QTRY_VERIFY(!m_app->IsLoading());  // the file is read on a worker
        QCOMPARE(filters, QStringList({"Camera pose file (*.json)", "All Files (*)"}));
        QCOMPARE(suffix, QString("json"));
        QCOMPARE(offered, QString("transforms.json"));
        QCOMPARE(Pane(StatusPane::Frame), "Frame: 1/" + total);
        QVERIFY(View().Camera().eyeAnchored);
        Key(Qt::Key_PageDown);
        QCOMPARE(Pane(StatusPane::Frame), "Frame: 2/" + total);
        Key(Qt::Key_2);
        QCOMPARE(Pane(StatusPane::Frame), "Frame: 3/" + total);
        Key(Qt::Key_1);
        Key(Qt::Key_PageUp);
        QCOMPARE(Pane(StatusPane::Frame), "Frame: 1/" + total);
        Key(Qt::Key_PageUp);  // wraps around
        QCOMPARE(Pane(StatusPane::Frame), QString("Frame: %1/%1").arg(frames));
        Key(Qt::Key_PageDown);
        QCOMPARE(Pane(StatusPane::Frame), "Frame: 1/" + total);
        SaveScreenshot("camera-frame.png");

        // A new scene forgets the frames.
        QVERIFY(m_app->OpenDocumentFile(WriteCloud(*m_dir, "other.ply", 10)));
        QCOMPARE(Pane(StatusPane::Frame), QString());
        Key(Qt::Key_PageDown);
        QCOMPARE(Pane(StatusPane::Frame), QString());
    }

    void aFlyThroughVideoIsWrittenThroughTheCameras()
    {
        QVERIFY(Start({WriteCloud(*m_dir, "scene.ply", 300)}));
        QAction* exportVideo = Frame()->Action(CommandId::FileExportFlyThrough);
        QVERIFY(!exportVideo->isEnabled());
        ChooseInNextFileDialog(WritePoses(*m_dir, 3));
        Command(CommandId::FileOpenCameraPoses);
        QTRY_VERIFY(!m_app->IsLoading());  // the file is read on a worker
        QVERIFY(exportVideo->isEnabled());

        FlyThroughOptions options;
        options.width = 63;
        options.height = 48;
        options.fps = 10;
        options.secondsPerCamera = 0.5;
        QString error;
        const QString video = m_dir->filePath("fly.mp4");
        QVERIFY2(m_app->ExportFlyThroughVideo(video, options, error), qPrintable(error));
        const testsupport::DecodedVideo decoded = testsupport::DecodeVideo(ToPath(video));
        QCOMPARE(decoded.frames, 11);
        QCOMPARE(decoded.width, 64);
        QCOMPARE(decoded.height, 48);
        // The window is given back as it was, still at the first camera.
        QVERIFY(Frame()->menuBar()->isEnabled());
        QVERIFY(m_app->ViewWindow()->isEnabled());
        QVERIFY(!Frame()->findChild<QProgressBar*>("flyThroughProgress"));
        QCOMPARE(Pane(StatusPane::Frame), QString("Frame: 1/3"));

        // The dialog hands on what it shows.
        FlyThroughDialog dialog(options, Frame());
        dialog.findChild<QSpinBox*>("videoWidth")->setValue(320);
        dialog.findChild<QSpinBox*>("videoFps")->setValue(24);
        dialog.findChild<QDoubleSpinBox*>("secondsPerCamera")->setValue(2.5);
        QCOMPARE(dialog.Options().width, 320);
        QCOMPARE(dialog.Options().height, 48);
        QCOMPARE(dialog.Options().fps, 24);
        QCOMPARE(dialog.Options().secondsPerCamera, 2.5);

        // Another scene forgets the cameras, and the export waits for new ones.
        QVERIFY(m_app->OpenDocumentFile(WriteCloud(*m_dir, "other.ply", 10)));
        QVERIFY(!exportVideo->isEnabled());
        QVERIFY(!m_app->ExportFlyThroughVideo(video, options, error));
    }

    void thePointCloudIsExportedFromItsFileOnAWorker()
    {
        const QString cloud = WriteCloud(*m_dir, "scene.ply", 300);
        QVERIFY(Start({cloud}));
        QVERIFY(Frame()->Action(CommandId::FileExportPointCloud)->isEnabled());
        QString error;
        QVERIFY(!m_app->BeginExportPointCloud(cloud, PointCloudOutput::Laz, error));
        QVERIFY(!error.isEmpty());

        const QString target = m_dir->filePath("scene.laz");
        QVERIFY2(m_app->BeginExportPointCloud(target, PointCloudOutput::Laz, error), qPrintable(error));
        QVERIFY(m_app->IsExporting() || m_app->LastExport());
        QTRY_VERIFY(!m_app->IsExporting());
        QVERIFY(m_app->LastExport() && m_app->LastExport()->Ok());
        testsupport::RecordCollector records;
        const ReadResult<PointRecordFormat> read = StreamPointRecords(ToPath(target).string(), records);
        QVERIFY(read.Ok());
        QCOMPARE(records.count, std::size_t{300});
        QCOMPARE(int(records.format.format), 2);

        // Nothing to export once the scene is gone.
        m_app->OnFileNew();
        QVERIFY(!Frame()->Action(CommandId::FileExportPointCloud)->isEnabled());
        QVERIFY(!m_app->BeginExportPointCloud(m_dir->filePath("empty.laz"), PointCloudOutput::Laz, error));
    }

    void trainingPhotosShowOverTheRenderWithTheirPsnr()
    {
        QVERIFY(Start({WriteCloud(*m_dir, "scene.ply", 300)}));
        // Without cameras there is no photo to show: the controls wait for a pose file.
        QVERIFY(!Frame()->findChild<QCheckBox*>("trainingPhotoToggle")->isEnabled());
        QVERIFY(!Frame()->findChild<QSlider*>("trainingPhotoOpacity")->isEnabled());
        // Camera 0 has its photo (file_path without extension), camera 1 none.
        QVERIFY(QDir(m_dir->path()).mkpath("images"));
        QImage photo(80, 60, QImage::Format_RGB888);
        photo.fill(QColor(200, 40, 40));
        QVERIFY(photo.save(m_dir->filePath("images/cam0.png")));
        const QString poses = m_dir->filePath("transforms.json");
        QFile file(poses);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"camera_angle_x": 0.9, "w": 80, "h": 60, "frames": [
            {"file_path": "images/cam0", "transform_matrix": [[1,0,0,0],[0,1,0,0],[0,0,1,8],[0,0,0,1]]},
            {"file_path": "images/cam1", "transform_matrix": [[1,0,0,1],[0,1,0,0],[0,0,1,8],[0,0,0,1]]}]})");
        file.close();
        ChooseInNextFileDialog(poses);
        Command(CommandId::FileOpenCameraPoses);
        QTRY_VERIFY(!m_app->IsLoading());  // the file is read on a worker

        TrainingPhotoOverlay* overlay = m_app->PhotoOverlay();
        QVERIFY(overlay);
        auto* toggle = Frame()->findChild<QCheckBox*>("trainingPhotoToggle");
        auto* status = Frame()->findChild<QLabel*>("trainingPhotoStatus");
        QVERIFY(toggle && status);
        QVERIFY(toggle->isEnabled());
        QVERIFY(!overlay->isVisible());
        toggle->setChecked(true);
        QVERIFY(overlay->HasPhoto());
        QVERIFY(overlay->isVisible());
        // A red photo against a render of a spiral on black: far apart, but a number.
        QVERIFY2(status->text().startsWith("PSNR ") && status->text().endsWith(" dB"), qPrintable(status->text()));
        Frame()->findChild<QSlider*>("trainingPhotoOpacity")->setValue(30);
        QCOMPARE(overlay->Opacity(), 0.3);

        Key(Qt::Key_PageDown);
        QTRY_COMPARE(status->text(), Utf8("学習画像なし"));
        QVERIFY(!overlay->isVisible());
        Key(Qt::Key_PageDown);
        QTRY_VERIFY(status->text().startsWith("PSNR "));
        toggle->setChecked(false);
        QVERIFY(!overlay->isVisible());
        QCOMPARE(status->text(), QString());
    }

    void aBadCameraPoseFileIsReportedAndChangesNothing()
    {
        QVERIFY(Start({WriteCloud(*m_dir, "scene.ply", 50)}));
        const QString bad = m_dir->filePath("bad.json");
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"frames": []})");
        file.close();
        guitest::MessageBoxAnswerer answerer;
        ChooseInNextFileDialog(bad);
        Command(CommandId::FileOpenCameraPoses);
        QTRY_VERIFY(!m_app->IsLoading());  // the file is read on a worker
        QCOMPARE(answerer.Texts().size(), 1);
        QVERIFY(answerer.Texts().first().startsWith("Failed to load the camera pose file (transforms.json).\n"));
        QCOMPARE(Pane(StatusPane::Frame), QString());
    }

    void viewCommandsMoveTheCamera()
    {
        QVERIFY(Start({WriteCloud(*m_dir, "axes.ply", 200)}));
        const struct {
            CommandId command;
            Eigen::Vector3f forward;
        } cases[] = {
            {CommandId::ViewAxisXFront, {-1, 0, 0}}, {CommandId::ViewAxisXBack, {1, 0, 0}},
            {CommandId::ViewAxisYFront, {0, -1, 0}}, {CommandId::ViewAxisYBack, {0, 1, 0}},
            {CommandId::ViewAxisZFront, {0, 0, -1}}, {CommandId::ViewAxisZBack, {0, 0, 1}},
        };
        for (const auto& c : cases) {
            Command(c.command);
            QVERIFY2(View().Camera().Forward().isApprox(c.forward, 1e-4f), qPrintable(QString::number(static_cast<int>(c.command))));
        }
        // The X, Y and Z keys do the same; Shift looks from the other side.
        Key(Qt::Key_X);
        QVERIFY(View().Camera().Forward().isApprox(Eigen::Vector3f(-1, 0, 0), 1e-4f));
        Key(Qt::Key_X, Qt::ShiftModifier);
        QVERIFY(View().Camera().Forward().isApprox(Eigen::Vector3f(1, 0, 0), 1e-4f));
        Key(Qt::Key_Z, Qt::ShiftModifier);
        QVERIFY(View().Camera().Forward().isApprox(Eigen::Vector3f(0, 0, 1), 1e-4f));

        // Toolbar buttons run the same commands.
        for (QAction* action : Frame()->MainToolBar()->actions())
            QVERIFY(action->isSeparator() || action == Frame()->Action(static_cast<CommandId>(action->objectName().mid(7).toInt())));

        ViewCamera far = View().Camera();
        far.distance *= 10.0f;
        View().SetCamera(far);
        Command(CommandId::ViewFit);
        QVERIFY(View().Camera().distance < far.distance);
    }

    void mouseDragsAndWheelReachTheCamera()
    {
        QVERIFY(Start({WriteCloud(*m_dir, "mouse.ply", 300)}));
        const QPoint centre = ViewWindow()->rect().center();
        const Eigen::Quaternionf before = View().Camera().orientation;
        QTest::mousePress(ViewWindow(), Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mouseMove(ViewWindow(), centre + QPoint(60, 10));
        QTest::mouseRelease(ViewWindow(), Qt::LeftButton, Qt::NoModifier, centre + QPoint(60, 10));
        QVERIFY(!View().Camera().orientation.isApprox(before));
        QCOMPARE(View().Controller().dragMode, DragMode::Idle);

        const float distance = View().Camera().distance;
        QWheelEvent wheel(centre, ViewWindow()->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(ViewWindow(), &wheel);
        QCOMPARE(View().Camera().distance, distance * 0.9f);

        // Shift with the right button zooms: the distance changes, the direction does not.
        const Eigen::Quaternionf turned = View().Camera().orientation;
        QTest::mousePress(ViewWindow(), Qt::RightButton, Qt::ShiftModifier, centre);
        QCOMPARE(View().Controller().dragMode, DragMode::Zoom);
        QTest::mouseMove(ViewWindow(), centre + QPoint(0, 40));
        QTest::mouseRelease(ViewWindow(), Qt::RightButton, Qt::ShiftModifier, centre + QPoint(0, 40));
        QVERIFY(View().Camera().orientation.isApprox(turned));
        QVERIFY(View().Camera().distance > distance * 0.9f);
    }

    void doubleClickPicksTheVisiblePoint()
    {
        QVERIFY(Start({WriteCloud(*m_dir, "pick.ply", 2000)}));
        Command(CommandId::ViewAxisZFront);
        const Eigen::Vector3f eye = View().Camera().Eye();
        const Eigen::Vector3f target = View().Camera().target;
        // A point of the spiral: the first one lies at (1, 0, 0).
        const QPoint onScreen = ViewWindow()->rect().center() + QPoint(ViewWindow()->width() / 8, 0);
        QTest::mouseDClick(ViewWindow(), Qt::LeftButton, Qt::NoModifier, onScreen);
        QTRY_VERIFY(!View().Camera().target.isApprox(target, 1e-4f));
        QVERIFY(View().Camera().Eye().isApprox(eye, 1e-3f));
        QCOMPARE(View().Controller().dragMode, DragMode::Idle);
    }

    void settingsDialogAppliesOnOkOnly()
    {
        QVERIFY(Start({WriteCloud(*m_dir, "settings.ply", 100)}));
        guitest::WhenDialogOpens<SettingsDialog>([](SettingsDialog* dialog) {
            dialog->findChild<QRadioButton*>("orthographic")->click();
            dialog->findChild<QLineEdit*>("pointSize")->setText("40");
            dialog->reject();
        });
        Command(CommandId::Settings);
        QCOMPARE(Pane(StatusPane::Mode), QString("Mode: Orbit | Persp"));
        QCOMPARE(View().CurrentPointStyle().size, 2.0f);

        guitest::WhenDialogOpens<SettingsDialog>([](SettingsDialog* dialog) {
            dialog->findChild<QRadioButton*>("orthographic")->click();
            dialog->findChild<QRadioButton*>("squarePoints")->click();
            dialog->findChild<QLineEdit*>("pointSize")->setText("40");
            dialog->findChild<QPushButton*>("ok")->click();
        });
        Command(CommandId::Settings);
        QCOMPARE(Pane(StatusPane::Mode), QString("Mode: Orbit | Ortho"));
        QCOMPARE(View().CurrentPointStyle().size, 32.0f);
        QVERIFY(!View().CurrentPointStyle().isRound);
    }

    void settingsAreSavedOnExitAndLoadedAtTheNextStart()
    {
        QVERIFY(Start());
        Key(Qt::Key_Tab);
        Key(Qt::Key_P);
        Key(Qt::Key_G);
        Key(Qt::Key_Plus, Qt::KeypadModifier);
        Quit();
        QVERIFY(QFile::exists(SettingsFile()));
        const QSettings ini(SettingsFile(), QSettings::IniFormat);
        QCOMPARE(ini.value("Display/PointSize").toString(), QString("3.0"));
        QCOMPARE(ini.value("Display/ShowAxisGizmo").toString(), QString("0"));
        QCOMPARE(ini.value("View/NavMode").toString(), QString("1"));

        QVERIFY(Start());
        QCOMPARE(Pane(StatusPane::Mode), QString("Mode: Fly | Ortho"));
        QCOMPARE(View().CurrentPointStyle().size, 3.0f);
        QVERIFY(!View().DisplaySettings().showAxisGizmo);
    }

    void recentFilesKeepTheEightNewest()
    {
        QVERIFY(Start());
        QStringList opened;
        for (int i = 1; i <= 9; ++i) {
            opened.prepend(WriteCloud(*m_dir, QString("scan%1.ply").arg(i), 10 + i));
            QVERIFY(m_app->OpenDocumentFile(opened.first()));
        }
        QCOMPARE(m_app->RecentFiles().Paths(), opened.mid(0, 8));
        QStringList entries;
        for (QAction* action : Frame()->FileMenu()->actions())
            if (action->objectName().startsWith("recentFile") && action->isVisible())
                entries << action->text();
        QCOMPARE(entries.size(), 8);
        QVERIFY(entries.first().startsWith("&1 ") && entries.first().endsWith("scan9.ply"));

        // Choosing an entry opens it and moves it to the front; the list is in the profile.
        Frame()->findChild<QAction*>("recentFile4")->trigger();
        QTRY_VERIFY(!m_app->IsLoading());
        QCOMPARE(Frame()->windowTitle(), QString("scan6.ply - Orrisk ver.1.1"));
        QCOMPARE(m_app->RecentFiles().Paths().first(), opened.at(3));
        Quit();
        QVERIFY(Start());
        QCOMPARE(m_app->RecentFiles().Paths().first(), opened.at(3));
        QCOMPARE(m_app->RecentFiles().Paths().size(), 8);

        // A listed file that has gone away is reported and leaves the list.
        QFile::remove(opened.at(0));
        guitest::MessageBoxAnswerer answerer;
        const int index = int(m_app->RecentFiles().Paths().indexOf(opened.at(0)));
        Frame()->findChild<QAction*>(QString("recentFile%1").arg(index + 1))->trigger();
        QTRY_COMPARE(answerer.Texts().size(), 1);
        QTRY_VERIFY(!m_app->RecentFiles().Paths().contains(opened.at(0)));
    }

    void droppedFileOpensAsOpenDoes()
    {
        const QString cloud = WriteCloud(*m_dir, "dropped.ply", 77);
        QVERIFY(Start());
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(cloud)});
        const QPoint at = ViewWindow()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Frame(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Frame(), &drop);
        QTRY_COMPARE(Pane(StatusPane::Count), QString("Points: 77"));
        QCOMPARE(Frame()->windowTitle(), QString("dropped.ply - Orrisk ver.1.1"));
    }

    void aboutBoxAndExit()
    {
        QVERIFY(Start());
        QString version;
        guitest::WhenDialogOpens<AboutDialog>([&](AboutDialog* about) {
            version = about->findChild<QLabel*>("versionLine")->text();
            about->accept();
        });
        Command(CommandId::AppAbout);
        QCOMPARE(version, Utf8("Orrisk、バージョン 1.1"));

        Command(CommandId::AppExit);
        QVERIFY(!Frame()->isVisible());
        m_app.reset();
        QVERIFY(QFile::exists(SettingsFile()));
        QVERIFY(QSettings(ProfileFile(), QSettings::IniFormat).contains("MainFrame/geometry"));
    }

    void sampleSceneScreenshot()
    {
        const QString sample = QStringLiteral(ORRISK_SAMPLE_SCENE);
        if (!QFile::exists(sample))
            QSKIP("the sample scene has not been built");
        QVERIFY(Start({sample}));
        QCOMPARE(m_app->CurrentDocument().Kind(), SceneKind::GaussianSplats);
        QTRY_VERIFY(DrawnPixels(ViewWindow()->grab().toImage()) > 2000);
        SaveScreenshot("sample.png");

        // The sample has segment ids: M and the bracket keys reach the splat renderer.
        GaussianSplatRenderer* splats = View().Context().Splats();
        QVERIFY(splats && splats->hasObjectIds);
        const bool tinted = splats->segEnabled;
        Key(Qt::Key_M);
        QCOMPARE(splats->segEnabled, !tinted);
        const float blend = splats->segBlend;
        Key(Qt::Key_BracketRight);
        QCOMPARE(splats->segBlend, std::min(1.0f, blend + 0.1f));
        Key(Qt::Key_BraceLeft, Qt::ShiftModifier);
        Key(Qt::Key_BracketLeft);
        QVERIFY(std::abs(splats->segBlend - std::max(0.0f, blend - 0.1f)) < 1e-6f);
    }

    void splatSceneScreenshot()
    {
        const QString splats = CorpusFile("splat/donut_fused.ply");
        if (splats.isEmpty())
            QSKIP("../shared/testdata is not present; skipping the splat scene");
        QVERIFY(Start({splats}));
        QCOMPARE(m_app->CurrentDocument().Kind(), SceneKind::GaussianSplats);
        QVERIFY(Pane(StatusPane::Count).startsWith("Splats: "));
        QTRY_VERIFY(DrawnPixels(ViewWindow()->grab().toImage()) > 500);
        SaveScreenshot("splats.png");
    }
};

QTEST_MAIN(AppTest)
#include "AppTest.moc"
