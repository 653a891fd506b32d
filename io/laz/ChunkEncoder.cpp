#include "io/laz/ChunkEncoder.h"

#include "io/core/LittleEndian.h"
#include "io/laz/LazWriter.h"
#include "io/laz/PointwiseEncoders.h"

#include <cstring>
#include <optional>

namespace laz {
namespace {

bool SameItems(const std::vector<Item>& a, const std::vector<Item>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].type != b[i].type || a[i].size != b[i].size || a[i].version != b[i].version)
            return false;
    return true;
}

void AppendLE(std::vector<unsigned char>& out, std::uint32_t value)
{
    unsigned char bytes[4];
    StoreLE(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

}  // namespace

// The items of a layered record after the point, which take the point's item context; layers
// follow item order, which is core, colour, wave packet, extra bytes.
struct ChunkEncoder::LayeredItems {
    Point14Encoder point;
    std::optional<Rgb14Encoder> colour;
    std::optional<WavePacket14Encoder> wave;
    std::optional<Bytes14Encoder> extra;
    std::size_t colourAt = 0, waveAt = 0, extraAt = 0;

    explicit LayeredItems(const LazLayout& layout)
    {
        std::size_t offset = 0;
        for (const Item& item : layout.items) {
            switch (item.type) {
            case ItemType::Point14: break;
            case ItemType::Rgb14: case ItemType::RgbNir14: colour.emplace(item.type == ItemType::RgbNir14); colourAt = offset; break;
            case ItemType::WavePacket14: wave.emplace(); waveAt = offset; break;
            default: extra.emplace(item.size); extraAt = offset; break;
            }
            offset += item.size;
        }
    }

    void Start(const unsigned char* first)
    {
        point.Start(first);
        const std::uint32_t context = point.ItemContext();
        if (colour)
            colour->Start(first + colourAt, context);
        if (wave)
            wave->Start(first + waveAt, context);
        if (extra)
            extra->Start(first + extraAt, context);
    }

    void Encode(const unsigned char* record)
    {
        point.Encode(record);
        const std::uint32_t context = point.ItemContext();
        if (colour)
            colour->Encode(record + colourAt, context);
        if (wave)
            wave->Encode(record + waveAt, context);
        if (extra)
            extra->Encode(record + extraAt, context);
    }

    void FinishLayers(std::vector<std::uint32_t>& sizes, std::vector<const unsigned char*>& bytes)
    {
        point.FinishLayers(sizes, bytes);
        if (colour)
            colour->FinishLayers(sizes, bytes);
        if (wave)
            wave->FinishLayers(sizes, bytes);
        if (extra)
            extra->FinishLayers(sizes, bytes);
    }
};

ChunkEncoder::ChunkEncoder(const LazLayout& layout, std::uint16_t recordLength) : m_layout(layout), m_recordLength(recordLength)
{
    if (layout.compressor == Compressor::LayeredChunked)
        m_layered = std::make_unique<LayeredItems>(layout);
}

ChunkEncoder::~ChunkEncoder() = default;

bool ChunkEncoder::Encodable(const LazLayout& layout, std::uint16_t recordLength)
{
    for (std::uint8_t format = 0; format <= 10; ++format) {
        const std::optional<LazLayout> standard = LayoutForFormat(format, recordLength, layout.chunkSize);
        if (standard && standard->compressor == layout.compressor && SameItems(standard->items, layout.items))
            return true;
    }
    return false;
}

void ChunkEncoder::Encode(const unsigned char* records, std::uint32_t count, std::vector<unsigned char>& out)
{
    if (m_layered)
        EncodeLayered(records, count, out);
    else
        EncodePointwise(records, count, out);
}

// Items of the point-wise formats always come in this order: the core, GPS time, colour,
// wave packet, then extra bytes. Their models start afresh with every chunk.
void ChunkEncoder::EncodePointwise(const unsigned char* records, std::uint32_t count, std::vector<unsigned char>& out)
{
    Point10Encoder point;
    std::optional<GpsTime11Encoder> gpsTime;
    std::optional<Rgb12Encoder> rgb;
    std::optional<WavePacket13Encoder> wave;
    std::optional<BytesEncoder> extra;
    std::size_t gpsAt = 0, rgbAt = 0, waveAt = 0, extraAt = 0;
    std::size_t offset = 0;
    for (const Item& item : m_layout.items) {
        const unsigned char* first = records + offset;
        switch (item.type) {
        case ItemType::Point10: point.Start(first); break;
        case ItemType::GpsTime11: gpsTime.emplace().Start(first); gpsAt = offset; break;
        case ItemType::Rgb12: rgb.emplace().Start(first); rgbAt = offset; break;
        case ItemType::WavePacket13: wave.emplace().Start(first); waveAt = offset; break;
        default: extra.emplace(item.size).Start(first); extraAt = offset; break;
        }
        offset += item.size;
    }

    out.insert(out.end(), records, records + m_recordLength);
    m_stream.Start();
    const unsigned char* record = records;
    for (std::uint32_t i = 1; i < count; ++i) {
        record += m_recordLength;
        point.Encode(m_stream, record);
        if (gpsTime)
            gpsTime->Encode(m_stream, record + gpsAt);
        if (rgb)
            rgb->Encode(m_stream, record + rgbAt);
        if (wave)
            wave->Encode(m_stream, record + waveAt);
        if (extra)
            extra->Encode(m_stream, record + extraAt);
    }
    m_stream.Finish();
    out.insert(out.end(), m_stream.Bytes(), m_stream.Bytes() + m_stream.Size());
}

// The first record raw, the point count, each layer's size, then the layers' bytes.
void ChunkEncoder::EncodeLayered(const unsigned char* records, std::uint32_t count, std::vector<unsigned char>& out)
{
    m_layered->Start(records);
    const unsigned char* record = records;
    for (std::uint32_t i = 1; i < count; ++i) {
        record += m_recordLength;
        m_layered->Encode(record);
    }
    m_layerSizes.clear();
    m_layerBytes.clear();
    m_layered->FinishLayers(m_layerSizes, m_layerBytes);

    out.insert(out.end(), records, records + m_recordLength);
    AppendLE(out, count);
    for (const std::uint32_t size : m_layerSizes)
        AppendLE(out, size);
    for (std::size_t i = 0; i < m_layerSizes.size(); ++i)
        out.insert(out.end(), m_layerBytes[i], m_layerBytes[i] + m_layerSizes[i]);
}

}  // namespace laz
