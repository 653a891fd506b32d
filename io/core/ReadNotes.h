#pragma once

#include <string>
#include <vector>

enum class NoteLevel { Info, Warning, Error };

// A line a reader has for the program's log. Readers write no log themselves: whoever runs a
// read writes the notes it returned, in order, each as "[component] text".
struct ReadNote {
    NoteLevel level = NoteLevel::Info;
    std::string component;
    std::string text;
};

using ReadNotes = std::vector<ReadNote>;
