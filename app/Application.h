#pragma once

#include "app/BackgroundLoadJob.h"
#include "app/CommandTable.h"
#include "app/RecentFileList.h"
#include "app/qt/QtDesktop.h"
#include "capture/FlyThrough.h"
#include "convert/ConvertPointCloud.h"
#include "document/SceneFileRead.h"
#include "platform/ThreadPool.h"
#include "scene/CameraPoses.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <optional>

class ColoringControls;
class LoadProgressPane;
class MainWindow;
class Document;
class QSettings;
class QShortcut;
class QTimer;
class TrainingPhotoOverlay;
class ViewWidget;

// A scene file, or a camera pose file, read in the background.
using SceneLoadJob = BackgroundLoadJob<SceneFileRead>;
using CameraPoseLoadJob = BackgroundLoadJob<ReadResult<CameraPoseSet>>;
// The open point cloud's file written in another format in the background.
using PointCloudExportJob = BackgroundLoadJob<WriteResult>;

// Reads a camera pose file; ReadCameraPoses, or a stand-in (tests use one that waits).
using CameraPoseFileReader = CameraPoseLoadJob::Read;

struct AppOptions {
    // The view's display settings file; empty: ViewSettingsFile().
    std::filesystem::path settingsFile;
    // The profile with the recent files and the window layout; empty: the user's "Orrisk"
    // profile (~/.config/Orrisk/Orrisk.conf).
    QString profileFile;
    // Reads the scene files the window opens; empty: ReadSceneFile. Tests put a slow one here.
    SceneFileReader readSceneFile = {};
    // Reads the camera pose files the window opens; empty: ReadCameraPoses.
    CameraPoseFileReader readCameraPoses = {};
};

// The application: one document, the main window with its view, the recent-file list and the
// routing of every command. Start opens the window; closing the main window ends it.
class Application : public QObject {
    Q_OBJECT
public:
    explicit Application(AppOptions options = {});
    ~Application() override;

    // Creates the frame and the view, then opens the file named by `arguments` (or an empty
    // document without one). False when start-up must end: the view could not be created,
    // or the file could not be opened (the user has been told why).
    bool Start(const QStringList& arguments);

    // Opens a file and waits for the read, with a busy cursor; true on success. The command
    // line uses it; a background load is cancelled first.
    bool OpenDocumentFile(const QString& path);
    // Opens a file as the Open command does: reads it on a worker while the window goes on
    // drawing, with the fraction read and a cancel button in the status bar (Esc cancels too)
    // and a busy cursor. A load already running is cancelled. `fromRecentList`: a file that
    // fails to open leaves the recent-file list.
    void BeginOpenDocumentFile(const QString& path, bool fromRecentList = false);
    // Reads a camera pose file on a worker as BeginOpenDocumentFile reads a scene, with the
    // same progress, cancel and busy cursor; on success the view moves to its first frame.
    // A load already running, of either kind, is cancelled.
    void BeginOpenCameraPoseFile(const QString& path);
    // Stops a background load and waits for its worker; the document stays as it was.
    void CancelLoad();
    bool IsLoading() const { return m_load != nullptr || m_poseLoad != nullptr; }
    LoadProgressPane* LoadProgress() const;
    void OnCommand(CommandId commandId);
    void OnFileNew();
    void OnFileOpen();
    void OnOpenRecentFile(int index);
    void OnAppAbout();
    // File > export a fly-through video: asks for the options and the file, then writes it.
    void OnExportFlyThrough();
    // Writes the fly-through of the open pose file without asking. False, with the reason in
    // `error`, when there is none to write or it failed.
    bool ExportFlyThroughVideo(const QString& path, const FlyThroughOptions& options, QString& error);
    // File > export the point cloud: asks for the file and its format, then writes it.
    void OnExportPointCloud();
    // Writes the open point cloud to `target` on a worker: its file's own records read again
    // (every node of a COPC), never the arrays drawn. Progress and cancel as for a load, in
    // the status bar. False, with the reason in `error`, when it cannot start: no point cloud
    // from a file is open, or `target` is that file. A load or export already running is
    // cancelled first.
    bool BeginExportPointCloud(const QString& target, PointCloudOutput output, QString& error);
    bool IsExporting() const { return m_export != nullptr; }
    // How the last export that ended went; nothing before the first.
    const std::optional<WriteResult>& LastExport() const { return m_lastExport; }

    MainWindow* Window() const { return m_frame.get(); }
    ViewWidget* ViewWindow() const { return m_viewWidget; }
    TrainingPhotoOverlay* PhotoOverlay() const { return m_photoOverlay; }
    Document& CurrentDocument() const { return *m_document; }
    QtDesktop& Desktop() { return m_desktop; }
    const RecentFileList& RecentFiles() const { return m_recentFiles; }

private:
    bool CreateFrameAndView();
    void RefreshRecentFiles();
    void SaveProfile();
    void AfterDocumentChanged();
    void AfterOpen(const QString& absolutePath, bool opened);
    void PollLoad();
    void PollPoseLoad();
    void PollExport();
    void StartLoadDisplay(const QString& absolutePath);
    void EndLoadDisplay();
    void UpdateCommandStates();

    AppOptions m_options;
    QtDesktop m_desktop;
    ThreadPool m_pool;  // decodes files on every core; outlives the document
    std::unique_ptr<QSettings> m_profile;
    RecentFileList m_recentFiles;
    std::unique_ptr<Document> m_document;
    std::unique_ptr<MainWindow> m_frame;
    ViewWidget* m_viewWidget = nullptr;  // owned by the frame
    ColoringControls* m_coloring = nullptr;  // owned by the frame
    TrainingPhotoOverlay* m_photoOverlay = nullptr;  // owned by the view widget
    QPointer<LoadProgressPane> m_loadPane;  // owned by the frame's status bar
    QPointer<QShortcut> m_cancelLoadShortcut;  // owned by the frame
    QTimer* m_loadPoll = nullptr;  // owned by this
    std::unique_ptr<SceneLoadJob> m_load;  // the background load; uses m_pool, so it is declared after it
    bool m_loadFromRecentList = false;
    std::unique_ptr<CameraPoseLoadJob> m_poseLoad;  // a pose file read in the background; never beside m_load
    std::unique_ptr<PointCloudExportJob> m_export;  // never beside a load
    std::optional<WriteResult> m_lastExport;
};
