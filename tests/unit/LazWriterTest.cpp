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

// Where a standard record keeps its GPS time, colour and wave packet; 0: not in the format.
struct FieldPlaces {
    std::size_t gpsTime = 0, rgb = 0, nir = 0, wavePacket = 0;
};

FieldPlaces PlacesOf(std::uint8_t format)
{
    static constexpr FieldPlaces kPlaces[11] = {
        {0, 0, 0, 0},   {20, 0, 0, 0},  {0, 20, 0, 0},  {20, 28, 0, 0},  {20, 0, 0, 28},  {20, 28, 0, 34},
        {22, 0, 0, 0},  {22, 30, 0, 0}, {22, 30, 36, 0}, {22, 0, 0, 30}, {22, 30, 36, 38},
    };
    return kPlaces[format];
}

// Records that take every coding path: runs of equal records, random ones, smooth stretches
// with small steps and regular GPS times, NaN and signed-zero times, far jumps, scanner
// channel switches, grey and coloured points, random extra bytes and wave packets.
class RecordGenerator {
public:
    RecordGenerator(std::uint8_t format, std::uint16_t recordLength, std::uint64_t seed)
        : m_format(format), m_recordLength(recordLength), m_places(PlacesOf(format)), m_random(seed), m_last(recordLength)
    {
        for (unsigned char& byte : m_last)
            byte = Byte();
    }

    Bytes Make(std::size_t count)
    {
        Bytes records;
        records.reserve(count * m_recordLength);
        for (std::size_t i = 0; i < count; ++i) {
            if (m_runLeft == 0) {
                m_mode = m_random() % 4;
                m_runLeft = 1 + m_random() % 40;
            }
            --m_runLeft;
            Next();
            records.insert(records.end(), m_last.begin(), m_last.end());
        }
        return records;
    }

private:
    unsigned char Byte() { return static_cast<unsigned char>(m_random()); }
    bool Chance(unsigned percent) { return m_random() % 100 < percent; }
    std::int32_t Small(std::int32_t spread) { return static_cast<std::int32_t>(m_random() % (2 * spread + 1)) - spread; }

    // A field moved by up to spread either way, wrapping as the field does.
    template <typename T>
    void Step(std::size_t at, std::int32_t spread)
    {
        const auto moved = static_cast<std::uint32_t>(LoadLE<T>(m_last.data() + at)) + static_cast<std::uint32_t>(Small(spread));
        StoreLE(m_last.data() + at, static_cast<T>(moved));
    }

    void Next()
    {
        unsigned char* record = m_last.data();
        switch (m_mode) {
        case 0:  // the same record again
            break;
        case 1:
            for (unsigned char& byte : m_last)
                byte = Byte();
            break;
        case 2:
            Smooth(record);
            break;
        default:  // a few bytes anywhere
            for (int flips = 1 + static_cast<int>(m_random() % 3); flips > 0; --flips)
                record[m_random() % m_recordLength] = Byte();
        }
    }

    void Smooth(unsigned char* record)
    {
        for (std::size_t axis = 0; axis < 3; ++axis)
            Step<std::int32_t>(4 * axis, Chance(5) ? 1 << 24 : 200);
        Step<std::uint16_t>(12, 30);
        if (Chance(30))
            record[14] = Byte();  // returns
        if (m_format >= 6 && Chance(25))
            record[15] = static_cast<unsigned char>((record[15] & 0xCF) | (m_random() % 4) << 4);  // scanner channel
        if (m_places.gpsTime != 0) {
            unsigned char* time = record + m_places.gpsTime;
            double seconds = std::bit_cast<double>(LoadLE<std::uint64_t>(time));
            if (!std::isfinite(seconds) || Chance(3))
                seconds = 1e5 * static_cast<double>(m_random() % 1000);
            if (Chance(85))
                seconds += 1e-5 * static_cast<double>(1 + m_random() % 3);
            else if (Chance(30))
                seconds = std::numeric_limits<double>::quiet_NaN();
            else if (Chance(50))
                seconds = std::signbit(seconds) ? 0.0 : -0.0;
            StoreLE(time, std::bit_cast<std::uint64_t>(seconds));
        }
        if (m_places.rgb != 0) {
            for (std::size_t channel = 0; channel < 3; ++channel)
                Step<std::uint16_t>(m_places.rgb + 2 * channel, Chance(50) ? 3 : 600);
            if (Chance(20)) {  // grey
                std::memcpy(record + m_places.rgb + 2, record + m_places.rgb, 2);
                std::memcpy(record + m_places.rgb + 4, record + m_places.rgb, 2);
            }
        }
        if (m_places.nir != 0)
            Step<std::uint16_t>(m_places.nir, 300);
        if (m_places.wavePacket != 0) {
            unsigned char* packet = record + m_places.wavePacket;
            const auto offset = LoadLE<std::uint64_t>(packet + 1);
            const std::uint64_t size = LoadLE<std::uint32_t>(packet + 9);
            if (Chance(50))
                StoreLE(packet + 1, offset + size);
            else if (Chance(30))  // the size read as negative
                StoreLE(packet + 1, offset + size - (std::uint64_t{1} << 32));
            else if (Chance(50))
                StoreLE(packet + 1, offset + static_cast<std::uint64_t>(Small(1000)));
            else
                StoreLE(packet + 1, (std::uint64_t{m_random()} << 32) | m_random());
            if (Chance(20))
                packet[0] = Byte();
        }
        const std::size_t standard = kStandardRecord[m_format];
        for (std::size_t at = standard; at < m_recordLength; ++at)
            if (Chance(30))
                record[at] = Byte();
    }

