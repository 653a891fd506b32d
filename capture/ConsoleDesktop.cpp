#include "capture/ConsoleDesktop.h"

#include "messages/OpenFailureWording.h"
#include "messages/StatusWording.h"

#include <iostream>

ConsoleDesktop::ConsoleDesktop() : ConsoleDesktop(std::cerr) {}

ConsoleDesktop::ConsoleDesktop(std::ostream& messages) : m_messages(messages) {}

void ConsoleDesktop::ReportOpenFailure(const OpenFailure& failure)
{
    const UserMessage message = WordOpenFailure(failure);
    ShowMessageBox(message.text, message.details);
}

void ConsoleDesktop::ReportOpenGlUnavailable()
{
    ShowMessageBox(Word(MessageId::OpenGlUnavailable));
}

void ConsoleDesktop::ShowMessageBox(const std::string& text, const std::string& details)
{
    m_messageBoxes.push_back(text);
    m_messageBoxDetails.push_back(details);
    m_messages << text << '\n';
    if (!details.empty())
        m_messages << details << '\n';
    m_messages << std::flush;
}

void ConsoleDesktop::ShowStatus(const ViewStatus& status)
{
    StatusPaneTexts texts = WordStatus(status);
    m_statusPanes[StatusPane::Count] = std::move(texts.count);
    m_statusPanes[StatusPane::Mode] = std::move(texts.mode);
    m_statusPanes[StatusPane::Frame] = std::move(texts.frame);
}

void ConsoleDesktop::RefreshFrameTitle(const std::string& documentPath)
{
    m_titlePath = documentPath;
}

void ConsoleDesktop::InvalidateView()
{
    ++m_invalidations;
}

void ConsoleDesktop::PostWake()
{
    m_postedWakes.Post();
}

std::size_t ConsoleDesktop::DeliverPostedWakes(const std::function<void()>& deliver)
{
    const std::size_t posted = m_postedWakes.TakeAll();
    for (std::size_t i = 0; i < posted; ++i)
        deliver();
    return posted;
}
