#pragma once

#include "document/DocumentHost.h"
#include "view/ViewHost.h"

#include <QPointer>
#include <QString>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct AppSettings;
class MainWindow;
class QWidget;
class ViewWidget;

struct FileDialogFilter {
    std::string description;  // e.g. "Camera pose file (*.json)"
    std::string pattern;      // e.g. "*.json"
};

struct OpenFileDialogRequest {
    std::string defaultExtension;  // without the dot, e.g. "json"
    std::string initialFileName;   // e.g. "transforms.json"
    std::vector<FileDialogFilter> filters;
};

// The file dialog filter list for Qt: "Description (patterns)" entries joined by ";;". The
// Windows-style "*.*" is written "*" so that it matches names without a dot as well.
QString QtFileDialogFilter(const std::vector<FileDialogFilter>& filters);

// The document's and the view's hosts on Qt: message boxes, the main window's status panes
// and title, and the view widget's window services; beside them the open-file and settings
// dialogs the application runs for the view. The frame and the view widget are attached once
// they exist; until then the calls that need them do nothing.
class QtDesktop : public DocumentHost, public ViewHost {
public:
    void AttachFrame(MainWindow* frame);
    void AttachView(ViewWidget* view);

    // Plain modal message box: the text, an OK button, no icon; `details`, when given, is a
    // further line the user may unfold.
    void ShowMessageBox(const std::string& text, const std::string& details = {});
    void ReportOpenFailure(const OpenFailure& failure) override;
    void ReportOpenGlUnavailable() override;
    // Open-file dialog; the chosen existing file's path (UTF-8), or nothing when cancelled.
    std::optional<std::string> ChooseFileToOpen(const OpenFileDialogRequest& request);
    // The modal settings dialog, editing `settings` in place; true when closed with OK.
    bool RunSettingsDialog(AppSettings& settings);

    void ShowStatus(const ViewStatus& status) override;
    // Sets one pane's text; false without a main frame, a status bar or such a pane.
    bool SetStatusPaneText(StatusPane pane, const std::string& text);
    void RefreshFrameTitle(const std::string& documentPath) override;

    void InvalidateView() override;
    void InvalidateViewAfter(int milliseconds) override;
    void PostWake() override;
    void SetViewFocus() override;
    void CaptureMouse() override;
    void ReleaseMouse() override;
    bool ViewHasMouseCapture() const override;
    bool IsShiftDown() const override;
    ClientSize ViewClientSize() const override;

    // The settings file that keeps the language chosen in the settings dialog.
    void SetSettingsFile(std::filesystem::path file) { m_settingsFile = std::move(file); }

    // The folder the next file dialog starts in: where the last file was chosen.
    const QString& LastDirectory() const { return m_lastDirectory; }
    void RememberDirectoryOf(const QString& file);

private:
    QWidget* DialogParent() const;

    QPointer<MainWindow> m_frame;
    ViewWidget* m_view = nullptr;  // cleared by the application before the widget goes away
    QString m_lastDirectory;
    std::filesystem::path m_settingsFile;
};
