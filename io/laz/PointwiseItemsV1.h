#pragma once

#include "io/laz/ArithmeticDecoder.h"
#include "io/laz/IntegerDecompressor.h"
#include "io/laz/PointwiseItems.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

// Item decoders of the first point-wise version (LASzip 1.x): simpler predictions than
// version 2, fields as corrections to the last record.
namespace laz {

class Point10V1Decoder {
public:
    void Start(const unsigned char* first)
    {
        std::memcpy(m_last.data(), first, m_last.size());
        m_xDiffs = {};
        m_yDiffs = {};
        m_next = 0;
    }

    void Decode(ArithmeticDecoder& decoder, unsigned char* out)
    {
        unsigned char* last = m_last.data();
        const std::int32_t dx = m_dx.Decompress(decoder, MedianOf3(m_xDiffs));
        StoreLE(last, static_cast<std::int32_t>(static_cast<std::uint32_t>(LoadLE<std::int32_t>(last)) + static_cast<std::uint32_t>(dx)));
        std::uint32_t kBits = m_dx.K();
        const std::int32_t dy = m_dy.Decompress(decoder, MedianOf3(m_yDiffs), std::min(kBits, 19u));
        StoreLE(last + 4, static_cast<std::int32_t>(static_cast<std::uint32_t>(LoadLE<std::int32_t>(last + 4)) + static_cast<std::uint32_t>(dy)));
        kBits = (kBits + m_dy.K()) / 2;
        StoreLE(last + 8, m_dz.Decompress(decoder, LoadLE<std::int32_t>(last + 8), std::min(kBits, 19u)));

        const std::uint32_t changed = decoder.DecodeSymbol(m_changedValues);
        if (changed & 32)
            StoreLE(last + 12, static_cast<std::uint16_t>(m_intensities.Decompress(decoder, LoadLE<std::uint16_t>(last + 12))));
        if (changed & 16)
            last[14] = static_cast<std::uint8_t>(decoder.DecodeSymbol(m_returnBytes.For(last[14])));
        if (changed & 8)
            last[15] = static_cast<std::uint8_t>(decoder.DecodeSymbol(m_classifications.For(last[15])));
        if (changed & 4)
            last[16] = static_cast<std::uint8_t>(m_scanAngles.Decompress(decoder, last[16], kBits < 3));
        if (changed & 2)
            last[17] = static_cast<std::uint8_t>(decoder.DecodeSymbol(m_userDatas.For(last[17])));
        if (changed & 1)
            StoreLE(last + 18, static_cast<std::uint16_t>(m_pointSources.Decompress(decoder, LoadLE<std::uint16_t>(last + 18))));

        m_xDiffs[m_next] = dx;
        m_yDiffs[m_next] = dy;
        m_next = (m_next + 1) % 3;
        std::memcpy(out, last, m_last.size());
    }

private:
    static std::int32_t MedianOf3(const std::array<std::int32_t, 3>& v)
    {
        return std::max(std::min(v[0], v[1]), std::min(std::max(v[0], v[1]), v[2]));
    }

    std::array<unsigned char, 20> m_last{};
    std::array<std::int32_t, 3> m_xDiffs{};
    std::array<std::int32_t, 3> m_yDiffs{};
    std::uint32_t m_next = 0;

    IntegerDecompressor m_dx{32};
    IntegerDecompressor m_dy{32, 20};
    IntegerDecompressor m_dz{32, 20};
    IntegerDecompressor m_intensities{16};
    IntegerDecompressor m_scanAngles{8, 2};
    IntegerDecompressor m_pointSources{16};
    SymbolModel m_changedValues{64};
    ModelPerByte m_returnBytes, m_classifications, m_userDatas;
};

class GpsTime11V1Decoder {
public:
    void Start(const unsigned char* first)
    {
        m_time = LoadLE<std::uint64_t>(first);
        m_lastDiff = 0;
        m_extremeCount = 0;
    }

