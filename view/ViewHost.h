#pragma once

#include "platform/ClientSize.h"

#include <string>

// The services the view takes from the window it is shown in: message boxes, the main
// window's status bar, repaints, wake-ups, focus and the mouse. The Qt shell implements it
// for the real application; tests use a recording double; the command-line tools use
// ConsoleDesktop. All calls are made on the UI thread except PostWake.

// The main window's information panes.
enum class StatusPane { Frame, Count, Mode };

class ViewHost {
public:
    virtual ~ViewHost() = default;

    // Plain modal message box: the text, an OK button, no icon. `details`, when given, is
    // a further line the user may unfold (why a file could not be read, for example).
    virtual void ShowMessageBox(const std::string& text, const std::string& details = {}) = 0;

    // Main frame: sets a status pane's text and repaints it. False when there is no main
    // frame, no status bar or no such pane (the caller then simply goes on).
    virtual bool SetStatusPaneText(StatusPane pane, const std::string& text) = 0;

    // View window services.
    virtual void InvalidateView() = 0;                 // repaint soon, never erasing first
    // Repaint once the time has passed: the view draws the full point budget again when the
    // camera has stopped. A desktop without timers may ignore it (the next repaint does it).
    virtual void InvalidateViewAfter(int milliseconds) { (void)milliseconds; }
    // Work finished off the UI thread (a splat sort, a streamed node, an octree build): calls
    // the view's OnWake later on the UI thread, which looks at what changed and repaints.
    // Thread-safe.
    virtual void PostWake() = 0;
    virtual void SetViewFocus() = 0;
    virtual void CaptureMouse() = 0;
    virtual void ReleaseMouse() = 0;
    virtual bool ViewHasMouseCapture() const = 0;
    virtual bool IsShiftDown() const = 0;
    virtual ClientSize ViewClientSize() const = 0;
};
