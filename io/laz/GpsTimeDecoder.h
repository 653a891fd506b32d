#pragma once

#include "io/laz/ArithmeticDecoder.h"
#include "io/laz/IntegerDecompressor.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace laz {

// GPS times as up to four interleaved sequences of 64-bit integers (their IEEE bits), each
// predicted from its last difference times a small multiplier. The point-wise and layered
// formats code this alike but number the codes after a zero difference differently: the
// point-wise one keeps a code for "unchanged", after a zero difference and after the
// multipliers alike; the layered one drops it, as the point item says whether the time changed.
class GpsTimeDecoder {
public:
    enum class Codes { PointWise, Layered };

    explicit GpsTimeDecoder(Codes codes)
        : m_zeroDiffOffset(codes == Codes::PointWise ? 1 : 0),
          m_unchanged(codes == Codes::PointWise ? kMulti - kMultiMinus + 1 : -1),
          m_full(kMulti - kMultiMinus + 1 + m_zeroDiffOffset),
          m_zeroDiffModel(5 + m_zeroDiffOffset),
          m_multiModel(kMulti - kMultiMinus + 5 + m_zeroDiffOffset)
    {
    }

    void Start(std::uint64_t firstTimeBits)
    {
        m_times = {firstTimeBits, 0, 0, 0};
    }

    std::uint64_t Current() const { return m_times[m_last]; }

    // Decodes the next time; false when the stream keeps switching sequences (corrupt).
    bool Decode(ArithmeticDecoder& decoder)
    {
        for (int switches = 0; switches < 4; ++switches) {
            if (m_diffs[m_last] == 0) {
                const std::int32_t code = static_cast<std::int32_t>(decoder.DecodeSymbol(m_zeroDiffModel)) - m_zeroDiffOffset;
                if (code < 0)
                    return true;  // unchanged
                if (code == 0) {
                    m_diffs[m_last] = m_integers.Decompress(decoder, 0, 0);
                    Advance(m_diffs[m_last]);
                    m_extremeCounts[m_last] = 0;
                    return true;
                }
                if (code == 1) {
                    ReadFull(decoder);
                    return true;
                }
                m_last = (m_last + static_cast<std::uint32_t>(code) - 1) & 3;
                continue;
            }
            const std::int32_t multi = static_cast<std::int32_t>(decoder.DecodeSymbol(m_multiModel));
            if (multi == 1) {
                Advance(m_integers.Decompress(decoder, m_diffs[m_last], 1));
                m_extremeCounts[m_last] = 0;
                return true;
            }
            if (multi == m_unchanged)
                return true;
            if (multi < m_full) {
                Advance(DecodeMultipleOfLastDiff(decoder, multi));
                return true;
            }
            if (multi == m_full) {
                ReadFull(decoder);
                return true;
            }
            m_last = (m_last + static_cast<std::uint32_t>(multi - m_full)) & 3;
        }
        return false;
    }

private:
    static constexpr std::int32_t kMulti = 500;
    static constexpr std::int32_t kMultiMinus = -10;

    static std::int32_t Times(std::int32_t factor, std::int32_t diff)
    {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(factor) * static_cast<std::uint32_t>(diff));
    }

    void Advance(std::int32_t diff)
    {
        m_times[m_last] += static_cast<std::uint64_t>(static_cast<std::int64_t>(diff));
    }

    // An extreme multiplier that repeats often enough becomes the sequence's new difference.
    void CountExtreme(std::int32_t diff)
    {
        if (++m_extremeCounts[m_last] > 3) {
            m_diffs[m_last] = diff;
            m_extremeCounts[m_last] = 0;
        }
    }

    std::int32_t DecodeMultipleOfLastDiff(ArithmeticDecoder& decoder, std::int32_t multi)
    {
        const std::int32_t lastDiff = m_diffs[m_last];
        std::int32_t diff;
        if (multi == 0) {
            diff = m_integers.Decompress(decoder, 0, 7);
            CountExtreme(diff);
        } else if (multi < kMulti) {
            diff = m_integers.Decompress(decoder, Times(multi, lastDiff), multi < 10 ? 2 : 3);
        } else if (multi == kMulti) {
            diff = m_integers.Decompress(decoder, Times(kMulti, lastDiff), 4);
            CountExtreme(diff);
        } else {
            const std::int32_t negative = kMulti - multi;
            if (negative > kMultiMinus) {
                diff = m_integers.Decompress(decoder, Times(negative, lastDiff), 5);
            } else {
                diff = m_integers.Decompress(decoder, Times(kMultiMinus, lastDiff), 6);
                CountExtreme(diff);
            }
        }
        return diff;
    }

    // A time too far from every sequence starts a new one: high half predicted, low half raw.
    void ReadFull(ArithmeticDecoder& decoder)
    {
        m_next = (m_next + 1) & 3;
        const auto high = static_cast<std::uint32_t>(
            m_integers.Decompress(decoder, static_cast<std::int32_t>(m_times[m_last] >> 32), 8));
        m_times[m_next] = (std::uint64_t{high} << 32) | decoder.ReadInt();
        m_last = m_next;
        m_diffs[m_last] = 0;
        m_extremeCounts[m_last] = 0;
    }

    std::int32_t m_zeroDiffOffset;
    std::int32_t m_unchanged;  // -1: no such code
    std::int32_t m_full;
    SymbolModel m_zeroDiffModel;
    SymbolModel m_multiModel;
    IntegerDecompressor m_integers{32, 9};
    std::array<std::uint64_t, 4> m_times{};
    std::array<std::int32_t, 4> m_diffs{};
    std::array<std::int32_t, 4> m_extremeCounts{};
    std::uint32_t m_last = 0;
    std::uint32_t m_next = 0;
};

}  // namespace laz