    std::uint8_t m_format;
    std::uint16_t m_recordLength;
    FieldPlaces m_places;
    std::mt19937 m_random;
    Bytes m_last;
    unsigned m_mode = 0;
    unsigned m_runLeft = 0;
};

// A LAS 1.4 file of the records alone, no VLRs.
LasImage LasOf(std::uint8_t format, std::uint16_t recordLength, const Bytes& records)
{
    Bytes file(375, 0);
    std::memcpy(file.data(), "LASF", 4);
    file[24] = 1;
    file[25] = 4;
    StoreLE(file.data() + 94, std::uint16_t{375});
    StoreLE(file.data() + 96, std::uint32_t{375});
    file[104] = format;
    StoreLE(file.data() + 105, recordLength);
    for (std::size_t axis = 0; axis < 3; ++axis)
        StoreLE(file.data() + 131 + 8 * axis, 0.01);
    StoreLE(file.data() + 247, std::uint64_t{records.size() / recordLength});
    file.insert(file.end(), records.begin(), records.end());
    return LasImage(std::move(file));
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

// The chunk writer gives the reference bytes too, split into pieces of any size, with and
// without a pool; its chunks and table make a file the reader decodes to the LAS records.
TEST(LazWriter, ChunkWriterOutputMakesFilesTheReaderDecodes)
{
    ORRISK_REQUIRE_TESTDATA();
    ThreadPool pool(3);
    const ScratchDir scratch;
    for (const auto& lasPath : ReferencePairs()) {
        const std::string name = lasPath.stem().string();
        const LasImage las(ReadBytes(lasPath));
        const LasImage reference(ReadBytes(lasPath.parent_path() / (name + ".laszip.laz")));
        const std::uint16_t recordLength = las.header.recordLength;
        const laz::LazLayout layout = laz::LayoutForFormat(las.header.format, recordLength).value();
        const std::uint64_t start = reference.header.pointDataOffset + 8;
        const auto tableOffset = LoadLE<std::uint64_t>(reference.bytes.data() + start - 8);
        const Bytes referenceChunks(reference.bytes.begin() + static_cast<std::ptrdiff_t>(start),
                                    reference.bytes.begin() + static_cast<std::ptrdiff_t>(tableOffset));
        for (ThreadPool* threads : {static_cast<ThreadPool*>(nullptr), &pool}) {
            const WriterOutput written = WriteChunks(layout, recordLength, las.Records(), las.header.pointCount, threads);
            ASSERT_TRUE(written.ok) << name;
            EXPECT_TRUE(written.bytes == referenceChunks) << name << (threads ? " with" : " without") << " a pool";
            std::uint64_t points = 0;
            for (const laz::ChunkEntry& chunk : written.chunks)
                points += chunk.pointCount;
            EXPECT_EQ(points, las.header.pointCount) << name;
            if (threads)
                continue;
            const auto path = scratch.Write(name + ".laz", AssembleLaz(las, layout, written.bytes, laz::EncodeChunkTable(written.chunks, false)));
            const std::optional<Bytes> records = ReadAllRecords(path, recordLength);
            ASSERT_TRUE(records) << name;
            EXPECT_TRUE(std::equal(records->begin(), records->end(), las.Records()) && records->size() == las.header.pointCount * recordLength)
                << name;
        }
    }
}

// Random records of every format, with and without extra bytes, in chunks of one point up to
// thousands, come back exactly; so do the cases where the reference compressor loses data.
TEST(LazWriter, RandomRecordsOfEveryFormatRoundTrip)
{
    for (std::uint8_t format = 0; format <= 10; ++format) {
        for (const std::uint16_t extra : {0, 3}) {
            const auto recordLength = static_cast<std::uint16_t>(kStandardRecord[format] + extra);
            const laz::LazLayout layout = laz::LayoutForFormat(format, recordLength).value();
            const std::uint32_t total = 3000;
            const Bytes records = RecordGenerator(format, recordLength, 7 * format + extra).Make(total);
            for (const std::uint32_t chunkSize : {1u, 2u, 17u, total}) {
                const std::uint32_t covered = chunkSize < 20 ? 300 : total;  // small chunks cost their models
                for (std::uint32_t first = 0; first < covered; first += chunkSize) {
                    const std::uint32_t count = std::min(chunkSize, covered - first);
                    const unsigned char* chunkRecords = records.data() + std::size_t{first} * recordLength;
                    const std::optional<Bytes> decoded = DecodeBack(layout, recordLength, laz::EncodeChunk(layout, recordLength, chunkRecords, count), count);
                    ASSERT_TRUE(decoded && std::equal(decoded->begin(), decoded->end(), chunkRecords))
                        << "format " << int(format) << " + " << extra << " bytes, chunk of " << count << " from " << first;
                }
            }
        }
    }
}

// Variable chunks (one per COPC node) of random sizes: the same bytes with and without a
// pool, a table that locates them, and a file the reader decodes to the records.
TEST(LazWriter, VariableChunksComeBackThroughTheReader)
{
    ThreadPool pool(2);
    const ScratchDir scratch;
    std::mt19937 random(11);
    for (std::uint8_t format = 0; format <= 10; ++format) {
        const auto recordLength = static_cast<std::uint16_t>(kStandardRecord[format] + format % 3);
        const laz::LazLayout layout = laz::LayoutForFormat(format, recordLength, laz::kVariableChunks).value();
        const std::size_t total = 5000;
        const Bytes records = RecordGenerator(format, recordLength, 100 + format).Make(total);
        std::vector<std::size_t> ends;
        for (std::size_t end = 1; end < total; end += 1 + random() % 900)
            ends.push_back(end);
        ends.push_back(total);
        const WriterOutput serial = WriteChunks(layout, recordLength, records.data(), total, nullptr, ends);
        const WriterOutput parallel = WriteChunks(layout, recordLength, records.data(), total, &pool, ends);
        ASSERT_TRUE(serial.ok && parallel.ok) << int(format);
        EXPECT_TRUE(serial.bytes == parallel.bytes) << int(format);
        ASSERT_EQ(serial.chunks.size(), ends.size()) << int(format);
        for (std::size_t i = 0; i < ends.size(); ++i)
            EXPECT_EQ(serial.chunks[i].pointCount, ends[i] - (i ? ends[i - 1] : 0)) << int(format);

        const LasImage las = LasOf(format, recordLength, records);
        const auto path = scratch.Write("variable.laz", AssembleLaz(las, layout, serial.bytes, laz::EncodeChunkTable(serial.chunks, true)));
        const std::optional<Bytes> decoded = ReadAllRecords(path, recordLength);
        ASSERT_TRUE(decoded) << int(format);
        EXPECT_TRUE(*decoded == records) << int(format);
    }
}

// The layout of every format, with and without extra bytes, is one the reader accepts from
// the VLR the writer makes of it; what no layout fits is refused.
TEST(LazWriter, LayoutsAndVlrsAreOnesTheReaderAccepts)
{
    for (std::uint8_t format = 0; format <= 10; ++format) {
        for (const std::uint16_t extra : {0, 1, 200}) {
            const auto recordLength = static_cast<std::uint16_t>(kStandardRecord[format] + extra);
            for (const std::uint32_t chunkSize : {50000u, 1u, laz::kVariableChunks}) {
                const std::optional<laz::LazLayout> layout = laz::LayoutForFormat(format, recordLength, chunkSize);
                ASSERT_TRUE(layout) << int(format);
                EXPECT_EQ(layout->compressor, format >= 6 ? laz::Compressor::LayeredChunked : laz::Compressor::PointWiseChunked);
                EXPECT_EQ(layout->items.size(), laz::CoreItems(format, format >= 6).size() + (extra ? 1 : 0));
                const Bytes payload = laz::LazVlrPayload(*layout);
                const ReadResult<laz::LazLayout> parsed = laz::ParseLazVlr(payload.data(), payload.size(), format, recordLength);
                ASSERT_TRUE(parsed.Ok()) << int(format) << ": " << parsed.Failure().reason;
                EXPECT_EQ(parsed.Value().chunkSize, chunkSize);
                EXPECT_EQ(laz::LazVlrPayload(parsed.Value()), payload);
            }
        }
        EXPECT_FALSE(laz::LayoutForFormat(format, static_cast<std::uint16_t>(kStandardRecord[format] - 1))) << int(format);
        EXPECT_FALSE(laz::LayoutForFormat(format, kStandardRecord[format], 0)) << int(format);
    }
    EXPECT_FALSE(laz::LayoutForFormat(11, 100));
    EXPECT_FALSE(laz::LayoutForFormat(0x83, 34));  // the compression bits are not a format
}

TEST(LazWriter, RefusesWhatItCannotEncode)
{
    const laz::LazLayout layout = laz::LayoutForFormat(3, 34).value();
    const Bytes records = RecordGenerator(3, 34, 5).Make(10);
    EXPECT_TRUE(laz::EncodeChunk(layout, 34, records.data(), 0).empty());
    EXPECT_TRUE(laz::EncodeChunk(layout, 35, records.data(), 1).empty());  // the items do not add up
    laz::LazLayout version1 = layout;
    for (laz::Item& item : version1.items)
        item.version = 1;
    EXPECT_TRUE(laz::EncodeChunk(version1, 34, records.data(), 1).empty());
    laz::LazLayout pointwise14 = laz::LayoutForFormat(6, 30).value();
    pointwise14.compressor = laz::Compressor::PointWiseChunked;
    EXPECT_TRUE(laz::EncodeChunk(pointwise14, 30, records.data(), 1).empty());

    laz::LazChunkWriter unusable(version1, 34, [](const unsigned char*, std::size_t) { return true; });
    EXPECT_FALSE(unusable.Usable());
    EXPECT_FALSE(unusable.Add(records.data(), 1));
    EXPECT_FALSE(unusable.Finish());

    EXPECT_EQ(laz::EncodeChunkTable({}, false), Bytes(8, 0));
    EXPECT_TRUE(laz::EncodeChunkTable({{10, std::uint64_t{1} << 32}}, false).empty());
}

// Fixed chunks cannot be ended early, ending an empty variable chunk writes nothing, and a
// sink that fails stops the writer for good, with only the chunks written before listed.
TEST(LazWriter, ChunkWriterStopsWhereItMust)
{
    const laz::LazLayout fixed = laz::LayoutForFormat(7, 36, 100).value();
    const Bytes records = RecordGenerator(7, 36, 9).Make(1000);
    laz::LazChunkWriter fixedWriter(fixed, 36, [](const unsigned char*, std::size_t) { return true; });
    ASSERT_TRUE(fixedWriter.Add(records.data(), 150));
    EXPECT_FALSE(fixedWriter.EndChunk());
    ASSERT_TRUE(fixedWriter.Finish());
    ASSERT_EQ(fixedWriter.Chunks().size(), 2u);
    EXPECT_EQ(fixedWriter.Chunks()[1].pointCount, 50u);

    const laz::LazLayout variable = laz::LayoutForFormat(7, 36, laz::kVariableChunks).value();
    laz::LazChunkWriter variableWriter(variable, 36, [](const unsigned char*, std::size_t) { return true; });
    EXPECT_TRUE(variableWriter.EndChunk());
    ASSERT_TRUE(variableWriter.Add(records.data(), 3));
    EXPECT_TRUE(variableWriter.EndChunk());
    EXPECT_TRUE(variableWriter.EndChunk());
    ASSERT_TRUE(variableWriter.Finish());
    ASSERT_EQ(variableWriter.Chunks().size(), 1u);

    ThreadPool pool(2);
    for (ThreadPool* threads : {static_cast<ThreadPool*>(nullptr), &pool}) {
        int writes = 0;
        laz::LazChunkWriter failing(fixed, 36, [&](const unsigned char*, std::size_t) { return ++writes < 3; }, threads);
        bool added = true;
        for (std::size_t first = 0; first < 1000 && added; first += 10)
            added = failing.Add(records.data() + first * 36, 10);
        EXPECT_FALSE(added && failing.Finish());
        EXPECT_FALSE(failing.Add(records.data(), 1));
        EXPECT_FALSE(failing.Finish());
        EXPECT_EQ(writes, 3);
        EXPECT_EQ(failing.Chunks().size(), 2u);
    }
}

// A writer running on a pool's only worker encodes its chunks itself rather than wait for a
// worker that never comes free.
TEST(LazWriter, ChunkWriterInsideAPoolJobDoesNotWaitForItself)
{
    ThreadPool pool(1);
    const laz::LazLayout layout = laz::LayoutForFormat(1, 28, 50).value();
    const Bytes records = RecordGenerator(1, 28, 3).Make(1000);
    WriterOutput inside;
    pool.Submit([&] { inside = WriteChunks(layout, 28, records.data(), 1000, &pool); }).get();
    const WriterOutput serial = WriteChunks(layout, 28, records.data(), 1000, nullptr);
    ASSERT_TRUE(inside.ok && serial.ok);
    EXPECT_TRUE(inside.bytes == serial.bytes);
    EXPECT_EQ(inside.chunks.size(), 20u);
}
