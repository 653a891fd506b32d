#pragma once

#include "io/core/LittleEndian.h"
#include "io/laz/ArithmeticDecoder.h"
#include "io/laz/IntegerDecompressor.h"

#include <array>
#include <cstdint>

namespace laz {

// A wave packet descriptor (29 bytes: descriptor index, byte offset, packet size, return
// point and x, y, z step as floats) from the previous one: the offset often follows the
// last packet, the other values are coded as integers (floats by their bits).
class WavePacketDecoder {
public:
    static constexpr std::size_t kSize = 29;
    using Packet = std::array<unsigned char, kSize>;

    void Decode(ArithmeticDecoder& decoder, Packet& packet)
    {
        unsigned char* bytes = packet.data();
        bytes[0] = static_cast<std::uint8_t>(decoder.DecodeSymbol(m_index));
        const std::uint64_t lastOffset = LoadLE<std::uint64_t>(bytes + 1);
        const std::uint32_t lastSize = LoadLE<std::uint32_t>(bytes + 9);
        m_lastOffsetKind = decoder.DecodeSymbol(m_offsetKinds[m_lastOffsetKind]);
        std::uint64_t offset;
        switch (m_lastOffsetKind) {
        case 0: offset = lastOffset; break;
        case 1: offset = lastOffset + lastSize; break;
        case 2:
            m_lastOffsetDiff = m_offsetDiffs.Decompress(decoder, m_lastOffsetDiff);
            offset = lastOffset + static_cast<std::uint64_t>(static_cast<std::int64_t>(m_lastOffsetDiff));
            break;
        default: {
            const std::uint64_t low = decoder.ReadInt();
            offset = (std::uint64_t{decoder.ReadInt()} << 32) | low;
        }
        }
        StoreLE(bytes + 1, offset);
        StoreLE(bytes + 9, m_sizes.Decompress(decoder, static_cast<std::int32_t>(lastSize)));
        StoreLE(bytes + 13, m_returnPoints.Decompress(decoder, LoadLE<std::int32_t>(bytes + 13)));
        for (std::uint32_t axis = 0; axis < 3; ++axis) {
            unsigned char* at = bytes + 17 + 4 * axis;
            StoreLE(at, m_xyz.Decompress(decoder, LoadLE<std::int32_t>(at), axis));
        }
    }

private:
    SymbolModel m_index{256};
    std::array<SymbolModel, 4> m_offsetKinds{SymbolModel(4), SymbolModel(4), SymbolModel(4), SymbolModel(4)};
    IntegerDecompressor m_offsetDiffs{32};
    IntegerDecompressor m_sizes{32};
    IntegerDecompressor m_returnPoints{32};
    IntegerDecompressor m_xyz{32, 3};
    std::int32_t m_lastOffsetDiff = 0;
    std::uint32_t m_lastOffsetKind = 0;
};

}  // namespace laz
