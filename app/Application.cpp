#include "app/Application.h"

#include "app/AboutDialog.h"
#include "app/MainWindow.h"
#include "app/CommandTable.h"
#include "app/FlyThroughExport.h"
#include "app/LoadProgressPane.h"
#include "io/poses/PoseReader.h"
#include "app/TrainingPhotoOverlay.h"
#include "app/SettingsLocation.h"
#include "document/Document.h"
#include "app/qt/ViewWidget.h"
#include "app/ColoringControls.h"
#include "settings/AppSettings.h"
#include "view/SceneView.h"

#include <QCoreApplication>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

namespace {

// How often the UI thread looks at a background load.
constexpr int kLoadPollMilliseconds = 30;

constexpr const char* kEmptyDocumentFailed = QT_TRANSLATE_NOOP("Application", "空のドキュメントの作成に失敗しました。");

// Shows the busy cursor while a file loads.
class BusyCursorScope {
public:
    BusyCursorScope() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursorScope() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursorScope(const BusyCursorScope&) = delete;
    BusyCursorScope& operator=(const BusyCursorScope&) = delete;
};

// Qt makes the view's GL context while the window is being shown; on some window systems
// only once the window is on screen.
void WaitForGlSetUp(const ViewWidget& view)
{
    QDeadlineTimer deadline(5000);
    while (!view.isValid() && !deadline.hasExpired()) {
        const QWindow* window = view.window()->windowHandle();
        if (window && window->isExposed() && view.isVisible() && !view.size().isEmpty())
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        else
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

// File > Open Camera Pose File.
OpenFileDialogRequest CameraPoseFileRequest()
{
    return {"json",
            "transforms.json",
            {{QCoreApplication::translate("Application", "Camera pose file (*.json)").toStdString(), "*.json"},
             {QCoreApplication::translate("Application", "All Files (*.*)").toStdString(), "*.*"}}};
}

// A scene read that threw is a failed read like any other; the user is told the file could not be opened.
SceneFileRead FailedSceneRead(const std::string& path, ReadFailure failure)
{
    return SceneFileRead{path, std::move(failure), OpenFailureKind::Unreadable, false};
}

ReadResult<CameraPoseSet> FailedCameraPoseRead(const std::string&, ReadFailure failure)
{
    return failure;
}

std::unique_ptr<QSettings> OpenProfile(const QString& file)
{
    if (file.isEmpty())
        return std::make_unique<QSettings>(QStringLiteral("Orrisk"), QStringLiteral("Orrisk"));
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

}  // namespace

Application::Application(AppOptions options)
    : m_options(std::move(options)), m_profile(OpenProfile(m_options.profileFile)), m_recentFiles(kRecentFileCount)
{
    if (m_options.settingsFile.empty())
        m_options.settingsFile = ViewSettingsFile();
    m_desktop.SetSettingsFile(m_options.settingsFile);
    m_recentFiles.Load(*m_profile);
    m_loadPoll = new QTimer(this);
    m_loadPoll->setInterval(kLoadPollMilliseconds);
    connect(m_loadPoll, &QTimer::timeout, this, &Application::PollLoad);
}

Application::~Application()
{
    // Ended without closing the window (a signal, the session ending): keep the layout too.
    if (m_frame && m_frame->isVisible())
        SaveProfile();
    CancelLoad();
    // The view goes with the frame and saves its settings on the way; the document outlives it.
    m_frame.reset();
    m_document.reset();
}

bool Application::Start(const QStringList& arguments)
{
    m_document = std::make_unique<Document>(m_desktop, &m_pool);
    if (!CreateFrameAndView()) {
        m_desktop.ShowMessageBox(tr(kEmptyDocumentFailed).toStdString());
        m_frame.reset();
        return false;
    }

    if (arguments.isEmpty()) {
        OnFileNew();
        return true;
    }
    if (!OpenDocumentFile(arguments.constFirst())) {
        m_frame->close();
        return false;
    }
    return true;
}

bool Application::CreateFrameAndView()
{
    m_frame = std::make_unique<MainWindow>();
    m_desktop.AttachFrame(m_frame.get());
    m_viewWidget = new ViewWidget(m_desktop, m_options.settingsFile, m_frame.get());
    m_desktop.AttachView(m_viewWidget);
    connect(m_viewWidget, &QObject::destroyed, this, [this] {
        m_desktop.AttachView(nullptr);
        m_viewWidget = nullptr;
        m_photoOverlay = nullptr;
    });
    m_frame->setCentralWidget(m_viewWidget);
    m_viewWidget->View().SetDocument(m_document.get());
    // Octrees of large clouds are built on the same threads; the pool outlives the frame.
    m_viewWidget->View().Detail().SetWorkerPool(&m_pool);

    m_coloring = new ColoringControls(*m_frame, [this]() -> SceneView* {
        return m_viewWidget && m_viewWidget->IsViewCreated() ? &m_viewWidget->View() : nullptr;
    });
    m_viewWidget->installEventFilter(m_coloring);

    connect(m_frame.get(), &MainWindow::commandTriggered, this, &Application::OnCommand);
    connect(m_frame.get(), &MainWindow::recentFileChosen, this, &Application::OnOpenRecentFile);
    connect(m_frame.get(), &MainWindow::filesDropped, this, [this](const QStringList& files) {
        BeginOpenDocumentFile(files.constFirst());
    });
    connect(m_frame.get(), &MainWindow::closing, this, &Application::CancelLoad);
    connect(m_frame.get(), &MainWindow::closing, this, &Application::SaveProfile);
    m_loadPane = new LoadProgressPane(m_frame.get());
    m_frame->statusBar()->addPermanentWidget(m_loadPane);
    connect(m_loadPane, &LoadProgressPane::cancelRequested, this, &Application::CancelLoad);
    m_cancelLoadShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), m_frame.get());
    m_cancelLoadShortcut->setEnabled(false);
    connect(m_cancelLoadShortcut, &QShortcut::activated, this, &Application::CancelLoad);
    // The export needs cameras: its menu entry says so each time its menu opens.
    for (QObject* owner : m_frame->Action(CommandId::FileExportFlyThrough)->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(owner))
            connect(menu, &QMenu::aboutToShow, this, &Application::UpdateCommandStates);
    UpdateCommandStates();

    m_frame->RestoreLayout(*m_profile);
    RefreshRecentFiles();
    m_frame->show();
    WaitForGlSetUp(*m_viewWidget);
    if (!m_viewWidget->CreateView())
        return false;
    m_viewWidget->setFocus(Qt::OtherFocusReason);
    m_photoOverlay = new TrainingPhotoOverlay(*m_viewWidget, *m_document, *m_frame->statusBar());
    return true;
}

bool Application::OpenDocumentFile(const QString& path)
{
    CancelLoad();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    bool opened = false;
    {
        BusyCursorScope busy;
        opened = m_document->Open(QFile::encodeName(absolute).toStdString());
    }
    AfterOpen(absolute, opened);
    return opened;
}

void Application::AfterOpen(const QString& absolutePath, bool opened)
{
    if (opened) {
        m_recentFiles.Add(absolutePath);
        RefreshRecentFiles();
        m_profile->sync();
        m_desktop.RememberDirectoryOf(absolutePath);
        AfterDocumentChanged();
    } else {
        m_frame->OnUpdateFrameTitle(m_document->Source());
    }
}

void Application::BeginOpenDocumentFile(const QString& path, bool fromRecentList)
{
    CancelLoad();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    SceneFileReader reader = m_options.readSceneFile ? m_options.readSceneFile : SceneFileReader(ReadSceneFile);
    m_load = std::make_unique<SceneLoadJob>(QFile::encodeName(absolute).toStdString(), std::move(reader), FailedSceneRead,
                                            &m_pool);
    m_loadFromRecentList = fromRecentList;
    StartLoadDisplay(absolute);
}

void Application::BeginOpenCameraPoseFile(const QString& path)
{
    CancelLoad();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    CameraPoseFileReader reader = m_options.readCameraPoses ? m_options.readCameraPoses
                                                            : CameraPoseFileReader(ReadCameraPoses);
    m_poseLoad = std::make_unique<CameraPoseLoadJob>(QFile::encodeName(absolute).toStdString(), std::move(reader),
                                                     FailedCameraPoseRead);
    StartLoadDisplay(absolute);
}

void Application::StartLoadDisplay(const QString& absolutePath)
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_loadPane)
        m_loadPane->Start(QFileInfo(absolutePath).fileName());
    if (m_cancelLoadShortcut)
        m_cancelLoadShortcut->setEnabled(true);
    m_loadPoll->start();
}

