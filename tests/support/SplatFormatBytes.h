#pragma once

#include <zlib.h>
#include <zstd.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Builders for SPZ files in tests: the 16-byte header with its attribute blocks, wrapped in
// gzip (versions 1 to 3) or laid out as version 4's table of zstd streams.
namespace testsupport {

inline void PutU32(std::string& s, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

inline void PutU64(std::string& s, std::uint64_t v)
{
    PutU32(s, static_cast<std::uint32_t>(v));
    PutU32(s, static_cast<std::uint32_t>(v >> 32));
}

struct SpzHeaderFields {
    std::uint32_t version = 3;
    std::uint32_t count = 1;
    std::uint8_t shDegree = 0;
    std::uint8_t fractionalBits = 12;
    std::uint8_t flags = 0;
};

inline std::string SpzHeaderBytes(const SpzHeaderFields& h, std::uint8_t lastByte = 0)
{
    std::string s = "NGSP";
    PutU32(s, h.version);
    PutU32(s, h.count);
    s.push_back(static_cast<char>(h.shDegree));
    s.push_back(static_cast<char>(h.fractionalBits));
    s.push_back(static_cast<char>(h.flags));
    s.push_back(static_cast<char>(lastByte));
    return s;
}

inline std::string Gzip(const std::string& data)
{
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline std::string Zstd(const std::string& data)
{
    std::string out(ZSTD_compressBound(data.size()), '\0');
    const std::size_t size = ZSTD_compress(out.data(), out.size(), data.data(), data.size(), 3);
    if (ZSTD_isError(size))
        throw std::runtime_error("ZSTD_compress");
    out.resize(size);
    return out;
}

// An SPZ version 1-3 file: gzip(header + blocks).
inline std::string SpzGzipFile(const SpzHeaderFields& h, const std::vector<std::string>& blocks)
{
    std::string payload = SpzHeaderBytes(h);
    for (const std::string& block : blocks)
        payload += block;
    return Gzip(payload);
}

// An SPZ version 4 file: the 32-byte header, `extension` bytes, the stream table (declared
// sizes as given, or the blocks' own when empty) and the zstd streams.
inline std::string SpzV4File(SpzHeaderFields h, const std::vector<std::string>& blocks, const std::string& extension = {},
                             std::vector<std::uint64_t> declaredSizes = {})
{
    h.version = 4;
    std::string file = SpzHeaderBytes(h, static_cast<std::uint8_t>(blocks.size()));
    PutU32(file, static_cast<std::uint32_t>(32 + extension.size()));
    file.append(12, '\0');
    file += extension;
    std::vector<std::string> streams;
    for (const std::string& block : blocks)
        streams.push_back(Zstd(block));
    for (std::size_t s = 0; s < blocks.size(); ++s) {
        PutU64(file, streams[s].size());
        PutU64(file, declaredSizes.empty() ? blocks[s].size() : declaredSizes[s]);
    }
    for (const std::string& stream : streams)
        file += stream;
    return file;
}

}  // namespace testsupport
