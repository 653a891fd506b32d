#pragma once

#include "io/core/ReadResult.h"

#include <array>
#include <cstdint>
#include <span>

class ReadOnlyFile;

// What a COPC reader needs of the LAS 1.4 header block.
struct CopcLasHeader {
    std::uint64_t fileSize = 0;
    std::uint64_t pointCount = 0;
    std::uint32_t pointDataOffset = 0;
    std::uint8_t pointFormat = 0;  // without the compression bits
    std::uint16_t recordLength = 0;
    std::array<double, 3> scale{};
    std::array<double, 3> offset{};
    std::array<double, 3> minimum{};
    std::array<double, 3> maximum{};
    std::uint64_t firstEvlrOffset = 0;
    std::uint32_t evlrCount = 0;
};

// The "copc" info VLR (record 1), which must directly follow the header.
struct CopcInfo {
    std::array<double, 3> center{};  // of the root cell, in world coordinates
    double halfSize = 0;             // from the centre to any face of the root cell
    double spacing = 0;              // between the root node's points; halves at every level
    std::uint64_t rootPageOffset = 0;
    std::uint64_t rootPageSize = 0;
    double gpsTimeMinimum = 0;
    double gpsTimeMaximum = 0;
};

inline constexpr std::size_t kCopcPrefixSize = 375 + 54 + 160;

// True when the file's first kCopcPrefixSize bytes are a LAS header followed by the COPC info VLR.
bool LooksLikeCopc(std::span<const std::uint8_t> prefix);

struct CopcPrefix {
    CopcLasHeader header;
    CopcInfo info;
};

// Reads and checks the header and the info VLR.
ReadResult<CopcPrefix> ReadCopcPrefix(const ReadOnlyFile& file);
