#include "document/ReadNotesLog.h"

#include "platform/Log.h"

namespace {

LogLevel LevelOf(NoteLevel level)
{
    switch (level) {
    case NoteLevel::Info: return LogLevel::Info;
    case NoteLevel::Warning: return LogLevel::Warning;
    case NoteLevel::Error: return LogLevel::Error;
    }
    return LogLevel::Error;
}

}  // namespace

void LogReadNotes(const ReadNotes& notes)
{
    for (const ReadNote& note : notes)
        Log(LevelOf(note.level), note.component, note.text);
}
