#include "io/laz/LayeredItems.h"

#include "io/laz/ReturnContexts.h"

#include <cstring>

namespace laz {

// ---- Point14 ----------------------------------------------------------------------------

Point14Decoder::Context::Context(const Point& first) : last(first)
{
    last.gpsTimeChanged = false;
    lastIntensity.fill(first.intensity);
    lastZ.fill(first.z);
    gpsTimes.Start(first.gpsTime);
}

void Point14Decoder::Start(const unsigned char* first, const Layer* layers, FieldMask fields)
{
    static constexpr std::array<FieldMask, kLayers> kLayerFields = {
        kFieldXyz, kFieldXyz, kFieldClassification, kFieldFlags, kFieldIntensity,
        kFieldScanAngle, kFieldUserData, kFieldPointSource, kFieldGpsTime};
    for (std::size_t i = 0; i < kLayers; ++i)
        m_layers[i].Open(layers[i], (fields & kLayerFields[i]) != 0);
    const Point point = ParsePoint14(first);
    for (auto& context : m_contexts)
        context.reset();
    m_channel = point.channel;
    m_contexts[m_channel] = std::make_unique<Context>(point);
    m_itemContext = m_channel;
    m_gpsSequenceBroken = false;
}

bool Point14Decoder::Failed() const
{
    if (m_gpsSequenceBroken)
        return true;
    for (const LayerStream& layer : m_layers)
        if (layer.Failed())
            return true;
    return false;
}

void Point14Decoder::Decode(unsigned char* out)
{
    ArithmeticDecoder& main = m_layers[0].decoder;
    Context* c = m_contexts[m_channel].get();
    const Point& last = c->last;
    const std::uint32_t lastState = (last.returnNumber == 1 ? 1 : 0) + (last.returnNumber >= last.returnCount ? 2 : 0)
                                  + (last.gpsTimeChanged ? 4 : 0);
    const std::uint32_t changed = main.DecodeSymbol(c->changedValues[lastState]);
    m_itemContext = 0;
    if (changed & (1 << 6)) {
        const std::uint32_t step = main.DecodeSymbol(c->channelStep);
        const std::uint32_t channel = (m_channel + step + 1) % 4;
        if (!m_contexts[channel])
            m_contexts[channel] = std::make_unique<Context>(c->last);
        m_channel = channel;
        m_itemContext = channel;
        c = m_contexts[channel].get();
        c->last.channel = static_cast<std::uint8_t>(channel);
    }
    Point& p = c->last;
    const bool pointSourceChanged = changed & (1 << 5);
    const bool gpsTimeChanged = changed & (1 << 4);
    const bool scanAngleChanged = changed & (1 << 3);

    const std::uint32_t lastN = p.returnCount;
    const std::uint32_t lastR = p.returnNumber;
    std::uint32_t n = lastN;
    if (changed & (1 << 2)) {
        n = main.DecodeSymbol(c->returnCounts[lastN]);
        p.returnCount = static_cast<std::uint8_t>(n);
    }
    std::uint32_t r = lastR;
    switch (changed & 3) {
    case 0: break;
    case 1: r = (lastR + 1) % 16; break;
    case 2: r = (lastR + 15) % 16; break;
    default:
        if (gpsTimeChanged)
            r = main.DecodeSymbol(c->returnNumbers[lastR]);
        else
            r = (lastR + main.DecodeSymbol(c->returnNumberSameTime) + 2) % 16;
    }
    p.returnNumber = static_cast<std::uint8_t>(r);

    const std::uint32_t m = kReturnMap16[n][r];
    const std::uint32_t l = ReturnLevel(n, r, 7);
    const std::uint32_t cpr = (r == 1 ? 2 : 0) + (r >= n ? 1 : 0);
    const std::uint32_t medianSlot = (m << 1) | (gpsTimeChanged ? 1 : 0);

    const std::int32_t dx = c->dx.Decompress(main, c->xDiffs[medianSlot].Get(), n == 1);
    p.x = static_cast<std::int32_t>(static_cast<std::uint32_t>(p.x) + static_cast<std::uint32_t>(dx));
    c->xDiffs[medianSlot].Add(dx);
    std::uint32_t kBits = c->dx.K();
    const std::int32_t dy = c->dy.Decompress(main, c->yDiffs[medianSlot].Get(), (n == 1) + (kBits < 20 ? kBits & ~1u : 20));
    p.y = static_cast<std::int32_t>(static_cast<std::uint32_t>(p.y) + static_cast<std::uint32_t>(dy));
    c->yDiffs[medianSlot].Add(dy);

    if (m_layers[1].open) {
        kBits = (c->dx.K() + c->dy.K()) / 2;
        p.z = c->dz.Decompress(m_layers[1].decoder, c->lastZ[l], (n == 1) + (kBits < 18 ? kBits & ~1u : 18));
        c->lastZ[l] = p.z;
    }
    if (m_layers[2].open) {
        const std::uint32_t slot = ((p.classification & 0x1F) << 1) + (cpr == 3 ? 1 : 0);
        p.classification = static_cast<std::uint8_t>(m_layers[2].decoder.DecodeSymbol(c->classifications[slot]));
    }
    if (m_layers[3].open) {
        const std::uint32_t lastFlags = (p.edge << 5) | (p.scanDirection << 4) | p.classFlags;
        const std::uint32_t flags = m_layers[3].decoder.DecodeSymbol(c->flags[lastFlags]);
        p.edge = (flags >> 5) & 1;
        p.scanDirection = (flags >> 4) & 1;
        p.classFlags = flags & 0x0F;
    }
    if (m_layers[4].open) {
        const std::uint32_t slot = (cpr << 1) | (gpsTimeChanged ? 1 : 0);
        p.intensity = static_cast<std::uint16_t>(c->intensities.Decompress(m_layers[4].decoder, c->lastIntensity[slot], cpr));
        c->lastIntensity[slot] = p.intensity;
    }
    if (m_layers[5].open && scanAngleChanged)
        p.scanAngle = static_cast<std::int16_t>(c->scanAngles.Decompress(m_layers[5].decoder, p.scanAngle, gpsTimeChanged ? 1 : 0));
    if (m_layers[6].open)
        p.userData = static_cast<std::uint8_t>(m_layers[6].decoder.DecodeSymbol(c->userData[p.userData / 4]));
    if (m_layers[7].open && pointSourceChanged)
        p.pointSource = static_cast<std::uint16_t>(c->pointSources.Decompress(m_layers[7].decoder, p.pointSource));
    if (m_layers[8].open && gpsTimeChanged) {
        if (!c->gpsTimes.Decode(m_layers[8].decoder))
            m_gpsSequenceBroken = true;
        p.gpsTime = c->gpsTimes.Current();
    }
    StorePoint14(p, out);
    p.gpsTimeChanged = gpsTimeChanged;
}

// ---- RGB and NIR --------------------------------------------------------------------------

void Rgb14Decoder::Start(const unsigned char* first, const Layer* layers, FieldMask fields, std::uint32_t context)
{
    m_rgbStream.Open(layers[0], (fields & kFieldRgb) != 0);
    if (m_withNir)
        m_nirStream.Open(layers[1], (fields & kFieldNir) != 0);
    Colour colour;
    for (std::size_t i = 0; i < 3; ++i)
        colour.rgb[i] = LoadLE<std::uint16_t>(first + 2 * i);
    if (m_withNir)
        colour.nir = LoadLE<std::uint16_t>(first + 6);
    m_values.Start(colour, context);
}

void Rgb14Decoder::Decode(unsigned char* out, std::uint32_t context)
{
    auto [last, models] = m_values.Select(context);
    if (m_rgbStream.open)
        last.rgb = models.rgb.Decode(m_rgbStream.decoder, last.rgb);
    if (m_withNir && m_nirStream.open)
        last.nir = models.nir.Decode(m_nirStream.decoder, last.nir);
    for (std::size_t i = 0; i < 3; ++i)
        StoreLE(out + 2 * i, last.rgb[i]);
    if (m_withNir)
        StoreLE(out + 6, last.nir);
}

// ---- Extra bytes -------------------------------------------------------------------------

void Bytes14Decoder::Start(const unsigned char* first, const Layer* layers, FieldMask fields, std::uint32_t context)
{
    for (std::size_t i = 0; i < m_count; ++i)
        m_streams[i].Open(layers[i], (fields & kFieldExtraBytes) != 0);
    m_values.Start(std::vector<std::uint8_t>(first, first + m_count), context);
}

void Bytes14Decoder::Decode(unsigned char* out, std::uint32_t context)
{
    auto [last, models] = m_values.Select(context);
    if (models.perByte.empty())
        models.perByte.assign(m_count, SymbolModel(256));
    for (std::size_t i = 0; i < m_count; ++i) {
        if (m_streams[i].open)
            last[i] = static_cast<std::uint8_t>(last[i] + m_streams[i].decoder.DecodeSymbol(models.perByte[i]));
        out[i] = last[i];
    }
}

bool Bytes14Decoder::Failed() const
{
    for (const LayerStream& stream : m_streams)
        if (stream.Failed())
            return true;
    return false;
}

// ---- Wave packets ------------------------------------------------------------------------

void WavePacket14Decoder::Start(const unsigned char* first, const Layer* layers, FieldMask fields, std::uint32_t context)
{
    m_stream.Open(layers[0], (fields & kFieldWavePacket) != 0);
    WavePacketDecoder::Packet packet;
    std::memcpy(packet.data(), first, kSize);
    m_values.Start(packet, context);
}

void WavePacket14Decoder::Decode(unsigned char* out, std::uint32_t context)
{
    auto [last, models] = m_values.Select(context);
    if (m_stream.open)
        models.Decode(m_stream.decoder, last);
    std::memcpy(out, last.data(), kSize);
}

}  // namespace laz
