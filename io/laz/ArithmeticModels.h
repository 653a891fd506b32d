#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The two kinds of adaptive model of LASzip streams, shared by the arithmetic decoder and
// encoder: both sides must update them identically. Everything here runs once or more per
// coded field, so it stays inline and allocation-free; models allocate only when made.
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

// An adaptive model of a symbol from a small alphabet (2 to 2048 symbols). For decoding,
// alphabets above 16 symbols keep a lookup table that narrows the search for the symbol; the
// distribution is the same with or without it.
class SymbolModel {
public:
    static constexpr std::uint32_t kLengthShift = 15;
    static constexpr std::uint32_t kMaxCount = 1u << kLengthShift;

    // The encoder never searches for a symbol: withSearchTable false leaves the table out.
    explicit SymbolModel(std::uint32_t symbols, bool withSearchTable = true) : m_symbols(symbols)
    {
        if (symbols > 16 && withSearchTable) {
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
    friend class ArithmeticEncoder;

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

// A model made on first use, for the rarely taken paths that select one of many models.
template <std::size_t N>
class LazyModels {
public:
    explicit LazyModels(std::uint32_t symbols, bool withSearchTable = true)
        : m_symbols(symbols), m_withSearchTable(withSearchTable)
    {
    }
    SymbolModel& operator[](std::size_t i)
    {
        if (!m_models[i])
            m_models[i] = std::make_unique<SymbolModel>(m_symbols, m_withSearchTable);
        return *m_models[i];
    }

private:
    std::uint32_t m_symbols;
    bool m_withSearchTable;
    std::array<std::unique_ptr<SymbolModel>, N> m_models;
};

}  // namespace laz
