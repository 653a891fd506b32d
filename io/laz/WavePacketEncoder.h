#pragma once

#include "io/core/LittleEndian.h"
#include "io/laz/ArithmeticEncoder.h"
#include "io/laz/IntegerCompressor.h"

#include <array>
#include <cstdint>

namespace laz {

// A wave packet descriptor from the previous one, the inverse of WavePacketDecoder.
class WavePacketEncoder {
public:
    static constexpr std::size_t kSize = 29;

    void Encode(ArithmeticEncoder& encoder, const unsigned char* last, const unsigned char* packet)
    {
        encoder.EncodeSymbol(m_index, packet[0]);
        const auto lastOffset = LoadLE<std::uint64_t>(last + 1);
        const auto lastSize = LoadLE<std::uint32_t>(last + 9);
        const auto offset = LoadLE<std::uint64_t>(packet + 1);
        const auto wide = static_cast<std::int64_t>(offset - lastOffset);
        const auto diff = static_cast<std::int32_t>(wide);
        // Kind 1, "right after the last packet", is taken only where the decoder's unsigned
        // sum gives the offset back; the format's own encoder also takes it for a size of 2^31
        // or more read as negative, which no decoder can undo.
        std::uint32_t kind = 3;
        if (wide == diff)
            kind = diff == 0 ? 0 : (wide == std::int64_t{lastSize} ? 1 : 2);
        encoder.EncodeSymbol(m_offsetKinds[m_lastOffsetKind], kind);
        m_lastOffsetKind = kind;
        if (kind == 2) {
            m_offsetDiffs.Compress(encoder, m_lastOffsetDiff, diff);
            m_lastOffsetDiff = diff;
        } else if (kind == 3) {
            encoder.WriteInt(static_cast<std::uint32_t>(offset));
            encoder.WriteInt(static_cast<std::uint32_t>(offset >> 32));
        }
        m_sizes.Compress(encoder, static_cast<std::int32_t>(lastSize), LoadLE<std::int32_t>(packet + 9));
        m_returnPoints.Compress(encoder, LoadLE<std::int32_t>(last + 13), LoadLE<std::int32_t>(packet + 13));
        for (std::uint32_t axis = 0; axis < 3; ++axis)
            m_xyz.Compress(encoder, LoadLE<std::int32_t>(last + 17 + 4 * axis), LoadLE<std::int32_t>(packet + 17 + 4 * axis), axis);
    }

private:
    SymbolModel m_index{256, false};
    std::array<SymbolModel, 4> m_offsetKinds{SymbolModel(4, false), SymbolModel(4, false), SymbolModel(4, false),
                                             SymbolModel(4, false)};
    IntegerCompressor m_offsetDiffs{32};
    IntegerCompressor m_sizes{32};
    IntegerCompressor m_returnPoints{32};
    IntegerCompressor m_xyz{32, 3};
    std::int32_t m_lastOffsetDiff = 0;
    std::uint32_t m_lastOffsetKind = 0;
};

}  // namespace laz
