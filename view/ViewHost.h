#pragma once

#include "platform/ClientSize.h"

#include <string>

struct ViewStatus;

// The services the view takes from the window it is shown in: message boxes, the main
// window's status bar, repaints, wake-ups, focus and the mouse. The Qt shell implements it
// for the real application; tests use a recording double; the command-line tools use
// ConsoleDesktop. All calls are made on the UI thread except PostWake.

// The main window's information panes.
enum class StatusPane { Frame, Count, Mode };

class ViewHost {
public:
    virtual ~ViewHost() = default;

    // The view cannot draw: there is no OpenGL 4.5. The desktop tells the user.
    virtual void ReportOpenGlUnavailable() = 0;

    // Main frame: shows the view's status in the information panes, worded for the user. A
    // desktop without a status bar (or without one of the panes) leaves out what it cannot show.
    virtual void ShowStatus(const ViewStatus& status) = 0;

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
