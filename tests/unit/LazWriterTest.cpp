#include "io/core/LittleEndian.h"
#include "io/las/LasRecords.h"
#include "io/laz/ChunkDecoder.h"
#include "io/laz/LazReader.h"
#include "io/laz/LazWriter.h"
#include "platform/ThreadPool.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

using testsupport::ScratchDir;
using testsupport::TestDataFile;

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::size_t kVlrHeaderSize = 54;
constexpr std::uint16_t kStandardRecord[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};

Bytes ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

struct LasImage {
    las::LasHeader header;
    Bytes bytes;

    explicit LasImage(Bytes file) : bytes(std::move(file))
    {
        las::HeaderImage image{};
        std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
        header = las::ParseHeader(image);
    }
    const unsigned char* Records() const { return bytes.data() + header.pointDataOffset; }
    // Where the VLRs end: a new one goes there, before any bytes kept ahead of the points.
    std::size_t VlrEnd() const
    {
        std::size_t at = header.headerSize;
        for (std::uint32_t i = 0; i < header.vlrCount; ++i)
            at += kVlrHeaderSize + LoadLE<std::uint16_t>(bytes.data() + at + 20);
        return at;
    }
    Bytes LaszipPayload() const
    {
        std::size_t at = header.headerSize;
        for (std::uint32_t i = 0; i < header.vlrCount; ++i) {
            const auto length = LoadLE<std::uint16_t>(bytes.data() + at + 20);
            if (LoadLE<std::uint16_t>(bytes.data() + at + 18) == laz::kLaszipRecordId)
                return Bytes(bytes.begin() + at + kVlrHeaderSize, bytes.begin() + at + kVlrHeaderSize + length);
            at += kVlrHeaderSize + length;
        }
        return {};
    }
};

std::vector<std::filesystem::path> ReferencePairs()
{
    std::vector<std::filesystem::path> pairs;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataFile("laz-write")))
        if (entry.path().extension() == ".las")
            pairs.push_back(entry.path());
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

std::string FirstDifference(const Bytes& ours, const unsigned char* theirs, std::size_t theirSize)
{
    const std::size_t common = std::min(ours.size(), theirSize);
    const auto at = std::mismatch(ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(common), theirs).first - ours.begin();
    return "first difference at byte " + std::to_string(at) + " of " + std::to_string(ours.size()) + " (reference "
         + std::to_string(theirSize) + ")";
}

// The records a chunk decodes to, or nothing when it does not decode to exactly count records.
std::optional<Bytes> DecodeBack(const laz::LazLayout& layout, std::uint16_t recordLength, const Bytes& chunk, std::uint32_t count)
{
    Bytes records(std::size_t{count} * recordLength);
    const laz::ChunkOutcome outcome = laz::DecodeChunk(layout, recordLength, laz::kAllFields, chunk.data(), chunk.size(), count,
                                                       records.data());
    if (!outcome.ok || outcome.consumed != chunk.size())
        return std::nullopt;
    return records;
}

// A LAZ file of the LAS file's header and VLRs, the LASzip VLR, the chunk table offset, the
// chunks and the table; EVLRs are left out.
Bytes AssembleLaz(const LasImage& las, const laz::LazLayout& layout, const Bytes& chunks, const Bytes& table)
{
    const Bytes payload = laz::LazVlrPayload(layout);
    const std::size_t vlrEnd = las.VlrEnd();
    Bytes file(las.bytes.begin(), las.bytes.begin() + vlrEnd);
    Bytes vlr(kVlrHeaderSize, 0);
    std::memcpy(vlr.data() + 2, laz::kLaszipUserId, sizeof laz::kLaszipUserId);
    StoreLE(vlr.data() + 18, laz::kLaszipRecordId);
    StoreLE(vlr.data() + 20, static_cast<std::uint16_t>(payload.size()));
    file.insert(file.end(), vlr.begin(), vlr.end());
    file.insert(file.end(), payload.begin(), payload.end());
    file.insert(file.end(), las.bytes.begin() + vlrEnd, las.bytes.begin() + las.header.pointDataOffset);
    const auto pointDataOffset = static_cast<std::uint32_t>(file.size());
    StoreLE(file.data() + 96, pointDataOffset);
    StoreLE(file.data() + 100, las.header.vlrCount + 1);
    file[104] = static_cast<unsigned char>(las.header.formatByte | 0x80);
    if (las.header.headerSize >= 375) {  // LAS 1.4: no EVLRs
        StoreLE(file.data() + 235, std::uint64_t{0});
        StoreLE(file.data() + 243, std::uint32_t{0});
    }
    const std::uint64_t tableOffset = pointDataOffset + 8 + chunks.size();
    file.resize(file.size() + 8);
    StoreLE(file.data() + pointDataOffset, tableOffset);
    file.insert(file.end(), chunks.begin(), chunks.end());
    file.insert(file.end(), table.begin(), table.end());
    return file;
}

