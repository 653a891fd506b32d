#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// Point records of any LAS format (0 to 10) rewritten in the LAS 1.4 formats 6, 7 and 8, which
// COPC requires: formats 0, 1, 4, 6 and 9 become 6; 2, 3, 5 and 7 become 7; 8 and 10 become 8.
//
// From the legacy formats (0 to 5): return number and number of returns move to their 4-bit
// fields; the classification keeps its 5-bit value in the new byte and the synthetic, key-point
// and withheld bits become class flags. A legacy class 12 ("overlap points") becomes the
// overlap flag with class 1 (unclassified), since 12 is reserved in the new formats. The scan
// angle rank (whole degrees) becomes the scan angle in steps of 0.006 degrees, rounded to the
// nearest step. Scan direction, edge of flight line, intensity, user data, point source id, GPS
// time (0 where the format has none) and RGB are kept; the scanner channel is 0.
// Wave packets (formats 4, 5, 9 and 10) are dropped; the caller says so. Extra bytes follow the
// new record's standard fields unchanged. A record shorter than its format's standard size
// reads as if its missing bytes were zeros.
namespace las {

struct ExtendedMapping {
    std::uint8_t sourceFormat = 0;
    std::uint16_t sourceLength = 0;
    std::uint8_t targetFormat = 6;
    std::uint16_t targetLength = 30;  // the target format's size plus the extra bytes
    std::uint16_t extraBytes = 0;
    bool dropsWavePackets = false;
};

// The mapping of records of the given format and length; none for a format above 10.
std::optional<ExtendedMapping> PlanExtendedMapping(std::uint8_t format, std::uint16_t recordLength);

// Rewrites count records of mapping.sourceLength bytes into count records of
// mapping.targetLength bytes. in and out may not overlap.
void MapToExtended(const ExtendedMapping& mapping, const unsigned char* in, std::size_t count, unsigned char* out);

}  // namespace las
