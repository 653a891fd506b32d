#include "platform/Log.h"

#include <cstdio>

namespace {
thread_local ScopedLogCapture* t_capture = nullptr;
}

void Log(LogLevel level, std::string_view component, std::string_view text)
{
    std::string line;
    line.reserve(component.size() + text.size() + 4);
    if (!component.empty()) {
        line += '[';
        line += component;
        line += "] ";
    }
    line += text;
    if (line.empty() || line.back() != '\n')
        line += '\n';

    if (t_capture) {
        t_capture->m_text += line;
        t_capture->m_levels.push_back(level);
        return;
    }
    // One write per call, so that lines of different threads do not interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

ScopedLogCapture::ScopedLogCapture() : m_previous(t_capture)
{
    t_capture = this;
}

ScopedLogCapture::~ScopedLogCapture()
{
    t_capture = m_previous;
}

std::vector<std::string> ScopedLogCapture::Lines() const
{
    std::vector<std::string> lines;
    std::string_view rest = m_text;
    while (!rest.empty()) {
        const auto newline = rest.find('\n');
        if (newline == std::string_view::npos) {
            lines.emplace_back(rest);
            break;
        }
        lines.emplace_back(rest.substr(0, newline));
        rest.remove_prefix(newline + 1);
    }
    return lines;
}

void ScopedLogCapture::Clear()
{
    m_text.clear();
    m_levels.clear();
}
