#pragma once

#include "io/core/PointRecords.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

// The parts of a LAS file a writer puts around the point records: the public header, whose
// counts and bounds come from the records actually written, and the (E)VLRs.
namespace las {

// Counts and integer bounds of the records written, for the header.
struct PointSummary {
    std::uint64_t count = 0;
    std::array<std::uint64_t, 15> byReturn{};
    std::array<std::int32_t, 3> minimum{std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max(),
                                        std::numeric_limits<std::int32_t>::max()};
    std::array<std::int32_t, 3> maximum{std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::min(),
                                        std::numeric_limits<std::int32_t>::min()};

    void Add(const unsigned char* records, std::size_t count, std::uint8_t format, std::uint16_t recordLength);
    void Merge(const PointSummary& other);
};

// Where the header's pointers go; everything else comes from the record format and summary.
struct HeaderPlacement {
    std::uint8_t versionMinor = 2;
    bool compressed = false;  // sets the format byte's compression bit, as LAZ does
    std::uint32_t pointDataOffset = 0;
    std::uint32_t vlrCount = 0;
    std::uint64_t evlrOffset = 0;
    std::uint32_t evlrCount = 0;
};

// The size of the public header of LAS 1.versionMinor (1.0 to 1.4).
std::uint16_t HeaderSize(std::uint8_t versionMinor);

std::vector<unsigned char> SerializeHeader(const PointRecordFormat& format, const HeaderPlacement& placement,
                                           const PointSummary& summary);

// The record's header (54 bytes, or 60 for an EVLR) followed by its data. A VLR's data must
// fit in 65535 bytes.
std::vector<unsigned char> SerializeVlr(const VariableLengthRecord& record);

}  // namespace las
