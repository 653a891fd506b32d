#include "view/ConsoleDesktop.h"

#include <iostream>

ConsoleDesktop::ConsoleDesktop() : ConsoleDesktop(std::cerr) {}

ConsoleDesktop::ConsoleDesktop(std::ostream& messages) : m_messages(messages) {}

void ConsoleDesktop::ShowMessageBox(const std::string& text, const std::string& details)
{
    m_messageBoxes.push_back(text);
    m_messageBoxDetails.push_back(details);
    m_messages << text << '\n';
    if (!details.empty())
        m_messages << details << '\n';
    m_messages << std::flush;
}

bool ConsoleDesktop::SetStatusPaneText(StatusPane pane, const std::string& text)
{
    m_statusPanes[pane] = text;
    return true;
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
