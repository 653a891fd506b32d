#include "io/laz/LazVlr.h"

#include "io/core/LittleEndian.h"

#include <string>

namespace laz {
namespace {

constexpr std::size_t kFixedPartSize = 34;
constexpr std::size_t kItemSize = 6;

std::string ItemName(const Item& item)
{
    return "item type " + std::to_string(static_cast<unsigned>(item.type)) + " version " + std::to_string(item.version);
}

bool Decodable(const Item& item, Compressor compressor, std::uint16_t coreVersion)
{
    if (compressor == Compressor::LayeredChunked) {
        switch (item.type) {
        case ItemType::Point14: case ItemType::Rgb14: case ItemType::RgbNir14: case ItemType::Byte14:
        case ItemType::WavePacket14:
            return item.version == 3;
        default:
            return false;
        }
    }
    // Version 1 and 2 items are not mixed, but wave packets only ever had version 1.
    switch (item.type) {
    case ItemType::Point10: case ItemType::GpsTime11: case ItemType::Rgb12: case ItemType::Byte:
        return (item.version == 1 || item.version == 2) && item.version == coreVersion;
    case ItemType::WavePacket13:
        return item.version == 1;
    default:
        return false;
    }
}

}  // namespace

std::uint16_t FixedItemSize(ItemType type)
{
    switch (type) {
    case ItemType::Point10: return 20;
    case ItemType::GpsTime11: return 8;
    case ItemType::Rgb12: return 6;
    case ItemType::WavePacket13: return 29;
    case ItemType::Point14: return 30;
    case ItemType::Rgb14: return 6;
    case ItemType::RgbNir14: return 8;
    case ItemType::WavePacket14: return 29;
    default: return 0;
    }
}

std::vector<ItemType> CoreItems(std::uint8_t format, bool layered)
{
    using enum ItemType;
    if (layered) {
        switch (format) {
        case 6: return {Point14};
        case 7: return {Point14, Rgb14};
        case 8: return {Point14, RgbNir14};
        case 9: return {Point14, WavePacket14};
        case 10: return {Point14, RgbNir14, WavePacket14};
        default: return {};
        }
    }
    switch (format) {
    case 0: return {Point10};
    case 1: return {Point10, GpsTime11};
    case 2: return {Point10, Rgb12};
    case 3: return {Point10, GpsTime11, Rgb12};
    case 4: return {Point10, GpsTime11, WavePacket13};
    case 5: return {Point10, GpsTime11, Rgb12, WavePacket13};
    default: return {};
    }
}

ReadResult<LazLayout> ParseLazVlr(const unsigned char* payload, std::size_t size, std::uint8_t pointFormat,
                                  std::uint16_t recordLength)
{
    if (size < kFixedPartSize)
        return Fail(ReadError::Malformed, "LAZ: the LASzip record is " + std::to_string(size) + " bytes, too short");
    const auto compressor = LoadLE<std::uint16_t>(payload);
    const auto coder = LoadLE<std::uint16_t>(payload + 2);
    const auto itemCount = LoadLE<std::uint16_t>(payload + 32);
    if (kFixedPartSize + kItemSize * itemCount != size)
        return Fail(ReadError::Malformed, "LAZ: the LASzip record lists " + std::to_string(itemCount) + " items but holds "
                                              + std::to_string((size - kFixedPartSize) / kItemSize));
    if (compressor < 1 || compressor > 3)
        return Fail(ReadError::Unsupported, "LAZ: unknown compressor " + std::to_string(compressor));
    if (coder != 0)
        return Fail(ReadError::Unsupported, "LAZ: unknown entropy coder " + std::to_string(coder));

    LazLayout layout;
    layout.compressor = static_cast<Compressor>(compressor);
    layout.chunkSize = LoadLE<std::uint32_t>(payload + 12);
    if (layout.chunkSize == 0 && layout.compressor != Compressor::PointWise)
        return Fail(ReadError::Malformed, "LAZ: a chunk size of 0 points");
    for (std::size_t i = 0; i < itemCount; ++i) {
        const unsigned char* entry = payload + kFixedPartSize + kItemSize * i;
        layout.items.push_back({static_cast<ItemType>(LoadLE<std::uint16_t>(entry)), LoadLE<std::uint16_t>(entry + 2),
                                LoadLE<std::uint16_t>(entry + 4)});
    }

    const bool layered = layout.compressor == Compressor::LayeredChunked;
    const std::vector<ItemType> core = CoreItems(pointFormat, layered);
    if (core.empty())
        return Fail(ReadError::Unsupported, "LAZ: point format " + std::to_string(pointFormat) + " cannot use compressor "
                                                + std::to_string(compressor));
    std::size_t total = 0;
    for (std::size_t i = 0; i < layout.items.size(); ++i) {
        const Item& item = layout.items[i];
        const ItemType expected = i < core.size() ? core[i] : (layered ? ItemType::Byte14 : ItemType::Byte);
        if (item.type != expected)
            return Fail(ReadError::Malformed, "LAZ: " + ItemName(item) + " does not belong at place " + std::to_string(i)
                                                  + " of point format " + std::to_string(pointFormat));
        if (!Decodable(item, layout.compressor, layout.items.front().version))
            return Fail(ReadError::Unsupported, "LAZ: " + ItemName(item) + " is not supported");
        const std::uint16_t fixed = FixedItemSize(item.type);
        if ((fixed != 0 && item.size != fixed) || item.size == 0)
            return Fail(ReadError::Malformed, "LAZ: " + ItemName(item) + " claims " + std::to_string(item.size) + " bytes");
        total += item.size;
    }
    if (layout.items.size() < core.size())
        return Fail(ReadError::Malformed, "LAZ: the LASzip record lists too few items for point format "
                                              + std::to_string(pointFormat));
    if (total != recordLength)
        return Fail(ReadError::Malformed, "LAZ: the items add up to " + std::to_string(total) + " bytes, the record length is "
                                              + std::to_string(recordLength));
    return layout;
}

}  // namespace laz
