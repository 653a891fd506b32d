#pragma once

#include "io/core/ReadNotes.h"

#include <string>
#include <vector>

namespace testsupport {

// A reader's notes as the log shows them once written: "[component] text", one line each.
inline std::vector<std::string> NoteLines(const ReadNotes& notes)
{
    std::vector<std::string> lines;
    for (const ReadNote& note : notes)
        lines.push_back("[" + note.component + "] " + note.text);
    return lines;
}

// The same lines as one text, each ending with a newline.
inline std::string NoteText(const ReadNotes& notes)
{
    std::string text;
    for (const std::string& line : NoteLines(notes))
        text += line + "\n";
    return text;
}

}  // namespace testsupport
