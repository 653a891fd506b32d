#pragma once

#include "io/laz/ArithmeticModels.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The adaptive binary arithmetic encoder of LASzip streams, the exact inverse of
// ArithmeticDecoder. It writes into a buffer of its own that keeps its capacity from one
// chunk to the next, so that encoding allocates only while a chunk grows past the largest
// seen so far.
namespace laz {

class ArithmeticEncoder {
public:
    static constexpr std::uint32_t kMinLength = 1u << 24;

    // Starts a new stream, dropping the bytes of the last one.
    void Start()
    {
        m_size = 0;
        m_base = 0;
        m_length = 0xFFFFFFFFu;
    }

    // Ends the stream: the bytes that pin the final interval down, then the zeros the decoder
    // reads ahead. After it, Bytes() is the whole stream.
    void Finish()
    {
        const std::uint32_t before = m_base;
        bool threeZeros = true;
        if (m_length > 2 * kMinLength) {
            m_base += kMinLength;
            m_length = kMinLength >> 1;
        } else {
            m_base += kMinLength >> 1;
            m_length = kMinLength >> 9;
            threeZeros = false;
        }
        if (before > m_base)
            PropagateCarry();
        Renormalise();
        for (int i = threeZeros ? 3 : 2; i > 0; --i)
            Put(0);
    }

    const unsigned char* Bytes() const { return m_bytes.data(); }
    std::size_t Size() const { return m_size; }

    void EncodeBit(BitModel& model, std::uint32_t bit)
    {
        const std::uint32_t split = model.bit0Probability * (m_length >> BitModel::kLengthShift);
        if (bit == 0) {
            m_length = split;
            ++model.bit0Count;
        } else {
            Advance(split);
            m_length -= split;
        }
        if (m_length < kMinLength)
            Renormalise();
        if (--model.bitsUntilUpdate == 0)
            model.Update();
    }

    void EncodeSymbol(SymbolModel& model, std::uint32_t symbol)
    {
        const std::uint32_t* distribution = model.Distribution();
        std::uint32_t low;
        if (symbol == model.m_symbols - 1) {
            low = distribution[symbol] * (m_length >> SymbolModel::kLengthShift);
            m_length -= low;
        } else {
            m_length >>= SymbolModel::kLengthShift;
            low = distribution[symbol] * m_length;
            m_length = distribution[symbol + 1] * m_length - low;
        }
        Advance(low);
        if (m_length < kMinLength)
            Renormalise();
        ++model.Counts()[symbol];
        if (--model.m_symbolsUntilUpdate == 0)
            model.Update();
    }

    // A value of up to 32 bits stored without a model.
    void WriteBits(std::uint32_t bits, std::uint32_t value)
    {
        if (bits > 19) {
            WriteShort(value & 0xFFFF);
            value >>= 16;
            bits -= 16;
        }
        WriteRaw(bits, value);
    }
    void WriteShort(std::uint32_t value) { WriteRaw(16, value); }
    void WriteInt(std::uint32_t value)
    {
        WriteShort(value & 0xFFFF);
        WriteShort(value >> 16);
    }

private:
    void WriteRaw(std::uint32_t bits, std::uint32_t value)
    {
        m_length >>= bits;
        Advance(value * m_length);
        if (m_length < kMinLength)
            Renormalise();
    }

    // Moves the interval's base up; a base that wraps carries into the bytes already written.
    void Advance(std::uint32_t by)
    {
        const std::uint32_t before = m_base;
        m_base += by;
        if (before > m_base)
            PropagateCarry();
    }

    void PropagateCarry()
    {
        std::size_t at = m_size;
        while (at > 0 && m_bytes[at - 1] == 0xFF)
            m_bytes[--at] = 0;
        if (at > 0)
            ++m_bytes[at - 1];
    }

    // Emits the interval's top bytes until its length is back above the minimum: at most
    // four, as no coding step leaves a length below 256.
    void Renormalise()
    {
        if (m_bytes.size() - m_size < 4)
            Grow();
        unsigned char* out = m_bytes.data() + m_size;
        do {
            *out++ = static_cast<unsigned char>(m_base >> 24);
            m_base <<= 8;
        } while ((m_length <<= 8) < kMinLength);
        m_size = static_cast<std::size_t>(out - m_bytes.data());
    }

    void Put(unsigned char byte)
    {
        if (m_size == m_bytes.size())
            Grow();
        m_bytes[m_size++] = byte;
    }

    void Grow() { m_bytes.resize(m_bytes.empty() ? 256 : 2 * m_bytes.size()); }

    std::vector<unsigned char> m_bytes;
    std::size_t m_size = 0;
    std::uint32_t m_base = 0;
    std::uint32_t m_length = 0xFFFFFFFFu;
};

}  // namespace laz
