#pragma once

#include "io/core/PointRecords.h"
#include "io/core/WriteResult.h"
#include "io/las/LasHeaderWrite.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class SafeFileWriter;
class ThreadPool;
namespace laz {
class LazChunkWriter;
}

struct PointFileOptions {
    bool compress = false;             // LAZ rather than LAS
    std::uint32_t chunkSize = 50000;   // points per LAZ chunk
    ThreadPool* pool = nullptr;        // LAZ chunks are encoded in parallel on it
    // The LAS version to write; nothing: the source's, raised to 1.4 for formats 6 to 10.
    std::optional<std::uint8_t> versionMinor;
};

// Writes the records it is given as a LAS or LAZ file: the source's header fields, VLRs and
// EVLRs, the records unchanged, and counts and bounds taken from the records themselves. The
// file appears under the target's name only when Finish succeeds (see SafeFileWriter).
class PointFileWriter : public PointRecordSink {
public:
    PointFileWriter(std::string target, PointFileOptions options);
    ~PointFileWriter() override;

    bool Begin(const PointRecordFormat& format) override;
    bool Take(const unsigned char* records, std::size_t count) override;

    // Completes the header and gives the file its name. Without a successful Finish (a source
    // that failed, a cancellation) nothing is left behind.
    WriteResult Finish();
    // Why Begin or Take refused, when one did.
    const std::optional<WriteFailure>& Failure() const { return m_failure; }
    // Source EVLRs that an older LAS version could not hold and that were left out.
    std::size_t DroppedRecords() const { return m_dropped; }

private:
    bool Refuse(WriteError code, std::string reason);
    bool WriteFailed();

    std::string m_target;
    PointFileOptions m_options;
    std::unique_ptr<SafeFileWriter> m_file;
    std::unique_ptr<laz::LazChunkWriter> m_chunks;
    PointRecordFormat m_format;
    las::HeaderPlacement m_placement;
    las::PointSummary m_summary;
    std::uint64_t m_chunkTableOffsetAt = 0;
    std::size_t m_dropped = 0;
    std::optional<WriteFailure> m_failure;
};