LoadProgressPane* Application::LoadProgress() const
{
    return m_loadPane.data();
}

void Application::CancelLoad()
{
    if (!IsLoading() && !IsExporting())
        return;
    // Each cancels, then waits for its worker; the record is dropped. An export's worker
    // removes what it had written.
    m_load.reset();
    m_poseLoad.reset();
    if (m_export) {
        m_export.reset();
        m_lastExport = WriteFailure{WriteError::Cancelled, "cancelled"};
    }
    EndLoadDisplay();
}

void Application::EndLoadDisplay()
{
    m_loadPoll->stop();
    if (m_cancelLoadShortcut)
        m_cancelLoadShortcut->setEnabled(false);
    if (m_loadPane)
        m_loadPane->Finish();
    QGuiApplication::restoreOverrideCursor();
}

void Application::PollLoad()
{
    if (m_export)
        PollExport();
    if (m_poseLoad)
        PollPoseLoad();
    if (!m_load)
        return;
    if (m_loadPane)
        m_loadPane->SetFraction(m_load->Fraction());
    if (!m_load->Finished())
        return;
    const std::unique_ptr<SceneLoadJob> job = std::move(m_load);
    EndLoadDisplay();
    SceneFileRead read = job->TakeResult();
    if (read.Cancelled())
        return;
    const QString absolute = QFile::decodeName(QByteArray::fromStdString(job->Path()));
    const bool opened = m_document->FinishOpen(std::move(read));
    AfterOpen(absolute, opened);
    // A file that no longer opens leaves the list.
    if (!opened && m_loadFromRecentList) {
        m_recentFiles.Remove(static_cast<int>(m_recentFiles.Paths().indexOf(absolute)));
        RefreshRecentFiles();
    }
}

