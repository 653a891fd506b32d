#pragma once

#include "io/core/ReadResult.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A point cloud file's own point records, laid out as LAS lays them out: integer coordinates
// with their scale and offset, every field, extra bytes included. Converters read these, never
// the float arrays drawn from them, so that nothing the file holds is lost.

// A variable-length record of a LAS file, or an extended one stored after the points.
struct VariableLengthRecord {
    std::string userId;       // at most 16 bytes
    std::uint16_t recordId = 0;
    std::string description;  // at most 32 bytes
    std::vector<unsigned char> data;
    bool extended = false;    // an EVLR: after the points, and larger than 65535 bytes if need be
};

struct PointRecordFormat {
    std::uint8_t versionMinor = 2;    // LAS 1.x the source was, or would be
    std::uint8_t format = 0;          // point data record format, 0 to 10
    std::uint16_t recordLength = 20;  // the format's own size plus extra bytes
    std::array<double, 3> scale{0.01, 0.01, 0.01};
    std::array<double, 3> offset{};
    std::uint64_t pointCount = 0;     // as the source states it; the records are what counts
    std::uint16_t fileSourceId = 0;
    std::uint16_t globalEncoding = 0;
    std::array<unsigned char, 16> projectId{};
    std::string systemIdentifier;
    std::uint16_t creationDay = 0;
    std::uint16_t creationYear = 0;
    // The source's VLRs and EVLRs in file order, less those that only describe how its points
    // were stored (the LASzip record, COPC's info and hierarchy).
    std::vector<VariableLengthRecord> vlrs;
};

// The size of a record of a standard point format without extra bytes; 0 for an unknown one.
inline std::uint16_t StandardRecordLength(std::uint8_t format)
{
    static constexpr std::array<std::uint16_t, 11> kSizes{20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
    return format < kSizes.size() ? kSizes[format] : 0;
}

// Takes a source's records, in file order, on the thread that reads.
class PointRecordSink {
public:
    virtual ~PointRecordSink() = default;
    // Once, before any record. False stops the read, which then fails as Cancelled.
    virtual bool Begin(const PointRecordFormat& format) = 0;
    // count records of format.recordLength bytes each. False stops the read as above.
    virtual bool Take(const unsigned char* records, std::size_t count) = 0;
};
