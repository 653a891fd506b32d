#include "io/splat/Decompress.h"

#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <limits>

struct InflateStream::State {
    z_stream stream{};
    bool initialised = false;
    bool ended = false;
    ByteSpan remaining;  // input not yet handed to zlib
};

InflateStream::InflateStream(ByteSpan input, Wrapping wrapping, const char* format)
    : m_state(std::make_unique<State>()), m_format(format)
{
    z_stream& z = m_state->stream;
    z.next_in = const_cast<Bytef*>(input.data());
    z.avail_in = 0;
    const int windowBits = wrapping == Wrapping::Gzip ? 16 + MAX_WBITS : -MAX_WBITS;
    m_state->initialised = inflateInit2(&z, windowBits) == Z_OK;
    m_state->remaining = input;  // handed over in pieces that fit zlib's uInt
}

InflateStream::~InflateStream()
{
    if (m_state->initialised)
        inflateEnd(&m_state->stream);
}

std::optional<ReadFailure> InflateStream::ReadExactly(std::uint8_t* out, std::size_t size)
{
    const std::string format(m_format);
    if (!m_state->initialised)
        return Fail(ReadError::Malformed, format + ": cannot start inflating");
    z_stream& z = m_state->stream;
    while (size > 0) {
        if (m_state->ended)
            return Fail(ReadError::Truncated, format + ": the compressed stream ends before the data its header promises");
        if (z.avail_in == 0 && !m_state->remaining.empty()) {
            const std::size_t piece = std::min<std::size_t>(m_state->remaining.size(), 1u << 30);
            z.next_in = const_cast<Bytef*>(m_state->remaining.data());
            z.avail_in = static_cast<uInt>(piece);
            m_state->remaining = m_state->remaining.subspan(piece);
        }
        const std::size_t chunk = std::min<std::size_t>(size, 1u << 30);
        z.next_out = out;
        z.avail_out = static_cast<uInt>(chunk);
        const int status = inflate(&z, Z_NO_FLUSH);
        const std::size_t produced = chunk - z.avail_out;
        out += produced;
        size -= produced;
        if (status == Z_STREAM_END) {
            m_state->ended = true;
        } else if (status == Z_BUF_ERROR && z.avail_in == 0 && m_state->remaining.empty()) {
            return Fail(ReadError::Truncated, format + ": the compressed stream is cut short");
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            return Fail(ReadError::Malformed,
                        format + ": corrupt compressed data (" + (z.msg ? z.msg : "inflate failed") + ")");
        }
    }
    return std::nullopt;
}

ReadResult<Bytes> InflateRaw(ByteSpan input, std::size_t size, const char* format)
{
    if (size > MaxInflatedSize(input.size()))
        return Fail(ReadError::TooLarge, std::string(format) + ": an entry claims " + std::to_string(size) +
                                             " bytes, more than its " + std::to_string(input.size()) +
                                             " compressed bytes can hold");
    Bytes out(size);
    InflateStream stream(input, InflateStream::Wrapping::RawDeflate, format);
    if (auto failure = stream.ReadExactly(out.data(), out.size()))
        return *failure;
    return out;
}

std::optional<ReadFailure> ZstdDecodeExactly(ByteSpan input, std::uint8_t* out, std::size_t size, const char* format)
{
    const unsigned long long declared = ZSTD_getFrameContentSize(input.data(), input.size());
    if (declared == ZSTD_CONTENTSIZE_ERROR)
        return Fail(ReadError::Malformed, std::string(format) + ": a stream is not zstd data");
    if (declared != ZSTD_CONTENTSIZE_UNKNOWN && declared != size)
        return Fail(ReadError::Malformed, std::string(format) + ": a zstd stream holds " + std::to_string(declared) +
                                              " bytes where " + std::to_string(size) + " were expected");
    const std::size_t result = ZSTD_decompress(out, size, input.data(), input.size());
    if (ZSTD_isError(result)) {
        const ReadError code = ZSTD_getErrorCode(result) == ZSTD_error_srcSize_wrong ? ReadError::Truncated
                                                                                   : ReadError::Malformed;
        return Fail(code, std::string(format) + ": zstd stream: " + ZSTD_getErrorName(result));
    }
    if (result != size)
        return Fail(ReadError::Truncated, std::string(format) + ": a zstd stream holds " + std::to_string(result) +
                                              " bytes where " + std::to_string(size) + " were expected");
    return std::nullopt;
}