void Application::PollPoseLoad()
{
    if (m_loadPane)
        m_loadPane->SetFraction(m_poseLoad->Fraction());
    if (!m_poseLoad->Finished())
        return;
    const std::unique_ptr<CameraPoseLoadJob> job = std::move(m_poseLoad);
    EndLoadDisplay();
    ReadResult<CameraPoseSet> poses = job->TakeResult();
    if (!poses && poses.Failure().code == ReadError::Cancelled)
        return;
    // The document reports a failure itself and keeps its previous frames.
    if (m_document->FinishOpenCameraPoses(std::move(poses)) && m_viewWidget && m_viewWidget->IsViewCreated())
        m_viewWidget->View().ApplyCameraFrame(0);
    UpdateCommandStates();
}

void Application::AfterDocumentChanged()
{
    m_frame->OnUpdateFrameTitle(m_document->Source());
    if (m_viewWidget)
        m_viewWidget->View().OnInitialUpdate();
    UpdateCommandStates();
    if (m_coloring)
        m_coloring->Refresh();
}

void Application::UpdateCommandStates()
{
    if (!m_frame)
        return;
    m_frame->Action(CommandId::FileExportFlyThrough)->setEnabled(!m_document->CameraPoses().frames.empty());
    m_frame->Action(CommandId::FileExportPointCloud)
        ->setEnabled(m_document->Kind() == SceneKind::PointCloud && !m_document->Source().empty());
    if (m_photoOverlay)
        m_photoOverlay->FollowCameraPoses();
}

