#pragma once

#include <string>
#include <string_view>
#include <vector>

// The program's one log channel: engine components write their diagnostic lines here
// (each line starts with a bracketed component tag and ends with '\n'). By default the
// text goes to standard error exactly as given.
void DebugOutput(std::string_view text);

// While an instance lives, DebugOutput calls made on the creating thread are collected
// by it instead of going to standard error. Instances nest; the innermost one collects.
class ScopedDebugOutputCapture {
public:
    ScopedDebugOutputCapture();
    ~ScopedDebugOutputCapture();
    ScopedDebugOutputCapture(const ScopedDebugOutputCapture&) = delete;
    ScopedDebugOutputCapture& operator=(const ScopedDebugOutputCapture&) = delete;

    // Everything written so far, concatenated.
    const std::string& Text() const { return m_text; }
    // The text cut at each '\n' (the newline itself dropped); a trailing piece without
    // a newline is kept as the last line.
    std::vector<std::string> Lines() const;
    void Clear() { m_text.clear(); }

private:
    friend void DebugOutput(std::string_view text);
    std::string m_text;
    ScopedDebugOutputCapture* m_previous = nullptr;
};
