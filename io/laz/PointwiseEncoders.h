#pragma once

#include "io/core/LittleEndian.h"
#include "io/laz/ArithmeticEncoder.h"
#include "io/laz/GpsTimeEncoder.h"
#include "io/laz/IntegerCompressor.h"
#include "io/laz/ReturnContexts.h"
#include "io/laz/RgbEncoder.h"
#include "io/laz/StreamingMedian.h"
#include "io/laz/WavePacketEncoder.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

// Item encoders of the point-wise formats (version 2 of each item, version 1 of wave packets),
// the inverses of the decoders in PointwiseItems.h. Each starts from the chunk's first
// record, which the chunk stores raw, and codes every later record into one shared stream.
namespace laz {

// The 20-byte core of formats 0 to 5.
class Point10Encoder {
public:
    static constexpr std::size_t kSize = 20;

    void Start(const unsigned char* first) { std::memcpy(m_last.data(), first, kSize); }

    void Encode(ArithmeticEncoder& encoder, const unsigned char* item)
    {
        const unsigned char* last = m_last.data();
        const std::uint32_t r = item[14] & 7;
        const std::uint32_t n = (item[14] >> 3) & 7;
        const std::uint32_t m = kReturnMap8[n][r];
        const std::uint32_t l = ReturnLevel(n, r, 7);
        const auto intensity = LoadLE<std::uint16_t>(item + 12);
        const auto pointSource = LoadLE<std::uint16_t>(item + 18);
        const auto lastPointSource = LoadLE<std::uint16_t>(last + 18);

        const std::uint32_t changed = (last[14] != item[14] ? 32u : 0u) | (m_lastIntensity[m] != intensity ? 16u : 0u)
                                    | (last[15] != item[15] ? 8u : 0u) | (last[16] != item[16] ? 4u : 0u)
                                    | (last[17] != item[17] ? 2u : 0u) | (lastPointSource != pointSource ? 1u : 0u);
        encoder.EncodeSymbol(m_changedValues, changed);
        if (changed & 32)
            encoder.EncodeSymbol(m_returnBytes[last[14]], item[14]);
        if (changed & 16) {
            m_intensities.Compress(encoder, m_lastIntensity[m], intensity, m < 3 ? m : 3);
            m_lastIntensity[m] = intensity;
        }
        if (changed & 8)
            encoder.EncodeSymbol(m_classifications[last[15]], item[15]);
        if (changed & 4)
            encoder.EncodeSymbol(m_scanAngles[(item[14] >> 6) & 1], static_cast<std::uint8_t>(item[16] - last[16]));
        if (changed & 2)
            encoder.EncodeSymbol(m_userDatas[last[17]], item[17]);
        if (changed & 1)
            m_pointSources.Compress(encoder, lastPointSource, pointSource);

        const std::int32_t dx = Difference(item, last, 0);
        m_dx.Compress(encoder, m_xDiffs[m].Get(), dx, n == 1);
        m_xDiffs[m].Add(dx);
        std::uint32_t kBits = m_dx.K();
        const std::int32_t dy = Difference(item, last, 4);
        m_dy.Compress(encoder, m_yDiffs[m].Get(), dy, (n == 1) + (kBits < 20 ? kBits & ~1u : 20));
        m_yDiffs[m].Add(dy);
        kBits = (m_dx.K() + m_dy.K()) / 2;
        const auto z = LoadLE<std::int32_t>(item + 8);
        m_dz.Compress(encoder, m_lastHeight[l], z, (n == 1) + (kBits < 18 ? kBits & ~1u : 18));
        m_lastHeight[l] = z;

        std::memcpy(m_last.data(), item, kSize);
    }

private:
    // A coordinate's change from the last record, wrapping like the 32-bit field.
    static std::int32_t Difference(const unsigned char* item, const unsigned char* last, std::size_t at)
    {
        return static_cast<std::int32_t>(LoadLE<std::uint32_t>(item + at) - LoadLE<std::uint32_t>(last + at));
    }

    std::array<unsigned char, kSize> m_last{};
    std::array<StreamingMedian5, 16> m_xDiffs{};
    std::array<StreamingMedian5, 16> m_yDiffs{};
    std::array<std::uint16_t, 16> m_lastIntensity{};  // the format predicts the first intensities from zero
    std::array<std::int32_t, 8> m_lastHeight{};

    SymbolModel m_changedValues{64, false};
    IntegerCompressor m_intensities{16, 4};
    std::array<SymbolModel, 2> m_scanAngles{SymbolModel(256, false), SymbolModel(256, false)};
    IntegerCompressor m_pointSources{16};
    LazyModels<256> m_returnBytes{256, false}, m_classifications{256, false}, m_userDatas{256, false};
    IntegerCompressor m_dx{32, 2};
    IntegerCompressor m_dy{32, 22};
    IntegerCompressor m_dz{32, 20};
};

class GpsTime11Encoder {
public:
    static constexpr std::size_t kSize = 8;

    void Start(const unsigned char* first) { m_times.Start(LoadLE<std::uint64_t>(first)); }
    void Encode(ArithmeticEncoder& encoder, const unsigned char* item) { m_times.Encode(encoder, LoadLE<std::uint64_t>(item)); }

private:
    GpsTimeEncoder m_times{GpsTimeEncoder::Codes::PointWise};
};

class Rgb12Encoder {
public:
    static constexpr std::size_t kSize = 6;

    void Start(const unsigned char* first) { m_last = Load(first); }

    void Encode(ArithmeticEncoder& encoder, const unsigned char* item)
    {
        const RgbEncoder::Rgb rgb = Load(item);
        m_rgb.Encode(encoder, m_last, rgb);
        m_last = rgb;
    }

private:
    static RgbEncoder::Rgb Load(const unsigned char* item)
    {
        return {LoadLE<std::uint16_t>(item), LoadLE<std::uint16_t>(item + 2), LoadLE<std::uint16_t>(item + 4)};
    }

    RgbEncoder m_rgb;
    RgbEncoder::Rgb m_last{};
};

class WavePacket13Encoder {
public:
    static constexpr std::size_t kSize = WavePacketEncoder::kSize;

    void Start(const unsigned char* first) { std::memcpy(m_last.data(), first, kSize); }

    void Encode(ArithmeticEncoder& encoder, const unsigned char* item)
    {
        m_packets.Encode(encoder, m_last.data(), item);
        std::memcpy(m_last.data(), item, kSize);
    }

private:
    WavePacketEncoder m_packets;
    std::array<unsigned char, kSize> m_last{};
};

// Extra bytes: each byte a modelled correction to the same byte of the last record.
class BytesEncoder {
public:
    explicit BytesEncoder(std::size_t count) : m_last(count), m_models(count, SymbolModel(256, false)) {}

    void Start(const unsigned char* first) { std::memcpy(m_last.data(), first, m_last.size()); }

    void Encode(ArithmeticEncoder& encoder, const unsigned char* item)
    {
        for (std::size_t i = 0; i < m_last.size(); ++i)
            encoder.EncodeSymbol(m_models[i], static_cast<std::uint8_t>(item[i] - m_last[i]));
        std::memcpy(m_last.data(), item, m_last.size());
    }

private:
    std::vector<std::uint8_t> m_last;
    std::vector<SymbolModel> m_models;
};

}  // namespace laz
