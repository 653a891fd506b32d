#pragma once

#include "io/core/ReadResult.h"
#include "io/splat/SplatBytes.h"

#include <cstddef>
#include <memory>
#include <optional>

// Deflate's largest possible expansion is about 1032:1; a header claiming more output than
// that from the bytes it has is lying, and nothing is allocated for it.
inline constexpr std::uint64_t kMaxDeflateRatio = 1032;

// The most bytes `compressedBytes` of deflate (or zstd, held to the same bound) can honestly
// expand to, with room for the stream's own framing on tiny inputs.
inline std::uint64_t MaxInflatedSize(std::uint64_t compressedBytes)
{
    return compressedBytes * kMaxDeflateRatio + 1024;
}

// A gzip (or raw deflate) stream read a piece at a time, so a reader can learn a count from a
// header before deciding how much output to allow.
class InflateStream {
public:
    enum class Wrapping { Gzip, RawDeflate };
    InflateStream(ByteSpan input, Wrapping wrapping, const char* format);
    ~InflateStream();
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    // Fills out with exactly size bytes of output; a failure says why (a corrupt stream, or
    // one that ends first).
    std::optional<ReadFailure> ReadExactly(std::uint8_t* out, std::size_t size);

private:
    struct State;
    std::unique_ptr<State> m_state;
    const char* m_format;
};

// The whole output of a raw deflate stream that must expand to exactly `size` bytes.
ReadResult<Bytes> InflateRaw(ByteSpan input, std::size_t size, const char* format);

// One zstd stream that must decode to exactly `size` bytes, into out.
std::optional<ReadFailure> ZstdDecodeExactly(ByteSpan input, std::uint8_t* out, std::size_t size, const char* format);
