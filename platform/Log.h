#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class LogLevel { Info, Warning, Error };

// The program's one log: engine components write their diagnostic lines here. A line is
// written as "[component] text" ("text" alone when component is empty) and ends with '\n';
// a text may span several lines and gets a final newline when it lacks one. By default the
// lines go to standard error exactly so; the level is kept for captures.
void Log(LogLevel level, std::string_view component, std::string_view text);

// While an instance lives, Log calls made on the creating thread are collected by it
// instead of going to standard error. Instances nest; the innermost one collects.
class ScopedLogCapture {
public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    // Everything written so far, concatenated as it would have gone to standard error.
    const std::string& Text() const { return m_text; }
    // The text cut at each '\n' (the newline itself dropped).
    std::vector<std::string> Lines() const;
    // The level of each Log call so far, in order.
    const std::vector<LogLevel>& Levels() const { return m_levels; }
    void Clear();

private:
    friend void Log(LogLevel level, std::string_view component, std::string_view text);
    std::string m_text;
    std::vector<LogLevel> m_levels;
    ScopedLogCapture* m_previous = nullptr;
};
