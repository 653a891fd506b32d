#pragma once

#include "io/laz/ArithmeticModels.h"

#include <cstddef>
#include <cstdint>

// The adaptive binary arithmetic decoder of LASzip streams. Everything here runs once or more
// per decoded field, so it stays inline and allocation-free.
namespace laz {

// Decodes from one contiguous byte range. Reading past its end yields zeros and marks the
// stream as overrun, and impossible values mark it corrupt; the caller checks Failed() once
// per chunk instead of once per field.
class ArithmeticDecoder {
public:
    static constexpr std::uint32_t kMinLength = 1u << 24;

    ArithmeticDecoder() = default;
    ArithmeticDecoder(const unsigned char* begin, const unsigned char* end) { Start(begin, end); }

    void Start(const unsigned char* begin, const unsigned char* end)
    {
        m_next = begin;
        m_end = end;
        m_failed = false;
        m_length = 0xFFFFFFFFu;
        m_value = 0;
        for (int i = 0; i < 4; ++i)
            m_value = (m_value << 8) | NextByte();
        if (m_value >= m_length) {  // no encoder writes this: the interval invariant would break
            m_failed = true;
            m_value = 0;
        }
    }

    bool Failed() const { return m_failed; }
    // Bytes taken from the range so far (a finished stream has taken exactly its own bytes).
    std::size_t Consumed(const unsigned char* begin) const { return static_cast<std::size_t>(m_next - begin); }

    std::uint32_t DecodeBit(BitModel& model)
    {
        const std::uint32_t split = model.bit0Probability * (m_length >> BitModel::kLengthShift);
        std::uint32_t bit;
        if (m_value < split) {
            bit = 0;
            m_length = split;
            ++model.bit0Count;
        } else {
            bit = 1;
            m_value -= split;
            m_length -= split;
        }
        if (m_length < kMinLength)
            Renormalise();
        if (--model.bitsUntilUpdate == 0)
            model.Update();
        return bit;
    }

    std::uint32_t DecodeSymbol(SymbolModel& model)
    {
        std::uint32_t symbol;
        std::uint32_t low;
        std::uint32_t high = m_length;
        const std::uint32_t* distribution = model.Distribution();
        if (model.m_tableSize != 0) {
            m_length >>= SymbolModel::kLengthShift;
            const std::uint32_t scaled = m_value / m_length;
            const std::uint32_t t = scaled >> model.m_tableShift;
            const std::uint32_t* table = model.Table();
            symbol = table[t];
            std::uint32_t above = table[t + 1] + 1;
            while (above > symbol + 1) {
                const std::uint32_t middle = (symbol + above) >> 1;
                if (distribution[middle] > scaled)
                    above = middle;
                else
                    symbol = middle;
            }
            low = distribution[symbol] * m_length;
            if (symbol != model.m_symbols - 1)
                high = distribution[symbol + 1] * m_length;
        } else {
            symbol = 0;
            low = 0;
            m_length >>= SymbolModel::kLengthShift;
            std::uint32_t above = model.m_symbols;
            std::uint32_t middle = above >> 1;
            do {
                const std::uint32_t z = m_length * distribution[middle];
                if (z > m_value) {
                    above = middle;
                    high = z;
                } else {
                    symbol = middle;
                    low = z;
                }
            } while ((middle = (symbol + above) >> 1) != symbol);
        }
        m_value -= low;
        m_length = high - low;
        if (m_length < kMinLength)
            Renormalise();
        ++model.Counts()[symbol];
        if (--model.m_symbolsUntilUpdate == 0)
            model.Update();
        return symbol;
    }

    // A value of up to 32 bits stored without a model.
    std::uint32_t ReadBits(std::uint32_t bits)
    {
        if (bits > 19) {
            const std::uint32_t low = ReadShort();
            return (ReadBits(bits - 16) << 16) | low;
        }
        return ReadRaw(bits);
    }
    std::uint32_t ReadShort() { return ReadRaw(16); }
    std::uint32_t ReadInt()
    {
        const std::uint32_t low = ReadShort();
        return (ReadShort() << 16) | low;
    }

private:
    std::uint32_t ReadRaw(std::uint32_t bits)
    {
        m_length >>= bits;
        std::uint32_t symbol = m_value / m_length;
        if (symbol >= (1u << bits)) {  // corrupt: restart the interval rather than break it
            m_failed = true;
            m_value = 0;
            symbol = 0;
        }
        m_value -= m_length * symbol;
        if (m_length < kMinLength)
            Renormalise();
        return symbol;
    }

    std::uint32_t NextByte()
    {
        if (m_next < m_end)
            return *m_next++;
        m_failed = true;
        return 0;
    }

    void Renormalise()
    {
        do {
            m_value = (m_value << 8) | NextByte();
        } while ((m_length <<= 8) < kMinLength);
    }

    const unsigned char* m_next = nullptr;
    const unsigned char* m_end = nullptr;
    std::uint32_t m_value = 0;
    std::uint32_t m_length = 0xFFFFFFFFu;
    bool m_failed = false;
};

}  // namespace laz
