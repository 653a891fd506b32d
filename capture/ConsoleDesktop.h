#pragma once

#include "document/DocumentHost.h"
#include "view/ViewHost.h"
#include "platform/PostedMessages.h"

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

// The desktop of a command-line tool: message boxes are printed, and what a window would
// show (status panes, title, repaints) is kept for the tool to print or check. Wake-ups
// posted from another thread are queued and delivered only when the tool asks, on its own
// thread.
class ConsoleDesktop final : public DocumentHost, public ViewHost {
public:
    // Message boxes are written to `messages` (standard error by default), each followed by
    // a newline.
    ConsoleDesktop();
    explicit ConsoleDesktop(std::ostream& messages);

    // Failures are printed as the desktop's message box would word them, in the source
    // texts; the details, when there are any, follow on a line of their own.
    void ReportOpenFailure(const OpenFailure& failure) override;
    void ReportOpenGlUnavailable() override;

    // Every pane exists: its text is kept.
    void ShowStatus(const ViewStatus& status) override;
    void RefreshFrameTitle(const std::string& documentPath) override;

    void InvalidateView() override;
    void PostWake() override;
    void SetViewFocus() override {}
    void CaptureMouse() override { m_mouseCaptured = true; }
    void ReleaseMouse() override { m_mouseCaptured = false; }
    bool ViewHasMouseCapture() const override { return m_mouseCaptured; }
    bool IsShiftDown() const override { return false; }
    ClientSize ViewClientSize() const override { return m_clientSize; }

    // The texts of every message box shown, in order.
    const std::vector<std::string>& MessageBoxes() const { return m_messageBoxes; }
    // Their details, one entry per box (empty where a box had none).
    const std::vector<std::string>& MessageBoxDetails() const { return m_messageBoxDetails; }
    // The latest text of each status pane that was set.
    const std::map<StatusPane, std::string>& StatusPanes() const { return m_statusPanes; }
    // The document path of the latest title refresh (empty: untitled).
    const std::string& TitlePath() const { return m_titlePath; }
    std::size_t InvalidationCount() const { return m_invalidations; }

    // Calls deliver() once for each wake-up posted since the last call; returns how many were
    // delivered. Call it on the thread that owns the view.
    std::size_t DeliverPostedWakes(const std::function<void()>& deliver);

    // The size the view's drawable reports; 1280 x 720 unless set.
    void SetClientSize(ClientSize size) { m_clientSize = size; }

private:
    void ShowMessageBox(const std::string& text, const std::string& details = {});

    std::ostream& m_messages;
    std::vector<std::string> m_messageBoxes;
    std::vector<std::string> m_messageBoxDetails;
    std::map<StatusPane, std::string> m_statusPanes;
    std::string m_titlePath;
    std::size_t m_invalidations = 0;
    bool m_mouseCaptured = false;
    ClientSize m_clientSize{1280, 720};
    PostedMessages m_postedWakes;
};
