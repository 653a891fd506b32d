#pragma once

#include "io/laz/ArithmeticEncoder.h"
#include "io/laz/GpsTimeDecoder.h"
#include "io/laz/IntegerCompressor.h"

#include <array>
#include <cstdint>

namespace laz {

// GPS times as up to four interleaved sequences of 64-bit integers (their IEEE bits), the
// inverse of GpsTimeDecoder, with the same two numberings of the codes.
class GpsTimeEncoder {
public:
    using Codes = GpsTimeDecoder::Codes;

    explicit GpsTimeEncoder(Codes codes)
        : m_zeroDiffOffset(codes == Codes::PointWise ? 1 : 0),
          m_keepsUnchanged(codes == Codes::PointWise),
          m_full(kMulti - kMultiMinus + 1 + m_zeroDiffOffset),
          m_zeroDiffModel(static_cast<std::uint32_t>(5 + m_zeroDiffOffset), false),
          m_multiModel(static_cast<std::uint32_t>(kMulti - kMultiMinus + 5 + m_zeroDiffOffset), false)
    {
    }

    void Start(std::uint64_t firstTimeBits) { m_times = {firstTimeBits, 0, 0, 0}; }

    void Encode(ArithmeticEncoder& encoder, std::uint64_t time)
    {
        for (;;) {
            const std::uint64_t last = m_times[m_last];
            // The sequence's last difference picks the model. Each has a code for a time that
            // did not change (point-wise only), one for a new sequence and the three after it
            // for the other sequences.
            const bool zeroDiff = m_diffs[m_last] == 0;
            SymbolModel& model = zeroDiff ? m_zeroDiffModel : m_multiModel;
            const auto newSequence = static_cast<std::uint32_t>(zeroDiff ? m_zeroDiffOffset + 1 : m_full);
            if (m_keepsUnchanged && time == last) {
                encoder.EncodeSymbol(model, zeroDiff ? 0 : static_cast<std::uint32_t>(m_full - 1));
                return;
            }
            const std::int64_t wide = static_cast<std::int64_t>(time - last);
            const auto diff = static_cast<std::int32_t>(wide);
            if (wide == diff) {
                if (zeroDiff)
                    EncodeAfterZeroDiff(encoder, diff);
                else
                    EncodeMultipleOfLastDiff(encoder, diff);
                m_times[m_last] = time;
                return;
            }
            // Too far from this sequence: one of the others, or a new one.
            const std::uint32_t other = OtherSequenceWithin32Bits(time);
            if (other != 0) {
                encoder.EncodeSymbol(model, newSequence + other);
                m_last = (m_last + other) & 3;
                continue;
            }
            encoder.EncodeSymbol(model, newSequence);
            m_integers.Compress(encoder, static_cast<std::int32_t>(last >> 32), static_cast<std::int32_t>(time >> 32), 8);
            encoder.WriteInt(static_cast<std::uint32_t>(time));
            m_next = (m_next + 1) & 3;
            m_last = m_next;
            m_diffs[m_last] = 0;
            m_extremeCounts[m_last] = 0;
            m_times[m_last] = time;
            return;
        }
    }

private:
    static constexpr std::int32_t kMulti = 500;
    static constexpr std::int32_t kMultiMinus = -10;

    static std::int32_t Times(std::int32_t factor, std::int32_t diff)
    {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(factor) * static_cast<std::uint32_t>(diff));
    }

    // The ratio of two differences rounded half away from zero, in single precision as the
    // format's encoder computes it; a ratio past the 32-bit range gives the lowest value, as
    // that encoder's conversion does on x86.
    static std::int32_t RoundedRatio(std::int32_t diff, std::int32_t lastDiff)
    {
        const float ratio = static_cast<float>(diff) / static_cast<float>(lastDiff);
        const float rounded = ratio >= 0.0f ? ratio + 0.5f : ratio - 0.5f;
        if (rounded >= 2147483648.0f)
            return INT32_MIN;
        return static_cast<std::int32_t>(rounded);
    }

    // 1 to 3 steps to a sequence whose last time is within 32 bits of time; 0 for none.
    std::uint32_t OtherSequenceWithin32Bits(std::uint64_t time) const
    {
        for (std::uint32_t step = 1; step < 4; ++step) {
            const std::int64_t wide = static_cast<std::int64_t>(time - m_times[(m_last + step) & 3]);
            if (wide == static_cast<std::int32_t>(wide))
                return step;
        }
        return 0;
    }

    void EncodeAfterZeroDiff(ArithmeticEncoder& encoder, std::int32_t diff)
    {
        encoder.EncodeSymbol(m_zeroDiffModel, static_cast<std::uint32_t>(m_zeroDiffOffset));
        m_integers.Compress(encoder, 0, diff, 0);
        m_diffs[m_last] = diff;
        m_extremeCounts[m_last] = 0;
    }

    // An extreme multiplier that repeats often enough becomes the sequence's new difference.
    void CountExtreme(std::int32_t diff)
    {
        if (++m_extremeCounts[m_last] > 3) {
            m_diffs[m_last] = diff;
            m_extremeCounts[m_last] = 0;
        }
    }

    void EncodeMultipleOfLastDiff(ArithmeticEncoder& encoder, std::int32_t diff)
    {
        const std::int32_t lastDiff = m_diffs[m_last];
        const std::int32_t multi = RoundedRatio(diff, lastDiff);
        if (multi == 1) {
            encoder.EncodeSymbol(m_multiModel, 1);
            m_integers.Compress(encoder, lastDiff, diff, 1);
            m_extremeCounts[m_last] = 0;
        } else if (multi > 0 && multi < kMulti) {
            encoder.EncodeSymbol(m_multiModel, static_cast<std::uint32_t>(multi));
            m_integers.Compress(encoder, Times(multi, lastDiff), diff, multi < 10 ? 2 : 3);
        } else if (multi >= kMulti) {
            encoder.EncodeSymbol(m_multiModel, kMulti);
            m_integers.Compress(encoder, Times(kMulti, lastDiff), diff, 4);
            CountExtreme(diff);
        } else if (multi < 0 && multi > kMultiMinus) {
            encoder.EncodeSymbol(m_multiModel, static_cast<std::uint32_t>(kMulti - multi));
            m_integers.Compress(encoder, Times(multi, lastDiff), diff, 5);
        } else if (multi < 0) {
            encoder.EncodeSymbol(m_multiModel, static_cast<std::uint32_t>(kMulti - kMultiMinus));
            m_integers.Compress(encoder, Times(kMultiMinus, lastDiff), diff, 6);
            CountExtreme(diff);
        } else {
            encoder.EncodeSymbol(m_multiModel, 0);
            m_integers.Compress(encoder, 0, diff, 7);
            CountExtreme(diff);
        }
    }

    std::int32_t m_zeroDiffOffset;
    bool m_keepsUnchanged;  // the point-wise codes say "unchanged"; the layered ones never need to
    std::int32_t m_full;
    SymbolModel m_zeroDiffModel;
    SymbolModel m_multiModel;
    IntegerCompressor m_integers{32, 9};
    std::array<std::uint64_t, 4> m_times{};
    std::array<std::int32_t, 4> m_diffs{};
    std::array<std::int32_t, 4> m_extremeCounts{};
    std::uint32_t m_last = 0;
    std::uint32_t m_next = 0;
};

}  // namespace laz
