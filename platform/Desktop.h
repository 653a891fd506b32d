#pragma once

#include <optional>
#include <string>
#include <vector>

struct AppSettings;

// Everything the document and the view take from the desktop they run in: boxes and
// dialogs, the main frame's status bar and title, and the services of the view's window.
// The Qt shell implements it for the real application; tests use a recording double;
// the command-line tools use a console implementation. All calls are made on the UI
// thread except PostResortMessage.

// The main window's information panes.
enum class StatusPane { Frame, Count, Mode };

struct FileDialogFilter {
    std::string description;  // e.g. "Camera pose file (*.json)"
    std::string pattern;      // e.g. "*.json"
};

struct OpenFileDialogRequest {
    std::string defaultExtension;  // without the dot, e.g. "json"
    std::string initialFileName;   // e.g. "transforms.json"
    std::vector<FileDialogFilter> filters;
};

struct ClientSize {
    int width = 0;   // pixels of the drawable (framebuffer pixels on high-DPI screens)
    int height = 0;
};

class IDesktop {
public:
    virtual ~IDesktop() = default;

    // Plain modal message box: the text, an OK button, no icon.
    virtual void ShowMessageBox(const std::string& text) = 0;
    // Open-file dialog owned by the view; the chosen existing file's path (UTF-8), or
    // nothing when cancelled.
    virtual std::optional<std::string> ChooseFileToOpen(const OpenFileDialogRequest& request) = 0;
    // The modal settings dialog, editing `settings` in place; true when closed with OK.
    virtual bool RunSettingsDialog(AppSettings& settings) = 0;

    // Main frame: sets a status pane's text and repaints it. False when there is no main
    // frame, no status bar or no such pane (the caller then simply goes on).
    virtual bool SetStatusPaneText(StatusPane pane, const std::string& text) = 0;
    // Main frame: rebuild the window title from the document's path (empty: no document path).
    virtual void RefreshFrameTitle(const std::string& documentPath) = 0;

    // View window services.
    virtual void InvalidateView() = 0;                 // repaint soon, never erasing first
    virtual void PostResortMessage() = 0;              // thread-safe; delivered later on the UI thread
    virtual void SetViewFocus() = 0;
    virtual void CaptureMouse() = 0;
    virtual void ReleaseMouse() = 0;
    virtual bool ViewHasMouseCapture() const = 0;
    virtual bool IsShiftDown() const = 0;
    virtual ClientSize ViewClientSize() const = 0;
};
