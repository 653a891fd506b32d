#pragma once

#include "document/DocumentHost.h"
#include "messages/OpenFailureWording.h"
#include "messages/StatusWording.h"
#include "view/ViewHost.h"
#include "platform/PostedMessages.h"

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

// A desktop for tests: records every call the document and the view make, and answers
// window queries from values the test sets beforehand.
//
//   RecordingDesktop desktop;
//   desktop.shiftDown = true;
//   ... run the code under test ...
//   EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{"..."});
//   desktop.DeliverPostedWakes([&] { view.OnWake(); });
//
// `calls` lists every call by name in order ("ShowMessageBox", "SetStatusPaneText",
// "RefreshFrameTitle", "InvalidateView", "PostWake", "SetViewFocus", "CaptureMouse",
// "ReleaseMouse"), for tests of order. Everything but PostWake must be called on the test's
// thread.
class RecordingDesktop final : public DocumentHost, public ViewHost {
public:
    // --- what was called ---
    std::vector<std::string> calls;
    std::vector<std::string> messageBoxes;
    std::vector<std::string> messageBoxDetails;  // one per box, empty without details
    std::map<StatusPane, std::string> paneTexts;      // latest text by pane
    std::vector<std::pair<StatusPane, std::string>> paneHistory;  // every accepted SetStatusPaneText
    std::vector<std::string> titleRefreshes;          // the document path of each refresh
    std::size_t invalidations = 0;
    std::size_t focusRequests = 0;

    // --- how the desktop answers ---
    // False simulates a main frame without a status bar: SetStatusPaneText then records
    // nothing and returns false.
    bool hasStatusBar = true;
    // The panes the status bar has; SetStatusPaneText for another pane returns false.
    std::set<StatusPane> statusPanes{StatusPane::Frame, StatusPane::Count, StatusPane::Mode};
    bool shiftDown = false;
    ClientSize clientSize{800, 600};
    bool mouseCaptured = false;

    // Failures and the status are recorded as the desktop words them, in the source texts.
    void ReportOpenFailure(const OpenFailure& failure) override
    {
        const UserMessage message = WordOpenFailure(failure);
        ShowMessageBox(message.text, message.details);
    }

    void ReportOpenGlUnavailable() override { ShowMessageBox(Word(MessageId::OpenGlUnavailable)); }

    void ShowStatus(const ViewStatus& status) override
    {
        const StatusPaneTexts texts = WordStatus(status);
        SetStatusPaneText(StatusPane::Count, texts.count);
        SetStatusPaneText(StatusPane::Mode, texts.mode);
        SetStatusPaneText(StatusPane::Frame, texts.frame);
    }

    void ShowMessageBox(const std::string& text, const std::string& details = {})
    {
        calls.push_back("ShowMessageBox");
        messageBoxes.push_back(text);
        messageBoxDetails.push_back(details);
    }

    bool SetStatusPaneText(StatusPane pane, const std::string& text)
    {
        calls.push_back("SetStatusPaneText");
        if (!hasStatusBar || !statusPanes.contains(pane))
            return false;
        paneTexts[pane] = text;
        paneHistory.emplace_back(pane, text);
        return true;
    }

    void RefreshFrameTitle(const std::string& documentPath) override
    {
        calls.push_back("RefreshFrameTitle");
        titleRefreshes.push_back(documentPath);
    }

    void InvalidateView() override
    {
        calls.push_back("InvalidateView");
        ++invalidations;
    }

    // Thread-safe: the splat renderer's sort thread posts. Queued until delivered.
    void PostWake() override { m_postedWakes.Post(); }

    void SetViewFocus() override
    {
        calls.push_back("SetViewFocus");
        ++focusRequests;
    }
    void CaptureMouse() override
    {
        calls.push_back("CaptureMouse");
        mouseCaptured = true;
    }
    void ReleaseMouse() override
    {
        calls.push_back("ReleaseMouse");
        mouseCaptured = false;
    }
    bool ViewHasMouseCapture() const override { return mouseCaptured; }
    bool IsShiftDown() const override { return shiftDown; }
    ClientSize ViewClientSize() const override { return clientSize; }

    // Wake-ups posted and not yet delivered.
    std::size_t PendingWakes() const { return m_postedWakes.Pending(); }

    // Delivers the pending wake-ups, calling deliver() once for each, as the window's message
    // loop would; returns how many. "PostWake" is recorded in `calls` at delivery, on the
    // test's thread.
    std::size_t DeliverPostedWakes(const std::function<void()>& deliver)
    {
        const std::size_t posted = m_postedWakes.TakeAll();
        for (std::size_t i = 0; i < posted; ++i) {
            calls.push_back("PostWake");
            deliver();
        }
        return posted;
    }

private:
    PostedMessages m_postedWakes;
};

}  // namespace testsupport
