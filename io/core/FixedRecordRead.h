#pragma once

#include "io/core/ReadOnlyFile.h"
#include "io/core/ReadResult.h"

#include <cstddef>
#include <cstdint>
#include <functional>

// Records of one size laid end to end in a file.
struct FixedRecords {
    std::uint64_t offset = 0;  // of the first record
    std::size_t recordBytes = 0;
    std::size_t count = 0;
};

// The stretch of a read's whole progress that one pass over the records stands for.
struct ProgressSpan {
    double from = 0.0;
    double to = 1.0;
};

struct FixedRecordsRead {
    enum class Outcome { Complete, Cancelled, FileEnded };
    Outcome outcome = Outcome::Complete;
    // FileEnded: the end of the first block the file did not hold, in records.
    std::size_t endedBefore = 0;
};

using RecordBlockVisitor = std::function<void(const std::byte* records, std::size_t first, std::size_t count)>;

// Reads the records a cache-sized block at a time and calls visit(records, first, count) for
// every block. With options.pool the records are split into ranges read on the pool's
// threads: visit then runs on several threads at once, for disjoint blocks in no set order,
// and must only write what belongs to its own records. Progress is reported from the calling
// thread only, rising from span.from to span.to; once the callback asks to stop, no further
// block starts. The file is read with positioned reads, so the ranges share one descriptor.
FixedRecordsRead ReadFixedRecords(const ReadOnlyFile& file, const FixedRecords& records, const ReadOptions& options,
                                  ProgressSpan span, const RecordBlockVisitor& visit);
