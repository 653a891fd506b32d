#pragma once

#include "io/core/PointRecords.h"

#include <array>
#include <cstdint>
#include <vector>

// What a COPC file carries besides its chunks and hierarchy: the info VLR, and the source's
// own (E)VLRs sorted into what is kept before the points and after them.
namespace copcwrite {

inline constexpr std::size_t kInfoSize = 160;
inline constexpr std::uint16_t kInfoRecordId = 1;
inline constexpr std::uint16_t kHierarchyRecordId = 1000;
inline constexpr char kCopcUserId[] = "copc";

struct CopcInfoFields {
    std::array<double, 3> center{};
    double halfSize = 0;
    double spacing = 0;
    std::uint64_t rootPageOffset = 0;
    std::uint64_t rootPageSize = 0;
    double gpsTimeMinimum = 0;
    double gpsTimeMaximum = 0;
};

// The info VLR's 160 bytes; the 88 reserved ones are zeros.
std::vector<unsigned char> CopcInfoPayload(const CopcInfoFields& info);

struct SourceRecords {
    std::vector<VariableLengthRecord> vlrs;   // before the points, in source order
    std::vector<VariableLengthRecord> evlrs;  // after the chunk table, in source order
    bool hasWkt = false;                      // an OGC coordinate system WKT record is among them
};

// The source's records a COPC file keeps: all of them but those that describe how the source
// stored its points (LASzip, COPC) and its wave packets (descriptors and data), which are not
// carried over. A VLR too large for a VLR becomes an EVLR.
SourceRecords KeptSourceRecords(const std::vector<VariableLengthRecord>& records, bool dropWavePackets);

// The header's global encoding: the GPS time type and synthetic return number bits of the
// source, no wave packets, and the WKT bit when a WKT record is kept.
std::uint16_t CopcGlobalEncoding(std::uint16_t sourceEncoding, bool hasWkt);

}  // namespace copcwrite
