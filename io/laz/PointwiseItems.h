#pragma once

#include "io/core/LittleEndian.h"
#include "io/laz/ArithmeticDecoder.h"
#include "io/laz/GpsTimeDecoder.h"
#include "io/laz/IntegerDecompressor.h"
#include "io/laz/ReturnContexts.h"
#include "io/laz/RgbDecoder.h"
#include "io/laz/StreamingMedian.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

// Item decoders of the point-wise formats (version 2 of each item). Each starts from the
// chunk's first record, stored raw, and decodes every later record from one shared stream.
namespace laz {

// A 256-symbol model per previous byte value, made when first needed.
class ModelPerByte {
public:
    SymbolModel& For(std::uint8_t previous)
    {
        std::unique_ptr<SymbolModel>& model = m_models[previous];
        if (!model)
            model = std::make_unique<SymbolModel>(256);
        return *model;
    }

private:
    std::array<std::unique_ptr<SymbolModel>, 256> m_models;
};

// The 20-byte core of formats 0 to 5.
class Point10Decoder {
public:
    static constexpr std::size_t kSize = 20;

    void Start(const unsigned char* first)
    {
        m_x = LoadLE<std::int32_t>(first);
        m_y = LoadLE<std::int32_t>(first + 4);
        m_z = LoadLE<std::int32_t>(first + 8);
        m_intensity = 0;  // the format predicts the first intensities from zero
        m_returnByte = first[14];
        m_classification = first[15];
        m_scanAngle = first[16];
        m_userData = first[17];
        m_pointSource = LoadLE<std::uint16_t>(first + 18);
    }

    void Decode(ArithmeticDecoder& decoder, unsigned char* out)
    {
        const std::uint32_t changed = decoder.DecodeSymbol(m_changedValues);
        if (changed & 32)
            m_returnByte = static_cast<std::uint8_t>(decoder.DecodeSymbol(m_returnBytes.For(m_returnByte)));
        const std::uint32_t r = m_returnByte & 7;
        const std::uint32_t n = (m_returnByte >> 3) & 7;
        const std::uint32_t m = kReturnMap8[n][r];
        const std::uint32_t l = ReturnLevel(n, r, 7);
        if (changed) {
            if (changed & 16) {
                m_intensity = static_cast<std::uint16_t>(m_intensities.Decompress(decoder, m_lastIntensity[m], m < 3 ? m : 3));
                m_lastIntensity[m] = m_intensity;
            } else {
                m_intensity = m_lastIntensity[m];
            }
            if (changed & 8)
                m_classification = static_cast<std::uint8_t>(decoder.DecodeSymbol(m_classifications.For(m_classification)));
            if (changed & 4) {
                const std::uint32_t delta = decoder.DecodeSymbol(m_scanAngles[(m_returnByte >> 6) & 1]);
                m_scanAngle = static_cast<std::uint8_t>(delta + m_scanAngle);
            }
            if (changed & 2)
                m_userData = static_cast<std::uint8_t>(decoder.DecodeSymbol(m_userDatas.For(m_userData)));
            if (changed & 1)
                m_pointSource = static_cast<std::uint16_t>(m_pointSources.Decompress(decoder, m_pointSource));
        }

        const std::int32_t dx = m_dx.Decompress(decoder, m_xDiffs[m].Get(), n == 1);
        m_x = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_x) + static_cast<std::uint32_t>(dx));
        m_xDiffs[m].Add(dx);
        std::uint32_t kBits = m_dx.K();
        const std::int32_t dy = m_dy.Decompress(decoder, m_yDiffs[m].Get(), (n == 1) + (kBits < 20 ? kBits & ~1u : 20));
        m_y = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_y) + static_cast<std::uint32_t>(dy));
        m_yDiffs[m].Add(dy);
        kBits = (m_dx.K() + m_dy.K()) / 2;
        m_z = m_dz.Decompress(decoder, m_lastHeight[l], (n == 1) + (kBits < 18 ? kBits & ~1u : 18));
        m_lastHeight[l] = m_z;

        StoreLE(out, m_x);
        StoreLE(out + 4, m_y);
        StoreLE(out + 8, m_z);
        StoreLE(out + 12, m_intensity);
        out[14] = m_returnByte;
        out[15] = m_classification;
        out[16] = m_scanAngle;
        out[17] = m_userData;
        StoreLE(out + 18, m_pointSource);
    }

private:
    std::int32_t m_x = 0, m_y = 0, m_z = 0;
    std::uint16_t m_intensity = 0;
    std::uint8_t m_returnByte = 0, m_classification = 0, m_scanAngle = 0, m_userData = 0;
    std::uint16_t m_pointSource = 0;

    std::array<StreamingMedian5, 16> m_xDiffs{};
    std::array<StreamingMedian5, 16> m_yDiffs{};
    std::array<std::uint16_t, 16> m_lastIntensity{};
    std::array<std::int32_t, 8> m_lastHeight{};

    SymbolModel m_changedValues{64};
    IntegerDecompressor m_intensities{16, 4};
    std::array<SymbolModel, 2> m_scanAngles{SymbolModel(256), SymbolModel(256)};
    IntegerDecompressor m_pointSources{16};
    ModelPerByte m_returnBytes, m_classifications, m_userDatas;
    IntegerDecompressor m_dx{32, 2};
    IntegerDecompressor m_dy{32, 22};
    IntegerDecompressor m_dz{32, 20};
};

class GpsTime11Decoder {
public:
    static constexpr std::size_t kSize = 8;

    void Start(const unsigned char* first) { m_times.Start(LoadLE<std::uint64_t>(first)); }

    bool Decode(ArithmeticDecoder& decoder, unsigned char* out)
    {
        const bool ok = m_times.Decode(decoder);
        StoreLE(out, m_times.Current());
        return ok;
    }

private:
    GpsTimeDecoder m_times{GpsTimeDecoder::Codes::PointWise};
};

class Rgb12Decoder {
public:
    static constexpr std::size_t kSize = 6;

    void Start(const unsigned char* first)
    {
        for (std::size_t i = 0; i < 3; ++i)
            m_last[i] = LoadLE<std::uint16_t>(first + 2 * i);
    }

    void Decode(ArithmeticDecoder& decoder, unsigned char* out)
    {
        m_last = m_rgb.Decode(decoder, m_last);
        for (std::size_t i = 0; i < 3; ++i)
            StoreLE(out + 2 * i, m_last[i]);
    }

private:
    RgbDecoder m_rgb;
    RgbDecoder::Rgb m_last{};
};

// Extra bytes: each byte a modelled correction to the same byte of the last record.
class BytesDecoder {
public:
    explicit BytesDecoder(std::size_t count) : m_last(count), m_models(count, SymbolModel(256)) {}

    std::size_t Size() const { return m_last.size(); }

    void Start(const unsigned char* first) { std::memcpy(m_last.data(), first, m_last.size()); }

    void Decode(ArithmeticDecoder& decoder, unsigned char* out)
    {
        for (std::size_t i = 0; i < m_last.size(); ++i) {
            m_last[i] = static_cast<std::uint8_t>(m_last[i] + decoder.DecodeSymbol(m_models[i]));
            out[i] = m_last[i];
        }
    }

private:
    std::vector<std::uint8_t> m_last;
    std::vector<SymbolModel> m_models;
};

}  // namespace laz
