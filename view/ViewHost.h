#pragma once

#include "platform/ClientSize.h"

#include <optional>
#include <string>
#include <vector>

struct AppSettings;

// The services the view takes from the window it is shown in: message boxes and dialogs,
// the main window's status bar, repaints, focus and the mouse. The Qt shell implements it
// for the real application; tests use a recording double; the command-line tools use
// ConsoleDesktop. All calls are made on the UI thread except PostResortMessage.

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

class ViewHost {
public:
    virtual ~ViewHost() = default;

    // Plain modal message box: the text, an OK button, no icon. `details`, when given, is
    // a further line the user may unfold (why a file could not be read, for example).
    virtual void ShowMessageBox(const std::string& text, const std::string& details = {}) = 0;
    // Open-file dialog owned by the view; the chosen existing file's path (UTF-8), or
    // nothing when cancelled.
    virtual std::optional<std::string> ChooseFileToOpen(const OpenFileDialogRequest& request) = 0;
    // The modal settings dialog, editing `settings` in place; true when closed with OK.
    virtual bool RunSettingsDialog(AppSettings& settings) = 0;

    // Main frame: sets a status pane's text and repaints it. False when there is no main
    // frame, no status bar or no such pane (the caller then simply goes on).
    virtual bool SetStatusPaneText(StatusPane pane, const std::string& text) = 0;

    // View window services.
    virtual void InvalidateView() = 0;                 // repaint soon, never erasing first
    // Repaint once the time has passed: the view draws the full point budget again when the
    // camera has stopped. A desktop without timers may ignore it (the next repaint does it).
    virtual void InvalidateViewAfter(int milliseconds) { (void)milliseconds; }
    virtual void PostResortMessage() = 0;              // thread-safe; delivered later on the UI thread
    virtual void SetViewFocus() = 0;
    virtual void CaptureMouse() = 0;
    virtual void ReleaseMouse() = 0;
    virtual bool ViewHasMouseCapture() const = 0;
    virtual bool IsShiftDown() const = 0;
    virtual ClientSize ViewClientSize() const = 0;
};
