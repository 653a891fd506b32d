// The LAZ encoder: any records of any format, with up to seven extra bytes, cut into chunks
// where the input says, must decode back to themselves, and the chunk writer must give the
// bytes EncodeChunk gives.
#include "io/laz/ChunkDecoder.h"
#include "io/laz/LazWriter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint16_t kStandardRecord[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};

void CheckRoundTrip(const laz::LazLayout& layout, std::uint16_t recordLength, const unsigned char* records, std::uint32_t count,
                    const std::vector<unsigned char>& chunk)
{
    std::vector<unsigned char> decoded(std::size_t{count} * recordLength);
    const laz::ChunkOutcome outcome = laz::DecodeChunk(layout, recordLength, laz::kAllFields, chunk.data(), chunk.size(), count,
                                                       decoded.data());
    if (!outcome.ok || outcome.consumed != chunk.size() || std::memcmp(decoded.data(), records, decoded.size()) != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const std::uint8_t format = data[0] % 11;
    const auto recordLength = static_cast<std::uint16_t>(kStandardRecord[format] + data[1] % 8);
    // Variable chunks of this many points (the last one shorter): 1 to 16, or hundreds.
    const std::size_t chunkStep = data[2] < 128 ? 1 + data[2] % 16 : 8 * std::size_t{data[2]};
    data += 3;
    size -= 3;
    const auto count = static_cast<std::uint32_t>(size / recordLength);
    if (count == 0)
        return 0;
    const laz::LazLayout layout = laz::LayoutForFormat(format, recordLength, laz::kVariableChunks).value();

    std::vector<unsigned char> expected;
    for (std::uint32_t first = 0; first < count; first += static_cast<std::uint32_t>(chunkStep)) {
        const auto points = static_cast<std::uint32_t>(std::min<std::size_t>(chunkStep, count - first));
        const unsigned char* records = data + std::size_t{first} * recordLength;
        const std::vector<unsigned char> chunk = laz::EncodeChunk(layout, recordLength, records, points);
        CheckRoundTrip(layout, recordLength, records, points, chunk);
        expected.insert(expected.end(), chunk.begin(), chunk.end());
    }

    std::vector<unsigned char> written;
    laz::LazChunkWriter writer(layout, recordLength, [&](const unsigned char* bytes, std::size_t length) {
        written.insert(written.end(), bytes, bytes + length);
        return true;
    });
    for (std::uint32_t first = 0; first < count; first += static_cast<std::uint32_t>(chunkStep)) {
        const auto points = std::min<std::size_t>(chunkStep, count - first);
        if (!writer.Add(data + std::size_t{first} * recordLength, points) || !writer.EndChunk())
            std::abort();
    }
    if (!writer.Finish() || written != expected || laz::EncodeChunkTable(writer.Chunks(), true).empty())
        std::abort();
    return 0;
}