// Every record of a LAZ file in file order; nothing when the reader refuses it.
std::optional<Bytes> ReadAllRecords(const std::filesystem::path& path, std::uint16_t recordLength)
{
    Bytes records;
    const ReadResult<LazFileInfo> read = DecodeLazRecords(path.string(), laz::kAllFields,
        [&](std::uint64_t, const unsigned char* chunk, std::size_t count) {
            records.insert(records.end(), chunk, chunk + count * recordLength);
        });
    if (!read.Ok())
        return std::nullopt;
    return records;
}

struct WriterOutput {
    Bytes bytes;
    std::vector<laz::ChunkEntry> chunks;
    bool ok = false;
};

// Feeds the records to a chunk writer in uneven pieces; chunkEnds: where variable chunks end.
WriterOutput WriteChunks(const laz::LazLayout& layout, std::uint16_t recordLength, const unsigned char* records, std::size_t count,
                         ThreadPool* pool, const std::vector<std::size_t>& chunkEnds = {})
{
    WriterOutput output;
    laz::LazChunkWriter writer(layout, recordLength, [&](const unsigned char* bytes, std::size_t size) {
        output.bytes.insert(output.bytes.end(), bytes, bytes + size);
        return true;
    }, pool);
    std::size_t at = 0;
    std::size_t piece = 1;
    std::size_t nextEnd = 0;
    bool ok = true;
    while (at < count) {
        std::size_t take = std::min(piece, count - at);
        if (nextEnd < chunkEnds.size())
            take = std::min(take, chunkEnds[nextEnd] - at);
        ok &= writer.Add(records + at * recordLength, take);
        at += take;
        piece = piece * 3 + 1;
        if (nextEnd < chunkEnds.size() && at == chunkEnds[nextEnd]) {
            ok &= writer.EndChunk();
            ++nextEnd;
        }
    }
    output.ok = ok && writer.Finish();
    output.chunks = writer.Chunks();
    return output;
}

}  // namespace

// Each pair in laz-write/ is a LAS file and the LAZ the reference compressor made of it: the
// layout, the LASzip VLR, every chunk and the chunk table must come out byte for byte, and
// every chunk must decode back to its records.
TEST(LazWriter, ReproducesEveryReferenceCompressionByteForByte)
{
    ORRISK_REQUIRE_TESTDATA();
    const auto pairs = ReferencePairs();
    ASSERT_GE(pairs.size(), 38u);
    for (const auto& lasPath : pairs) {
        const std::string name = lasPath.stem().string();
        const LasImage las(ReadBytes(lasPath));
        const LasImage reference(ReadBytes(lasPath.parent_path() / (name + ".laszip.laz")));
        const std::uint16_t recordLength = las.header.recordLength;
        const Bytes payload = reference.LaszipPayload();
        const std::optional<laz::LazLayout> layout = laz::LayoutForFormat(las.header.format, recordLength);
        ASSERT_TRUE(layout) << name;
        EXPECT_EQ(laz::LazVlrPayload(*layout), payload) << name;

        const std::uint64_t start = reference.header.pointDataOffset;
        const auto tableOffset = LoadLE<std::uint64_t>(reference.bytes.data() + start);
        ASSERT_LE(tableOffset, reference.bytes.size()) << name;
        std::uint64_t at = start + 8;
        std::vector<laz::ChunkEntry> entries;
        for (std::uint64_t first = 0; first < las.header.pointCount; first += layout->chunkSize) {
            const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(layout->chunkSize, las.header.pointCount - first));
            const unsigned char* records = las.Records() + first * recordLength;
            const Bytes chunk = laz::EncodeChunk(*layout, recordLength, records, count);
            const std::size_t theirs = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), tableOffset - at));
            ASSERT_TRUE(chunk.size() <= tableOffset - at && std::equal(chunk.begin(), chunk.end(), reference.bytes.begin() + at))
                << name << ", chunk " << entries.size() << ": " << FirstDifference(chunk, reference.bytes.data() + at, theirs);
            const std::optional<Bytes> decoded = DecodeBack(*layout, recordLength, chunk, count);
            ASSERT_TRUE(decoded && std::equal(decoded->begin(), decoded->end(), records)) << name << ", chunk " << entries.size();
            entries.push_back({count, chunk.size()});
            at += chunk.size();
        }
        EXPECT_EQ(at, tableOffset) << name;
        const Bytes table = laz::EncodeChunkTable(entries, false);
        ASSERT_LE(tableOffset + table.size(), reference.bytes.size()) << name;
        EXPECT_TRUE(std::equal(table.begin(), table.end(), reference.bytes.begin() + static_cast<std::ptrdiff_t>(tableOffset)))
            << name << ": the chunk table differs";
    }
}
