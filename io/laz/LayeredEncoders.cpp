#include "io/laz/LayeredEncoders.h"

#include "io/laz/ReturnContexts.h"

#include <bit>
#include <cstring>

namespace laz {
namespace {

// The format's encoder compares times as doubles: a NaN always counts as changed. Where it
// would call 0 and -0 the same, the bits decide here, or the sign would be lost.
bool TimeChanged(std::uint64_t time, std::uint64_t last)
{
    return time != last || std::bit_cast<double>(time) != std::bit_cast<double>(last);
}

void AddLayer(LayerEncoder& layer, bool alwaysKept, std::vector<std::uint32_t>& sizes,
              std::vector<const unsigned char*>& bytes)
{
    sizes.push_back(static_cast<std::uint32_t>(layer.Finish(alwaysKept)));
    bytes.push_back(layer.encoder.Bytes());
}

}  // namespace

// ---- Point14 ----------------------------------------------------------------------------

Point14Encoder::Context::Context(const Point& first) : last(first)
{
    last.gpsTimeChanged = false;
    lastIntensity.fill(first.intensity);
    lastZ.fill(first.z);
    gpsTimes.Start(first.gpsTime);
}

void Point14Encoder::Start(const unsigned char* first)
{
    for (LayerEncoder& layer : m_layers)
        layer.Start();
    const Point point = ParsePoint14(first);
    for (auto& context : m_contexts)
        context.reset();
    m_channel = point.channel;
    m_contexts[m_channel] = std::make_unique<Context>(point);
    m_itemContext = m_channel;
}

void Point14Encoder::Encode(const unsigned char* raw)
{
    const Point item = ParsePoint14(raw);
    Context* c = m_contexts[m_channel].get();
    const std::uint32_t lastState = (c->last.returnNumber == 1 ? 1 : 0) + (c->last.returnNumber >= c->last.returnCount ? 2 : 0)
                                  + (c->last.gpsTimeChanged ? 4 : 0);
    // A record on another channel is told apart from that channel's last record, if it has one.
    const std::uint32_t channel = item.channel;
    const bool channelChanged = channel != m_channel;
    const Point& last = channelChanged && m_contexts[channel] ? m_contexts[channel]->last : c->last;

    const bool pointSourceChanged = item.pointSource != last.pointSource;
    const bool gpsTimeChanged = TimeChanged(item.gpsTime, last.gpsTime);
    const bool scanAngleChanged = item.scanAngle != last.scanAngle;
    const std::uint32_t n = item.returnCount;
    const std::uint32_t r = item.returnNumber;
    const std::uint32_t lastN = last.returnCount;
    const std::uint32_t lastR = last.returnNumber;
    std::uint32_t returnStep = 0;
    if (r != lastR)
        returnStep = r == (lastR + 1) % 16 ? 1 : (r == (lastR + 15) % 16 ? 2 : 3);
    const std::uint32_t changed = (channelChanged ? 1u << 6 : 0) | (pointSourceChanged ? 1u << 5 : 0)
                                | (gpsTimeChanged ? 1u << 4 : 0) | (scanAngleChanged ? 1u << 3 : 0) | (n != lastN ? 1u << 2 : 0)
                                | returnStep;

    ArithmeticEncoder& main = m_layers[0].encoder;
    main.EncodeSymbol(c->changedValues[lastState], changed);
    m_itemContext = 0;
    if (channelChanged) {
        main.EncodeSymbol(c->channelStep, ((channel + 4 - m_channel) & 3) - 1);
        if (!m_contexts[channel])
            m_contexts[channel] = std::make_unique<Context>(c->last);
        m_channel = channel;
        m_itemContext = channel;
        c = m_contexts[channel].get();
    }
    Point& p = c->last;

    if (changed & (1 << 2))
        main.EncodeSymbol(c->returnCounts[lastN], n);
    if (returnStep == 3) {
        if (gpsTimeChanged)
            main.EncodeSymbol(c->returnNumbers[lastR], r);
        else
            main.EncodeSymbol(c->returnNumberSameTime, (r + 16 - lastR - 2) % 16);
    }

    const std::uint32_t m = kReturnMap16[n][r];
    const std::uint32_t l = ReturnLevel(n, r, 7);
    const std::uint32_t cpr = (r == 1 ? 2 : 0) + (r >= n ? 1 : 0);
    const std::uint32_t medianSlot = (m << 1) | (gpsTimeChanged ? 1 : 0);

    const auto dx = static_cast<std::int32_t>(static_cast<std::uint32_t>(item.x) - static_cast<std::uint32_t>(p.x));
    c->dx.Compress(main, c->xDiffs[medianSlot].Get(), dx, n == 1);
    c->xDiffs[medianSlot].Add(dx);
    std::uint32_t kBits = c->dx.K();
    const auto dy = static_cast<std::int32_t>(static_cast<std::uint32_t>(item.y) - static_cast<std::uint32_t>(p.y));
    c->dy.Compress(main, c->yDiffs[medianSlot].Get(), dy, (n == 1) + (kBits < 20 ? kBits & ~1u : 20));
    c->yDiffs[medianSlot].Add(dy);

    kBits = (c->dx.K() + c->dy.K()) / 2;
    c->dz.Compress(m_layers[1].encoder, c->lastZ[l], item.z, (n == 1) + (kBits < 18 ? kBits & ~1u : 18));
    c->lastZ[l] = item.z;

    LayerEncoder& classLayer = m_layers[2];
    classLayer.changed |= item.classification != p.classification;
    const std::uint32_t classSlot = ((p.classification & 0x1F) << 1) + (cpr == 3 ? 1 : 0);
    classLayer.encoder.EncodeSymbol(c->classifications[classSlot], item.classification);

    LayerEncoder& flagLayer = m_layers[3];
    const std::uint32_t lastFlags = (p.edge << 5) | (p.scanDirection << 4) | p.classFlags;
    const std::uint32_t flags = (item.edge << 5) | (item.scanDirection << 4) | item.classFlags;
    flagLayer.changed |= flags != lastFlags;
    flagLayer.encoder.EncodeSymbol(c->flags[lastFlags], flags);

    LayerEncoder& intensityLayer = m_layers[4];
    intensityLayer.changed |= item.intensity != p.intensity;
    const std::uint32_t intensitySlot = (cpr << 1) | (gpsTimeChanged ? 1 : 0);
    c->intensities.Compress(intensityLayer.encoder, c->lastIntensity[intensitySlot], item.intensity, cpr);
    c->lastIntensity[intensitySlot] = item.intensity;

    if (scanAngleChanged) {
        m_layers[5].changed = true;
        c->scanAngles.Compress(m_layers[5].encoder, p.scanAngle, item.scanAngle, gpsTimeChanged ? 1 : 0);
    }

    LayerEncoder& userLayer = m_layers[6];
    userLayer.changed |= item.userData != p.userData;
    userLayer.encoder.EncodeSymbol(c->userData[p.userData / 4], item.userData);

    if (pointSourceChanged) {
        m_layers[7].changed = true;
        c->pointSources.Compress(m_layers[7].encoder, p.pointSource, item.pointSource);
    }
    if (gpsTimeChanged) {
        m_layers[8].changed = true;
        c->gpsTimes.Encode(m_layers[8].encoder, item.gpsTime);
    }
    p = item;
    p.gpsTimeChanged = gpsTimeChanged;
}

void Point14Encoder::FinishLayers(std::vector<std::uint32_t>& sizes, std::vector<const unsigned char*>& bytes)
{
    for (std::size_t i = 0; i < kLayers; ++i)
        AddLayer(m_layers[i], i < 2, sizes, bytes);
}

// ---- RGB and NIR --------------------------------------------------------------------------

Rgb14Encoder::Colour Rgb14Encoder::Load(const unsigned char* item, bool withNir)
{
    Colour colour;
    for (std::size_t i = 0; i < 3; ++i)
        colour.rgb[i] = LoadLE<std::uint16_t>(item + 2 * i);
    if (withNir)
        colour.nir = LoadLE<std::uint16_t>(item + 6);
    return colour;
}

void Rgb14Encoder::Start(const unsigned char* first, std::uint32_t context)
{
    m_rgbLayer.Start();
    m_nirLayer.Start();
    m_values.Start(Load(first, m_withNir), context);
}

void Rgb14Encoder::Encode(const unsigned char* item, std::uint32_t context)
{
    auto [last, models] = m_values.Select(context);
    const Colour colour = Load(item, m_withNir);
    if (models.rgb.Encode(m_rgbLayer.encoder, last.rgb, colour.rgb))
        m_rgbLayer.changed = true;
    if (m_withNir && models.nir.Encode(m_nirLayer.encoder, last.nir, colour.nir))
        m_nirLayer.changed = true;
    last = colour;
}

void Rgb14Encoder::FinishLayers(std::vector<std::uint32_t>& sizes, std::vector<const unsigned char*>& bytes)
{
    AddLayer(m_rgbLayer, false, sizes, bytes);
    if (m_withNir)
        AddLayer(m_nirLayer, false, sizes, bytes);
}

// ---- Extra bytes -------------------------------------------------------------------------

void Bytes14Encoder::Start(const unsigned char* first, std::uint32_t context)
{
    for (LayerEncoder& layer : m_layers)
        layer.Start();
    m_values.Start(std::vector<std::uint8_t>(first, first + m_count), context);
}

void Bytes14Encoder::Encode(const unsigned char* item, std::uint32_t context)
{
    auto [last, models] = m_values.Select(context);
    if (models.perByte.empty())
        models.perByte.assign(m_count, SymbolModel(256, false));
    for (std::size_t i = 0; i < m_count; ++i) {
        const auto diff = static_cast<std::uint8_t>(item[i] - last[i]);
        m_layers[i].encoder.EncodeSymbol(models.perByte[i], diff);
        m_layers[i].changed |= diff != 0;
        last[i] = item[i];
    }
}

void Bytes14Encoder::FinishLayers(std::vector<std::uint32_t>& sizes, std::vector<const unsigned char*>& bytes)
{
    for (LayerEncoder& layer : m_layers)
        AddLayer(layer, false, sizes, bytes);
}

// ---- Wave packets ------------------------------------------------------------------------

void WavePacket14Encoder::Start(const unsigned char* first, std::uint32_t context)
{
    m_layer.Start();
    Packet packet;
    std::memcpy(packet.data(), first, kSize);
    m_values.Start(packet, context);
}

void WavePacket14Encoder::Encode(const unsigned char* item, std::uint32_t context)
{
    auto [last, models] = m_values.Select(context);
    m_layer.changed |= std::memcmp(item, last.data(), kSize) != 0;
    models.Encode(m_layer.encoder, last.data(), item);
    std::memcpy(last.data(), item, kSize);
}

void WavePacket14Encoder::FinishLayers(std::vector<std::uint32_t>& sizes, std::vector<const unsigned char*>& bytes)
{
    AddLayer(m_layer, false, sizes, bytes);
}

}  // namespace laz
