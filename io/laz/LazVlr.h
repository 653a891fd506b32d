#pragma once

#include "io/core/ReadResult.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace laz {

enum class Compressor : std::uint16_t { PointWise = 1, PointWiseChunked = 2, LayeredChunked = 3 };

enum class ItemType : std::uint16_t {
    Byte = 0,
    Point10 = 6,
    GpsTime11 = 7,
    Rgb12 = 8,
    WavePacket13 = 9,
    Point14 = 10,
    Rgb14 = 11,
    RgbNir14 = 12,
    WavePacket14 = 13,
    Byte14 = 14,
};

struct Item {
    ItemType type = ItemType::Byte;
    std::uint16_t size = 0;
    std::uint16_t version = 0;
};

// What the LASzip VLR says about the point records: how they are compressed and which items
// make up one record, in record order.
struct LazLayout {
    Compressor compressor = Compressor::PointWiseChunked;
    std::uint32_t chunkSize = 0;  // points per chunk; kVariableChunks: sizes come from the chunk table
    std::vector<Item> items;
};

inline constexpr std::uint32_t kVariableChunks = 0xFFFFFFFFu;
inline constexpr std::uint16_t kLaszipRecordId = 22204;
inline constexpr char kLaszipUserId[] = "laszip encoded";

// The size each item has in a record; 0 for the extra bytes, whose size is free.
std::uint16_t FixedItemSize(ItemType type);

// The items each point format is made of, before any extra bytes, with the point-wise or the
// layered items; none for a format the compressor does not take.
std::vector<ItemType> CoreItems(std::uint8_t format, bool layered);

// Checks the VLR's payload against the point format and record length of the header: a
// known compressor and coder, items this decoder handles, in an order the format allows,
// whose sizes add up to the record length.
ReadResult<LazLayout> ParseLazVlr(const unsigned char* payload, std::size_t size, std::uint8_t pointFormat,
                                  std::uint16_t recordLength);

}  // namespace laz
