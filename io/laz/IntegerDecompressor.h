#pragma once

#include "io/laz/ArithmeticDecoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace laz {

// Decodes integers stored as a correction to a prediction: first the bit length k of the
// correction (one symbol model per context), then the correction itself in k bits, the high
// bits modelled and the low ones raw. K() is the last bit length, which some fields use as
// the context of the next.
class IntegerDecompressor {
public:
    explicit IntegerDecompressor(std::uint32_t bits = 16, std::uint32_t contexts = 1, std::uint32_t bitsHigh = 8)
        : m_bitsHigh(bitsHigh)
    {
        if (bits != 0 && bits < 32) {
            m_correctionBits = bits;
            m_range = 1u << bits;
            m_correctionMin = -static_cast<std::int32_t>(m_range / 2);
        } else {
            m_correctionBits = 32;
            m_range = 0;
            m_correctionMin = INT32_MIN;
        }
        m_lengthModels.assign(contexts, SymbolModel(m_correctionBits + 1));
    }

    std::int32_t Decompress(ArithmeticDecoder& decoder, std::int32_t prediction, std::uint32_t context = 0)
    {
        const std::int64_t real = std::int64_t{prediction} + ReadCorrection(decoder, m_lengthModels[context]);
        if (m_range == 0)
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(real));
        if (real < 0)
            return static_cast<std::int32_t>(real + m_range);
        if (real >= std::int64_t{m_range})
            return static_cast<std::int32_t>(real - m_range);
        return static_cast<std::int32_t>(real);
    }

    std::uint32_t K() const { return m_k; }

private:
    std::int64_t ReadCorrection(ArithmeticDecoder& decoder, SymbolModel& lengthModel)
    {
        m_k = decoder.DecodeSymbol(lengthModel);
        if (m_k == 0)
            return decoder.DecodeBit(m_zeroCorrector);
        if (m_k >= 32)
            return m_correctionMin;
        std::int64_t c;
        SymbolModel& corrector = Corrector(m_k);
        if (m_k <= m_bitsHigh) {
            c = decoder.DecodeSymbol(corrector);
        } else {
            const std::uint32_t lowBits = m_k - m_bitsHigh;
            const std::uint32_t high = decoder.DecodeSymbol(corrector);
            c = (std::int64_t{high} << lowBits) | decoder.ReadBits(lowBits);
        }
        // The k-bit codes cover [-(2^k - 1), -2^(k-1)] and [2^(k-1), 2^k].
        if (c >= (std::int64_t{1} << (m_k - 1)))
            return c + 1;
        return c - ((std::int64_t{1} << m_k) - 1);
    }

    // The model of the k-bit codes' high bits, made on first use: a chunk rarely needs the
    // large ones, and small chunks (COPC nodes) would spend more on making them than on decoding.
    SymbolModel& Corrector(std::uint32_t k)
    {
        std::optional<SymbolModel>& corrector = m_correctors[k];
        if (!corrector)
            corrector.emplace(1u << std::min(k, m_bitsHigh));
        return *corrector;
    }

    std::uint32_t m_bitsHigh;
    std::uint32_t m_correctionBits = 32;
    std::uint32_t m_range = 0;
    std::int32_t m_correctionMin = INT32_MIN;
    std::uint32_t m_k = 0;
    std::vector<SymbolModel> m_lengthModels;
    std::array<std::optional<SymbolModel>, 32> m_correctors;  // by k; k = 0 is decoded with the bit model
    BitModel m_zeroCorrector;
};

}  // namespace laz
