#include "io/laz/ChunkDecoder.h"

#include "io/laz/LayeredItems.h"
#include "io/laz/PointwiseItems.h"
#include "io/laz/PointwiseItemsV1.h"
#include "io/laz/WavePacketDecoder.h"

#include <cstring>
#include <optional>
#include <vector>

namespace laz {
namespace {

// Corrupt data is given up on this many records after the stream went wrong, not at the
// chunk's end: a hostile chunk claiming millions of points ends early.
constexpr std::uint32_t kFailureCheckInterval = 1024;

ChunkOutcome Failure(std::string reason)
{
    return ChunkOutcome{false, 0, std::move(reason)};
}

// The item decoders of one version of the point-wise formats.
struct PointwiseV1 {
    using Point = Point10V1Decoder;
    using GpsTime = GpsTime11V1Decoder;
    using Rgb = Rgb12V1Decoder;
    using Bytes = BytesV1Decoder;
};
struct PointwiseV2 {
    using Point = Point10Decoder;
    using GpsTime = GpsTime11Decoder;
    using Rgb = Rgb12Decoder;
    using Bytes = BytesDecoder;
};

// Wave packets have one version whatever the others', and keep their descriptor in a
// 29-byte array.
class WavePacket13Decoder {
public:
    void Start(const unsigned char* first) { std::memcpy(m_last.data(), first, m_last.size()); }
    void Decode(ArithmeticDecoder& decoder, unsigned char* out)
    {
        m_packets.Decode(decoder, m_last);
        std::memcpy(out, m_last.data(), m_last.size());
    }

private:
    WavePacketDecoder m_packets;
    WavePacketDecoder::Packet m_last{};
};

// Items of the point-wise formats always come in this order: the core, GPS time, colour,
// wave packet, then extra bytes.
template <typename Items>
ChunkOutcome DecodePointwise(const LazLayout& layout, std::uint16_t recordLength, const unsigned char* bytes,
                             std::size_t size, std::uint32_t count, unsigned char* out)
{
    if (size < recordLength)
        return Failure("ends inside its first record");
    std::memcpy(out, bytes, recordLength);

    typename Items::Point point;
    std::optional<typename Items::GpsTime> gpsTime;
    std::optional<typename Items::Rgb> rgb;
    std::optional<WavePacket13Decoder> wave;
    std::optional<typename Items::Bytes> extra;
    std::size_t gpsAt = 0, rgbAt = 0, waveAt = 0, extraAt = 0;
    std::size_t offset = 0;
    for (const Item& item : layout.items) {
        switch (item.type) {
        case ItemType::Point10: point.Start(out + offset); break;
        case ItemType::GpsTime11: gpsTime.emplace().Start(out + offset); gpsAt = offset; break;
        case ItemType::Rgb12: rgb.emplace().Start(out + offset); rgbAt = offset; break;
        case ItemType::WavePacket13: wave.emplace().Start(out + offset); waveAt = offset; break;
        default: extra.emplace(item.size).Start(out + offset); extraAt = offset; break;
        }
        offset += item.size;
    }

    ArithmeticDecoder decoder(bytes + recordLength, bytes + size);
    bool sequencesOk = true;
    unsigned char* record = out;
    for (std::uint32_t i = 1; i < count; ++i) {
        record += recordLength;
        point.Decode(decoder, record);
        if (gpsTime)
            sequencesOk &= gpsTime->Decode(decoder, record + gpsAt);
        if (rgb)
            rgb->Decode(decoder, record + rgbAt);
        if (wave)
            wave->Decode(decoder, record + waveAt);
        if (extra)
            extra->Decode(decoder, record + extraAt);
        if (i % kFailureCheckInterval == 0 && decoder.Failed())
            break;
    }
    if (count > 1 && (decoder.Failed() || !sequencesOk))
        return Failure(decoder.Failed() ? "runs out of compressed data or is corrupt" : "holds a corrupt GPS time sequence");
    return ChunkOutcome{true, recordLength + decoder.Consumed(bytes + recordLength), {}};
}

struct LayeredItems {
    Point14Decoder point;
    std::optional<Rgb14Decoder> colour;
    std::optional<WavePacket14Decoder> wave;
    std::optional<Bytes14Decoder> extra;
    std::size_t colourAt = 0, waveAt = 0, extraAt = 0;
    std::size_t layerCount = 0;

