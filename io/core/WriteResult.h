#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

// Why a writer gave up. As with reading, the reason is one line for a person and the code is
// for callers and tests. A failed write leaves nothing under the target's name.
enum class WriteError : std::int32_t {
    CannotCreate,  // the target's folder cannot be written, or the target is a folder
    WriteFailed,   // writing stopped part-way: the disk is full, the file grew past a limit
    Refused,       // the request cannot be met: the target is the source, coordinates do not fit
    SourceFailed,  // the source could not be read; the reason is the reader's
    Cancelled,     // the progress callback asked to stop
};

struct WriteFailure {
    WriteError code = WriteError::WriteFailed;
    std::string reason;
};

class WriteResult {
public:
    WriteResult() = default;
    WriteResult(WriteFailure failure) : m_failure(std::move(failure)) {}

    bool Ok() const { return !m_failure; }
    explicit operator bool() const { return Ok(); }
    const WriteFailure& Failure() const { return *m_failure; }

private:
    std::optional<WriteFailure> m_failure;
};
