#pragma once

#include "io/laz/ArithmeticEncoder.h"
#include "io/laz/RgbDecoder.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace laz {

// Red, green and blue as corrections to the previous colour, the inverse of RgbDecoder.
class RgbEncoder {
public:
    using Rgb = RgbDecoder::Rgb;

    // False when the colour equals the last one (nothing but "no byte changed" was coded).
    bool Encode(ArithmeticEncoder& encoder, const Rgb& last, const Rgb& rgb)
    {
        std::uint32_t used = 0;
        for (std::uint32_t i = 0; i < 3; ++i) {
            used |= (Low(last[i]) != Low(rgb[i]) ? 1u : 0u) << (2 * i);
            used |= (High(last[i]) != High(rgb[i]) ? 2u : 0u) << (2 * i);
        }
        const bool coloured = Low(rgb[0]) != Low(rgb[1]) || Low(rgb[0]) != Low(rgb[2]) || High(rgb[0]) != High(rgb[1])
                           || High(rgb[0]) != High(rgb[2]);
        used |= (coloured ? 1u : 0u) << 6;
        encoder.EncodeSymbol(m_usedBytes, used);

        std::int32_t lowDiff = 0;
        std::int32_t highDiff = 0;
        if (used & 1) {
            lowDiff = Low(rgb[0]) - Low(last[0]);
            Put(encoder, 0, lowDiff);
        }
        if (used & 2) {
            highDiff = High(rgb[0]) - High(last[0]);
            Put(encoder, 1, highDiff);
        }
        if (coloured) {
            if (used & 4)
                Put(encoder, 2, Low(rgb[1]) - Clamp(lowDiff + Low(last[1])));
            if (used & 16) {
                lowDiff = (lowDiff + Low(rgb[1]) - Low(last[1])) / 2;
                Put(encoder, 4, Low(rgb[2]) - Clamp(lowDiff + Low(last[2])));
            }
            if (used & 8)
                Put(encoder, 3, High(rgb[1]) - Clamp(highDiff + High(last[1])));
            if (used & 32) {
                highDiff = (highDiff + High(rgb[1]) - High(last[1])) / 2;
                Put(encoder, 5, High(rgb[2]) - Clamp(highDiff + High(last[2])));
            }
        }
        return used != 0;
    }

private:
    static std::int32_t Low(std::uint16_t v) { return v & 0xFF; }
    static std::int32_t High(std::uint16_t v) { return v >> 8; }
    static std::int32_t Clamp(std::int32_t v) { return std::clamp(v, 0, 255); }

    // A byte's correction modulo 256.
    void Put(ArithmeticEncoder& encoder, int model, std::int32_t correction)
    {
        encoder.EncodeSymbol(m_diffs[model], static_cast<std::uint32_t>(correction) & 0xFF);
    }

    SymbolModel m_usedBytes{128, false};
    std::array<SymbolModel, 6> m_diffs{SymbolModel(256, false), SymbolModel(256, false), SymbolModel(256, false),
                                       SymbolModel(256, false), SymbolModel(256, false), SymbolModel(256, false)};
};

// The near-infrared channel of the layered formats, the inverse of NirDecoder.
class NirEncoder {
public:
    // False when the value equals the last one.
    bool Encode(ArithmeticEncoder& encoder, std::uint16_t last, std::uint16_t nir)
    {
        const std::uint32_t used = ((last & 0xFF) != (nir & 0xFF) ? 1u : 0u) | ((last >> 8) != (nir >> 8) ? 2u : 0u);
        encoder.EncodeSymbol(m_usedBytes, used);
        if (used & 1)
            encoder.EncodeSymbol(m_low, static_cast<std::uint32_t>((nir & 0xFF) - (last & 0xFF)) & 0xFF);
        if (used & 2)
            encoder.EncodeSymbol(m_high, static_cast<std::uint32_t>((nir >> 8) - (last >> 8)) & 0xFF);
        return used != 0;
    }

private:
    SymbolModel m_usedBytes{4, false};
    SymbolModel m_low{256, false};
    SymbolModel m_high{256, false};
};

}  // namespace laz
