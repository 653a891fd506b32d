#pragma once

#include "io/laz/ArithmeticDecoder.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace laz {

// Red, green and blue as corrections to the previous colour, byte by byte: one symbol says
// which bytes changed and whether the channels differ at all; green and blue are predicted
// from red's change.
class RgbDecoder {
public:
    using Rgb = std::array<std::uint16_t, 3>;

    Rgb Decode(ArithmeticDecoder& decoder, const Rgb& last)
    {
        const std::uint32_t used = decoder.DecodeSymbol(m_usedBytes);
        Rgb rgb{};
        rgb[0] = LowByte(decoder, used & 1, 0, Low(last[0]));
        rgb[0] |= HighByte(decoder, used & 2, 1, High(last[0]));
        if ((used & (1 << 6)) == 0) {
            rgb[1] = rgb[2] = rgb[0];
            return rgb;
        }
        std::int32_t diff = Low(rgb[0]) - Low(last[0]);
        rgb[1] = LowByte(decoder, used & 4, 2, Clamp(diff + Low(last[1])), Low(last[1]));
        diff = (diff + (Low(rgb[1]) - Low(last[1]))) / 2;
        rgb[2] = LowByte(decoder, used & 16, 4, Clamp(diff + Low(last[2])), Low(last[2]));
        diff = High(rgb[0]) - High(last[0]);
        rgb[1] |= HighByte(decoder, used & 8, 3, Clamp(diff + High(last[1])), High(last[1]));
        diff = (diff + (High(rgb[1]) - High(last[1]))) / 2;
        rgb[2] |= HighByte(decoder, used & 32, 5, Clamp(diff + High(last[2])), High(last[2]));
        return rgb;
    }

private:
    static std::int32_t Low(std::uint16_t v) { return v & 0xFF; }
    static std::int32_t High(std::uint16_t v) { return v >> 8; }
    static std::int32_t Clamp(std::int32_t v) { return std::clamp(v, 0, 255); }

    // A changed byte is its prediction plus a modelled correction, modulo 256; an unchanged
    // one keeps its last value.
    std::uint16_t LowByte(ArithmeticDecoder& decoder, std::uint32_t changed, int model, std::int32_t prediction,
                          std::int32_t unchanged)
    {
        if (!changed)
            return static_cast<std::uint16_t>(unchanged);
        return static_cast<std::uint16_t>((prediction + static_cast<std::int32_t>(decoder.DecodeSymbol(m_diffs[model]))) & 0xFF);
    }
    std::uint16_t LowByte(ArithmeticDecoder& decoder, std::uint32_t changed, int model, std::int32_t last)
    {
        return LowByte(decoder, changed, model, last, last);
    }
    std::uint16_t HighByte(ArithmeticDecoder& decoder, std::uint32_t changed, int model, std::int32_t prediction,
                           std::int32_t unchanged)
    {
        return static_cast<std::uint16_t>(LowByte(decoder, changed, model, prediction, unchanged) << 8);
    }
    std::uint16_t HighByte(ArithmeticDecoder& decoder, std::uint32_t changed, int model, std::int32_t last)
    {
        return HighByte(decoder, changed, model, last, last);
    }

    SymbolModel m_usedBytes{128};
    std::array<SymbolModel, 6> m_diffs{SymbolModel(256), SymbolModel(256), SymbolModel(256),
                                       SymbolModel(256), SymbolModel(256), SymbolModel(256)};
};

// The near-infrared channel of the layered formats: which bytes changed, then each byte as a
// correction to its last value.
class NirDecoder {
public:
    std::uint16_t Decode(ArithmeticDecoder& decoder, std::uint16_t last)
    {
        const std::uint32_t used = decoder.DecodeSymbol(m_usedBytes);
        std::uint32_t low = last & 0xFF;
        std::uint32_t high = last >> 8;
        if (used & 1)
            low = (low + decoder.DecodeSymbol(m_low)) & 0xFF;
        if (used & 2)
            high = (high + decoder.DecodeSymbol(m_high)) & 0xFF;
        return static_cast<std::uint16_t>((high << 8) | low);
    }

private:
    SymbolModel m_usedBytes{4};
    SymbolModel m_low{256};
    SymbolModel m_high{256};
};

}  // namespace laz
