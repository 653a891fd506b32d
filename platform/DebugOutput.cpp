#include "platform/DebugOutput.h"

#include <cstdio>

namespace {
thread_local ScopedDebugOutputCapture* t_capture = nullptr;
}

void DebugOutput(std::string_view text)
{
    if (t_capture) {
        t_capture->m_text.append(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

ScopedDebugOutputCapture::ScopedDebugOutputCapture() : m_previous(t_capture)
{
    t_capture = this;
}

ScopedDebugOutputCapture::~ScopedDebugOutputCapture()
{
    t_capture = m_previous;
}

std::vector<std::string> ScopedDebugOutputCapture::Lines() const
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
