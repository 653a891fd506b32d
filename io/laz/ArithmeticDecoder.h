#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// The adaptive binary arithmetic decoder of LASzip streams, with its two kinds of adaptive
// model. Everything here runs once or more per decoded field, so it stays inline and
// allocation-free; models allocate only when they are made.
namespace laz {

// An adaptive model of one binary decision.
struct BitModel {
    static constexpr std::uint32_t kLengthShift = 13;
    static constexpr std::uint32_t kMaxCount = 1u << kLengthShift;

    std::uint32_t bit0Probability = 1u << (kLengthShift - 1);
    std::uint32_t bit0Count = 1;
    std::uint32_t bitCount = 2;
    std::uint32_t updateCycle = 4;
    std::uint32_t bitsUntilUpdate = 4;

    void Update()
    {
        bitCount += updateCycle;
        if (bitCount > kMaxCount) {
            bitCount = (bitCount + 1) >> 1;
            bit0Count = (bit0Count + 1) >> 1;
            if (bit0Count == bitCount)
                ++bitCount;
        }
        const std::uint32_t scale = 0x80000000u / bitCount;
        bit0Probability = (bit0Count * scale) >> (31 - kLengthShift);
        updateCycle = std::min<std::uint32_t>((5 * updateCycle) >> 2, 64);
        bitsUntilUpdate = updateCycle;
    }
};

// An adaptive model of a symbol from a small alphabet (2 to 2048 symbols). Alphabets above
// 16 symbols keep a lookup table that narrows the search for the decoded symbol.
class SymbolModel {
public:
    static constexpr std::uint32_t kLengthShift = 15;
    static constexpr std::uint32_t kMaxCount = 1u << kLengthShift;

    explicit SymbolModel(std::uint32_t symbols) : m_symbols(symbols)
    {
        if (symbols > 16) {
            std::uint32_t tableBits = 3;
            while (symbols > (1u << (tableBits + 2)))
                ++tableBits;
            m_tableSize = 1u << tableBits;
            m_tableShift = kLengthShift - tableBits;
        }
        // Distribution, counts and lookup table in one block, as the decoder reads them together.
        m_storage.assign(2 * symbols + (m_tableSize ? m_tableSize + 2 : 0), 0);
        std::fill_n(Counts(), symbols, 1u);
        m_updateCycle = symbols;
        Update();
        m_symbolsUntilUpdate = m_updateCycle = (symbols + 6) >> 1;
    }

    std::uint32_t Symbols() const { return m_symbols; }

private:
    friend class ArithmeticDecoder;

    std::uint32_t* Distribution() { return m_storage.data(); }
    std::uint32_t* Counts() { return m_storage.data() + m_symbols; }
    std::uint32_t* Table() { return m_storage.data() + 2 * m_symbols; }

    void Update()
    {
        std::uint32_t* const distribution = Distribution();
        std::uint32_t* const counts = Counts();
        std::uint32_t* const table = Table();
        m_totalCount += m_updateCycle;
        if (m_totalCount > kMaxCount) {
            m_totalCount = 0;
            for (std::uint32_t k = 0; k < m_symbols; ++k) {
                counts[k] = (counts[k] + 1) >> 1;
                m_totalCount += counts[k];
            }
        }
        const std::uint32_t scale = 0x80000000u / m_totalCount;
        std::uint32_t sum = 0;
        if (m_tableSize == 0) {
            for (std::uint32_t k = 0; k < m_symbols; ++k) {
                distribution[k] = (scale * sum) >> (31 - kLengthShift);
                sum += counts[k];
            }
        } else {
            std::uint32_t s = 0;
            for (std::uint32_t k = 0; k < m_symbols; ++k) {
                distribution[k] = (scale * sum) >> (31 - kLengthShift);
                sum += counts[k];
                const std::uint32_t w = distribution[k] >> m_tableShift;
                while (s < w)
                    table[++s] = k - 1;
            }
            table[0] = 0;
            while (s <= m_tableSize)
                table[++s] = m_symbols - 1;
        }
        m_updateCycle = std::min((5 * m_updateCycle) >> 2, (m_symbols + 6) << 3);
        m_symbolsUntilUpdate = m_updateCycle;
    }

    std::uint32_t m_symbols;
    std::uint32_t m_tableSize = 0;
    std::uint32_t m_tableShift = 0;
    std::uint32_t m_totalCount = 0;
    std::uint32_t m_updateCycle = 0;
    std::uint32_t m_symbolsUntilUpdate = 0;
    std::vector<std::uint32_t> m_storage;
};

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
