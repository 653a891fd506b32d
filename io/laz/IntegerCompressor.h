#pragma once

#include "io/laz/ArithmeticEncoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <vector>

namespace laz {

// Encodes integers as a correction to a prediction, the inverse of IntegerDecompressor: the
// bit length k of the correction (one symbol model per context), then the correction in k
// bits, the high bits modelled and the low ones raw. K() is the last bit length, which some
// fields use as the context of the next.
class IntegerCompressor {
public:
    explicit IntegerCompressor(std::uint32_t bits = 16, std::uint32_t contexts = 1, std::uint32_t bitsHigh = 8)
        : m_bitsHigh(bitsHigh)
    {
        if (bits != 0 && bits < 32) {
            m_correctionBits = bits;
            m_range = 1u << bits;
            m_correctionMin = -static_cast<std::int32_t>(m_range / 2);
            m_correctionMax = m_correctionMin + static_cast<std::int32_t>(m_range - 1);
        }
        m_lengthModels.assign(contexts, SymbolModel(m_correctionBits + 1, false));
    }

    void Compress(ArithmeticEncoder& encoder, std::int32_t prediction, std::int32_t real, std::uint32_t context = 0)
    {
        // The correction wraps like the 32-bit values it links, then folds into the range.
        auto correction = static_cast<std::int32_t>(static_cast<std::uint32_t>(real) - static_cast<std::uint32_t>(prediction));
        if (m_range != 0) {
            if (correction < m_correctionMin)
                correction += static_cast<std::int32_t>(m_range);
            else if (correction > m_correctionMax)
                correction -= static_cast<std::int32_t>(m_range);
        }
        WriteCorrection(encoder, m_lengthModels[context], correction);
    }

    std::uint32_t K() const { return m_k; }

private:
    // k is the smallest with c in [-(2^k - 1), 2^k]; within it, c takes one of 2^k codes.
    void WriteCorrection(ArithmeticEncoder& encoder, SymbolModel& lengthModel, std::int32_t c)
    {
        const auto magnitude = c <= 0 ? 0u - static_cast<std::uint32_t>(c) : static_cast<std::uint32_t>(c) - 1;
        m_k = static_cast<std::uint32_t>(std::bit_width(magnitude));
        encoder.EncodeSymbol(lengthModel, m_k);
        if (m_k == 0) {
            encoder.EncodeBit(m_zeroCorrector, static_cast<std::uint32_t>(c));
            return;
        }
        if (m_k >= 32)
            return;  // only the lowest correction, which the length alone says
        const std::uint32_t code = c < 0 ? static_cast<std::uint32_t>(c) + ((1u << m_k) - 1) : static_cast<std::uint32_t>(c) - 1;
        SymbolModel& corrector = Corrector(m_k);
        if (m_k <= m_bitsHigh) {
            encoder.EncodeSymbol(corrector, code);
        } else {
            const std::uint32_t lowBits = m_k - m_bitsHigh;
            encoder.EncodeSymbol(corrector, code >> lowBits);
            encoder.WriteBits(lowBits, code & ((1u << lowBits) - 1));
        }
    }

    // The model of the k-bit codes' high bits, made on first use: a chunk rarely needs the
    // large ones, and a fresh model is what the decoder starts from either way.
    SymbolModel& Corrector(std::uint32_t k)
    {
        std::optional<SymbolModel>& corrector = m_correctors[k];
        if (!corrector)
            corrector.emplace(1u << std::min(k, m_bitsHigh), false);
        return *corrector;
    }

    std::uint32_t m_bitsHigh;
    std::uint32_t m_correctionBits = 32;
    std::uint32_t m_range = 0;
    std::int32_t m_correctionMin = INT32_MIN;
    std::int32_t m_correctionMax = INT32_MAX;
    std::uint32_t m_k = 0;
    std::vector<SymbolModel> m_lengthModels;
    std::array<std::optional<SymbolModel>, 32> m_correctors;  // by k; k = 0 is coded with the bit model
    BitModel m_zeroCorrector;
};

}  // namespace laz