    explicit LayeredItems(const LazLayout& layout)
    {
        std::size_t offset = 0;
        for (const Item& item : layout.items) {
            switch (item.type) {
            case ItemType::Point14: layerCount += Point14Decoder::kLayers; break;
            case ItemType::Rgb14: case ItemType::RgbNir14:
                colourAt = offset;
                layerCount += colour.emplace(item.type == ItemType::RgbNir14).Layers();
                break;
            case ItemType::WavePacket14: waveAt = offset; wave.emplace(); layerCount += WavePacket14Decoder::kLayers; break;
            default: extraAt = offset; layerCount += extra.emplace(item.size).Layers(); break;
            }
            offset += item.size;
        }
    }

    void Start(const unsigned char* first, const Layer* layers, FieldMask fields)
    {
        point.Start(first, layers, fields);
        layers += Point14Decoder::kLayers;
        const std::uint32_t context = point.ItemContext();
        // Layers follow item order, which is core, colour, wave packet, extra bytes.
        if (colour) {
            colour->Start(first + colourAt, layers, fields, context);
            layers += colour->Layers();
        }
        if (wave) {
            wave->Start(first + waveAt, layers, fields, context);
            layers += WavePacket14Decoder::kLayers;
        }
        if (extra)
            extra->Start(first + extraAt, layers, fields, context);
    }

    void Decode(unsigned char* record)
    {
        point.Decode(record);
        const std::uint32_t context = point.ItemContext();
        if (colour)
            colour->Decode(record + colourAt, context);
        if (wave)
            wave->Decode(record + waveAt, context);
        if (extra)
            extra->Decode(record + extraAt, context);
    }

    bool Failed() const
    {
        return point.Failed() || (colour && colour->Failed()) || (wave && wave->Failed()) || (extra && extra->Failed());
    }
};

ChunkOutcome DecodeLayered(const LazLayout& layout, std::uint16_t recordLength, FieldMask fields, const unsigned char* bytes,
                           std::size_t size, std::uint32_t expectedCount, unsigned char* out)
{
    LayeredItems items(layout);
    const std::size_t headerSize = std::size_t{recordLength} + 4 + 4 * items.layerCount;
    if (size < headerSize)
        return Failure("ends before its layer sizes");
    const std::uint32_t count = LoadLE<std::uint32_t>(bytes + recordLength);
    if (count != expectedCount)
        return Failure("states " + std::to_string(count) + " points, not " + std::to_string(expectedCount));

    std::vector<Layer> layers(items.layerCount);
    std::size_t at = headerSize;
    for (std::size_t i = 0; i < items.layerCount; ++i) {
        layers[i].size = LoadLE<std::uint32_t>(bytes + recordLength + 4 + 4 * i);
        if (layers[i].size > size - at)
            return Failure("has layers larger than the file holds");
        layers[i].data = bytes + at;
        at += layers[i].size;
    }

    std::memcpy(out, bytes, recordLength);
    if (count == 1)
        return ChunkOutcome{true, at, {}};
    items.Start(out, layers.data(), fields);
    unsigned char* record = out;
    for (std::uint32_t i = 1; i < count; ++i) {
        record += recordLength;
        items.Decode(record);
        if (i % kFailureCheckInterval == 0 && items.Failed())
            break;
    }
    if (items.Failed())
        return Failure("runs out of compressed data or is corrupt");
    return ChunkOutcome{true, at, {}};
}

}  // namespace

std::size_t LayeredLayerCount(const LazLayout& layout)
{
    return LayeredItems(layout).layerCount;
}

std::uint32_t LayeredChunkPointCount(const unsigned char* bytes, std::size_t size, std::uint16_t recordLength)
{
    if (size < std::size_t{recordLength} + 4)
        return 0;
    return LoadLE<std::uint32_t>(bytes + recordLength);
}

ChunkOutcome DecodeChunk(const LazLayout& layout, std::uint16_t recordLength, FieldMask fields, const unsigned char* bytes,
                         std::size_t size, std::uint32_t pointCount, unsigned char* out)
{
    if (pointCount == 0)
        return Failure("holds no points");
    if (layout.compressor == Compressor::LayeredChunked)
        return DecodeLayered(layout, recordLength, fields, bytes, size, pointCount, out);
    return layout.items.front().version == 1
             ? DecodePointwise<PointwiseV1>(layout, recordLength, bytes, size, pointCount, out)
             : DecodePointwise<PointwiseV2>(layout, recordLength, bytes, size, pointCount, out);
}

}  // namespace laz
