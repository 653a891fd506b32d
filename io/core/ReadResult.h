#pragma once

#include "io/core/ReadNotes.h"

#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <variant>

class ThreadPool;

// Why a reader gave up. The reason text says it in one line for a person; the code is for
// callers and tests.
enum class ReadError : std::int32_t {
    CannotOpen,    // missing, unreadable, or not a regular file
    NotRecognised, // not a file of the reader's format
    Malformed,     // the format's rules are broken (bad signature, impossible field values)
    Truncated,     // the file ends before what its header promises
    Unsupported,   // a valid variant this reader does not decode (a version, a compressor)
    TooLarge,      // counts or sizes beyond what the file or the reader's limits allow
    Cancelled,     // the progress callback asked to stop
};

struct ReadFailure {
    ReadError code = ReadError::Malformed;
    std::string reason;  // one line, for example "LAS: the header claims 1065 points, the file holds 12"
};

// Called by a reader on the thread that called it with the fraction read so far (0 to 1,
// never decreasing); returning false asks the reader to stop, which it then does with
// ReadError::Cancelled.
using ReadProgress = std::function<bool(double fraction)>;

struct ReadOptions {
    ReadProgress progress;       // may be empty
    ThreadPool* pool = nullptr;  // parallel decoding where the format allows; null: this thread only
};

// Reports progress when there is a callback; false when the caller asked to stop.
inline bool ReportProgress(const ReadOptions& options, double fraction)
{
    return !options.progress || options.progress(fraction);
}

// The record a reader produced, or why it produced none.
template <typename Record>
class ReadResult {
public:
    ReadResult(Record record) : m_value(std::move(record)) {}
    ReadResult(ReadFailure failure) : m_value(std::move(failure)) {}

    bool Ok() const { return std::holds_alternative<Record>(m_value); }
    explicit operator bool() const { return Ok(); }

    Record& Value() { return std::get<Record>(m_value); }
    const Record& Value() const { return std::get<Record>(m_value); }
    Record TakeValue() { return std::move(std::get<Record>(m_value)); }
    const ReadFailure& Failure() const { return std::get<ReadFailure>(m_value); }

    // What the reader has for the log, whether it succeeded or not, in the order it found it.
    const ReadNotes& Notes() const { return m_notes; }
    ReadNotes TakeNotes() { return std::exchange(m_notes, {}); }
    void AddNote(NoteLevel level, std::string component, std::string text)
    {
        m_notes.push_back({level, std::move(component), std::move(text)});
    }
    // Appended after the notes already there.
    void AddNotes(ReadNotes notes)
    {
        if (m_notes.empty())
            m_notes = std::move(notes);
        else
            m_notes.insert(m_notes.end(), std::make_move_iterator(notes.begin()), std::make_move_iterator(notes.end()));
    }

private:
    std::variant<Record, ReadFailure> m_value;
    ReadNotes m_notes;
};

inline ReadFailure Fail(ReadError code, std::string reason)
{
    return ReadFailure{code, std::move(reason)};
}