void Application::OnCommand(CommandId commandId)
{
    switch (commandId) {
    case CommandId::FileNew:
        OnFileNew();
        return;
    case CommandId::FileOpen:
        OnFileOpen();
        return;
    case CommandId::FileExportPointCloud:
        OnExportPointCloud();
        return;
    case CommandId::AppAbout:
        OnAppAbout();
        return;
    case CommandId::AppExit:
        m_frame->close();
        return;
    default:
        break;
    }
    // The rest are the view's commands.
    if (!m_viewWidget || !m_viewWidget->IsViewCreated())
        return;
    SceneView& view = m_viewWidget->View();
    switch (commandId) {
    case CommandId::FileOpenCameraPoses:
        if (const std::optional<std::string> path = m_desktop.ChooseFileToOpen(CameraPoseFileRequest()))
            BeginOpenCameraPoseFile(QFile::decodeName(QByteArray::fromStdString(*path)));
        break;
    case CommandId::FileExportFlyThrough:
        OnExportFlyThrough();
        break;
    case CommandId::ViewAxisXFront:
    case CommandId::ViewAxisXBack:
        view.SetViewAxis(0, commandId == CommandId::ViewAxisXBack);
        break;
    case CommandId::ViewAxisYFront:
    case CommandId::ViewAxisYBack:
        view.SetViewAxis(1, commandId == CommandId::ViewAxisYBack);
        break;
    case CommandId::ViewAxisZFront:
    case CommandId::ViewAxisZBack:
        view.SetViewAxis(2, commandId == CommandId::ViewAxisZBack);
        break;
    case CommandId::ViewFit:
        view.OnViewFit();
        break;
    case CommandId::Settings: {
        AppSettings settings = view.DisplaySettings();
        if (m_desktop.RunSettingsDialog(settings))
            view.ApplyDisplaySettings(settings);
        if (m_coloring)
            m_coloring->Refresh();
        break;
    }
    default:
        break;
    }
}

void Application::OnFileNew()
{
    CancelLoad();
    m_document->Clear();
    AfterDocumentChanged();
}

void Application::OnFileOpen()
{
    QFileDialog dialog(m_frame.get(), tr("開く"), m_desktop.LastDirectory(),
                       tr("データファイル (*.ply *.las *.laz *.spz *.sog *.splat meta.json);;すべてのファイル (*)"));
    dialog.setObjectName("openDocumentDialog");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    BeginOpenDocumentFile(dialog.selectedFiles().constFirst());
}

void Application::OnOpenRecentFile(int index)
{
    if (index < 0 || index >= m_recentFiles.Paths().size())
        return;
    BeginOpenDocumentFile(m_recentFiles.Paths().at(index), true);
}

void Application::OnAppAbout()
{
    AboutDialog about(m_frame.get());
    about.exec();
}

void Application::OnExportFlyThrough()
{
    if (m_document->CameraPoses().frames.empty() || !m_viewWidget)
        return;
    FlyThroughOptions initial;
    initial.width = m_viewWidget->width();
    initial.height = m_viewWidget->height();
    FlyThroughDialog dialog(initial, m_frame.get());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString path = QFileDialog::getSaveFileName(m_frame.get(), QCoreApplication::translate("Application", "フライスルー動画を書き出す"),
                                                      m_desktop.LastDirectory(), QCoreApplication::translate("Application", "MP4 動画 (*.mp4)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!ExportFlyThroughVideo(path, dialog.Options(), error))
        QMessageBox::warning(m_frame.get(), QCoreApplication::translate("Application", "フライスルー動画"),
                             QCoreApplication::translate("Application", "動画を書き出せませんでした: ") + error);
}

bool Application::ExportFlyThroughVideo(const QString& path, const FlyThroughOptions& options, QString& error)
{
    if (m_document->CameraPoses().frames.empty() || !m_viewWidget || !m_viewWidget->IsViewCreated()) {
        error = QCoreApplication::translate("Application", "カメラ位置ファイルが開かれていません。");
        return false;
    }
    const bool written = ExportFlyThrough(*m_frame, *m_document, m_viewWidget->View(),
                                          std::filesystem::path(QFile::encodeName(path).toStdString()), options, error);
    // The export drew with a context of its own; the window's view draws with its widget's.
    m_viewWidget->makeCurrent();
    m_viewWidget->update();
    return written;
}

void Application::RefreshRecentFiles()
{
    m_recentFiles.Save(*m_profile);
    if (m_frame)
        m_frame->SetRecentFiles(m_recentFiles.Paths());
}

void Application::SaveProfile()
{
    m_frame->SaveLayout(*m_profile);
    m_recentFiles.Save(*m_profile);
    m_profile->sync();
}

// Meta-object code in this file, so that each class links on its own.
#include "moc_Application.cpp"