    bool Decode(ArithmeticDecoder& decoder, unsigned char* out)
    {
        if (m_lastDiff == 0) {
            const std::uint32_t code = decoder.DecodeSymbol(m_zeroDiff);
            if (code == 1) {
                m_lastDiff = m_integers.Decompress(decoder, 0, 0);
                Advance(m_lastDiff);
            } else if (code == 2) {
                ReadFull(decoder);
            }
        } else {
            const auto multi = static_cast<std::int32_t>(decoder.DecodeSymbol(m_multi));
            if (multi < kMultiMax - 2) {
                std::int32_t diff;
                if (multi == 1) {
                    diff = m_lastDiff = m_integers.Decompress(decoder, m_lastDiff, 1);
                    m_extremeCount = 0;
                } else if (multi == 0) {
                    diff = m_integers.Decompress(decoder, m_lastDiff / 4, 2);
                    CountExtreme(diff);
                } else {
                    diff = m_integers.Decompress(decoder, Times(multi, m_lastDiff), multi < 10 ? 3 : multi < 50 ? 4 : 5);
                    if (multi == kMultiMax - 3)
                        CountExtreme(diff);
                }
                Advance(diff);
            } else if (multi == kMultiMax - 2) {
                ReadFull(decoder);
            }
        }
        StoreLE(out, m_time);
        return true;
    }

private:
    static constexpr std::int32_t kMultiMax = 512;

    static std::int32_t Times(std::int32_t factor, std::int32_t diff)
    {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(factor) * static_cast<std::uint32_t>(diff));
    }
    void Advance(std::int32_t diff) { m_time += static_cast<std::uint64_t>(static_cast<std::int64_t>(diff)); }
    void CountExtreme(std::int32_t diff)
    {
        if (++m_extremeCount > 3) {
            m_lastDiff = diff;
            m_extremeCount = 0;
        }
    }
    void ReadFull(ArithmeticDecoder& decoder)
    {
        const std::uint64_t low = decoder.ReadInt();
        m_time = (std::uint64_t{decoder.ReadInt()} << 32) | low;
    }

    std::uint64_t m_time = 0;
    std::int32_t m_lastDiff = 0;
    std::int32_t m_extremeCount = 0;
    SymbolModel m_multi{kMultiMax};
    SymbolModel m_zeroDiff{3};
    IntegerDecompressor m_integers{32, 6};
};

class Rgb12V1Decoder {
public:
    void Start(const unsigned char* first) { std::memcpy(m_last.data(), first, m_last.size()); }

    void Decode(ArithmeticDecoder& decoder, unsigned char* out)
    {
        const std::uint32_t used = decoder.DecodeSymbol(m_usedBytes);
        // Bytes in record order (red low, red high, green low, ...), each its own context.
        for (std::uint32_t i = 0; i < 6; ++i)
            if (used & (1u << i))
                m_last[i] = static_cast<std::uint8_t>(m_integers.Decompress(decoder, m_last[i], i));
        std::memcpy(out, m_last.data(), m_last.size());
    }

private:
    std::array<std::uint8_t, 6> m_last{};
    SymbolModel m_usedBytes{64};
    IntegerDecompressor m_integers{8, 6};
};

class BytesV1Decoder {
public:
    explicit BytesV1Decoder(std::size_t count) : m_last(count), m_integers(8, static_cast<std::uint32_t>(count)) {}

    void Start(const unsigned char* first) { std::memcpy(m_last.data(), first, m_last.size()); }

    void Decode(ArithmeticDecoder& decoder, unsigned char* out)
    {
        for (std::size_t i = 0; i < m_last.size(); ++i)
            m_last[i] = static_cast<std::uint8_t>(m_integers.Decompress(decoder, m_last[i], static_cast<std::uint32_t>(i)));
        std::memcpy(out, m_last.data(), m_last.size());
    }

private:
    std::vector<std::uint8_t> m_last;
    IntegerDecompressor m_integers;
};

}  // namespace laz
