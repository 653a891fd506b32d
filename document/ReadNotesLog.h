#pragma once

#include "io/core/ReadNotes.h"

// Writes a reader's notes to the program's log, in order, each as "[component] text".
void LogReadNotes(const ReadNotes& notes);
