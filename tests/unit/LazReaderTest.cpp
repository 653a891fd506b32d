#include "scene/PointCloudData.h"
#include "io/las/LasReader.h"
#include "io/las/LasRecords.h"
#include "io/laz/LazReader.h"
#include "platform/ThreadPool.h"
#include "support/TestData.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using testsupport::ScratchDir;
using testsupport::TestDataDir;
using testsupport::TestDataFile;

namespace {

struct RecordDigest {
    std::uint64_t count = 0;
    std::uint64_t hash = 0xcbf29ce484222325ull;
    std::uint64_t nextPoint = 0;
    bool inOrder = true;
};

// Every record byte, in file order, through FNV-1a 64.
ReadResult<LazFileInfo> DigestRecords(const std::string& path, RecordDigest& digest)
{
    const ReadResult<LazFileInfo> info = ReadLazInfo(path);
    if (!info)
        return info;
    const std::size_t recordLength = info.Value().header.recordLength;
    return DecodeLazRecords(path, laz::kAllFields, [&](std::uint64_t firstPoint, const unsigned char* records, std::size_t count) {
        digest.inOrder &= firstPoint == digest.nextPoint;
        digest.nextPoint = firstPoint + count;
        digest.count += count;
        for (std::size_t i = 0; i < count * recordLength; ++i) {
            digest.hash ^= records[i];
            digest.hash *= 0x100000001b3ull;
        }
    });
}

// X, Y and Z of every record, decoding the given fields.
std::vector<unsigned char> Coordinates(const std::string& path, laz::FieldMask fields)
{
    const std::size_t recordLength = ReadLazInfo(path).Value().header.recordLength;
    std::vector<unsigned char> xyz;
    const ReadResult<LazFileInfo> decoded = DecodeLazRecords(path, fields, [&](std::uint64_t, const unsigned char* records, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            xyz.insert(xyz.end(), records + i * recordLength, records + i * recordLength + 12);
    });
    EXPECT_TRUE(decoded.Ok()) << path;
    return xyz;
}

std::vector<std::filesystem::path> CorpusFiles(const std::string& suffix)
{
    std::vector<std::filesystem::path> files;
    if (TestDataDir().empty())
        return files;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataFile("laz")))
        if (entry.path().string().ends_with(suffix))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string Stem(const std::filesystem::path& path, const std::string& suffix)
{
    const std::string name = path.filename().string();
    return name.substr(0, name.size() - suffix.size());
}

void ExpectSameCloud(const PointCloudData& expected, const PointCloudData& actual, const std::string& what)
{
    ASSERT_EQ(expected.positions.size(), actual.positions.size()) << what;
    EXPECT_EQ(expected.origin, actual.origin) << what;
    EXPECT_EQ(expected.hasColors, actual.hasColors) << what;
    EXPECT_TRUE(expected.positions == actual.positions) << what;
    EXPECT_TRUE(expected.colors == actual.colors) << what;
    EXPECT_TRUE(expected.intensity == actual.intensity) << what;
    EXPECT_TRUE(expected.classification == actual.classification) << what;
    EXPECT_TRUE(expected.returnNumber == actual.returnNumber) << what;
    EXPECT_TRUE(expected.numberOfReturns == actual.numberOfReturns) << what;
    EXPECT_EQ(expected.boundsMin, actual.boundsMin) << what;
    EXPECT_EQ(expected.boundsMax, actual.boundsMax) << what;
}

}  // namespace

TEST(LazReader, EveryCorpusFileDecodesToTheRecordsOfItsExpectation)
{
    ORRISK_REQUIRE_TESTDATA();
    const auto expectations = CorpusFiles(".expect.json");
    ASSERT_FALSE(expectations.empty());
    for (const auto& expectPath : expectations) {
        const std::string name = Stem(expectPath, ".expect.json");
        const nlohmann::json expected = nlohmann::json::parse(std::ifstream(expectPath));
        RecordDigest digest;
        const ReadResult<LazFileInfo> result = DigestRecords(TestDataFile("laz/" + name + ".laz").string(), digest);
        ASSERT_TRUE(result.Ok()) << name << ": " << result.Failure().reason;
        EXPECT_EQ(digest.count, expected["count"].get<std::uint64_t>()) << name;
        EXPECT_EQ(result.Value().header.recordLength, expected["recordLength"].get<int>()) << name;
        EXPECT_EQ(result.Value().header.format, expected["pointFormat"].get<int>()) << name;
        EXPECT_TRUE(digest.inOrder) << name;
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(digest.hash));
        EXPECT_EQ(std::string(hex), expected["recordsFnv1a64"].get<std::string>()) << name;
    }
}

// Each pair in laz-write/ is a LAS file and the LAZ the reference compressor made of it:
// every record, every byte, must come back, for every format and both compressors.
TEST(LazReader, EveryReferencePairDecodesToTheRecordsOfItsLas)
{
    ORRISK_REQUIRE_TESTDATA();
    std::vector<std::filesystem::path> pairs;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataFile("laz-write")))
        if (entry.path().extension() == ".las")
            pairs.push_back(entry.path());
    ASSERT_GE(pairs.size(), 30u);
    ThreadPool pool(2);
    for (const auto& lasPath : pairs) {
        const std::string name = lasPath.stem().string();
        std::ifstream in(lasPath, std::ios::binary);
        const std::vector<unsigned char> las{std::istreambuf_iterator<char>(in), {}};
        las::HeaderImage image{};
        std::copy_n(las.begin(), std::min(las.size(), image.size()), image.begin());
        const las::LasHeader lasHeader = las::ParseHeader(image);
        ASSERT_GE(las.size(), lasHeader.pointDataOffset + lasHeader.pointCount * lasHeader.recordLength) << name;
        const std::string lazPath = lasPath.parent_path() / (name + ".laszip.laz");
        for (ThreadPool* threads : {static_cast<ThreadPool*>(nullptr), &pool}) {
            std::vector<unsigned char> decoded(lasHeader.pointCount * lasHeader.recordLength);
            const ReadResult<LazFileInfo> result = DecodeLazRecords(lazPath, laz::kAllFields,
                [&](std::uint64_t first, const unsigned char* records, std::size_t count) {
                    std::memcpy(decoded.data() + first * lasHeader.recordLength, records, count * lasHeader.recordLength);
                }, {{}, threads});
            ASSERT_TRUE(result.Ok()) << name << ": " << result.Failure().reason;
            ASSERT_EQ(result.Value().header.pointCount, lasHeader.pointCount) << name;
            ASSERT_EQ(result.Value().header.recordLength, lasHeader.recordLength) << name;
            const auto expected = las.begin() + lasHeader.pointDataOffset;
            const auto mismatch = std::mismatch(decoded.begin(), decoded.end(), expected);
            EXPECT_TRUE(mismatch.first == decoded.end())
                << name << ": record " << (mismatch.first - decoded.begin()) / lasHeader.recordLength << ", byte "
                << (mismatch.first - decoded.begin()) % lasHeader.recordLength << " differs";
        }
    }
}

TEST(LazReader, LoadsExactlyTheArraysOfItsUncompressedTwin)
{
    ORRISK_REQUIRE_TESTDATA();
    const auto twins = CorpusFiles(".uncompressed.las");
    ASSERT_FALSE(twins.empty());
    ThreadPool pool(3);
    for (const auto& twin : twins) {
        const std::string name = Stem(twin, ".uncompressed.las");
        ReadResult<PointCloudData> twinRead = ReadLas(twin.string());
        ASSERT_TRUE(twinRead.Ok()) << name;
        const PointCloudData& expected = twinRead.Value();
        for (ThreadPool* threads : {static_cast<ThreadPool*>(nullptr), &pool}) {
            ReadResult<PointCloudData> loaded = ReadLaz(TestDataFile("laz/" + name + ".laz").string(), {{}, threads});
            ASSERT_TRUE(loaded.Ok()) << name << ": " << loaded.Failure().reason;
            ExpectSameCloud(expected, loaded.Value(), name);
        }
    }
}

TEST(LazReader, ParallelChunksGiveTheArraysOfTheSerialRead)
{
    ORRISK_REQUIRE_TESTDATA();
    ThreadPool pool(4);
    for (const char* name : {"laz/autzen_trim.laz", "laz/lone-star.copc.laz"}) {
        ReadResult<PointCloudData> serial = ReadLaz(TestDataFile(name).string());
        ReadResult<PointCloudData> parallel = ReadLaz(TestDataFile(name).string(), {{}, &pool});
        ASSERT_TRUE(serial.Ok() && parallel.Ok()) << name;
        ExpectSameCloud(serial.Value(), parallel.Value(), name);
    }
    // autzen_trim.laz holds exactly the records of the LAS file of the same name.
    ReadResult<PointCloudData> las = ReadLas(TestDataFile("las/autzen_trim.las").string());
    ASSERT_TRUE(las.Ok());
    ExpectSameCloud(las.Value(), ReadLaz(TestDataFile("laz/autzen_trim.laz").string(), {{}, &pool}).Value(), "autzen_trim");
}

TEST(LazReader, ViewerFieldsOfLayeredFilesMatchAFullDecode)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* name : {"laz/lone-star.copc.laz", "laz/simple.copc.laz", "laz/append-bug.laz", "laz/fullwave.laz"}) {
        const std::string path = TestDataFile(name).string();
        EXPECT_EQ(Coordinates(path, laz::kAllFields), Coordinates(path, laz::kFieldXyz)) << name;
    }
}

namespace {

template <typename T>
std::string Patched(std::string bytes, std::size_t at, T value)
{
    if (at + sizeof value <= bytes.size())
        std::memcpy(bytes.data() + at, &value, sizeof value);
    else
        ADD_FAILURE() << "patch outside the file";
    return bytes;
}

template <typename T>
T FieldOf(const std::string& bytes, std::size_t at)
{
    T value{};
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// The 8-byte chunk table offset just before the chunks.
std::size_t TableOffsetAt(const std::string& file)
{
    return FieldOf<std::uint32_t>(file, 96);
}

std::uint64_t HashOf(const std::string& path, ReadResult<LazFileInfo>* info = nullptr)
{
    RecordDigest digest;
    ReadResult<LazFileInfo> result = DigestRecords(path, digest);
    EXPECT_TRUE(result.Ok()) << path << ": " << (result.Ok() ? "" : result.Failure().reason);
    if (info)
        *info = std::move(result);
    return digest.hash;
}

}  // namespace

TEST(LazReader, ChunkTableOffsetOfMinusOneIsFoundAtTheEndOfTheFile)
{
    ORRISK_REQUIRE_TESTDATA();
    ScratchDir dir;
    const std::string original = testsupport::ReadWholeFile(TestDataFile("laz/autzen_trim.laz"));
    const std::size_t at = TableOffsetAt(original);
    const auto tableOffset = FieldOf<std::int64_t>(original, at);
    std::string moved = Patched(original, at, std::int64_t{-1});
    moved.append(reinterpret_cast<const char*>(&tableOffset), sizeof tableOffset);

    ReadResult<LazFileInfo> info = Fail(ReadError::Malformed, "");
    EXPECT_EQ(HashOf(dir.Write("moved.laz", moved).string(), &info), HashOf(TestDataFile("laz/autzen_trim.laz").string()));
    ASSERT_TRUE(info.Ok());
    EXPECT_FALSE(info.Value().sequential);
    EXPECT_EQ(info.Value().chunkCount, 3u);
}

TEST(LazReader, LayeredVariableChunksAreWalkedWithoutTheirTable)
{
    ORRISK_REQUIRE_TESTDATA();
    ScratchDir dir;
    const std::string copc = testsupport::ReadWholeFile(TestDataFile("laz/simple.copc.laz"));
    const std::string damaged = Patched(copc, TableOffsetAt(copc), std::int64_t{-5});
    ReadResult<LazFileInfo> info = Fail(ReadError::Malformed, "");
    EXPECT_EQ(HashOf(dir.Write("walked.copc.laz", damaged).string(), &info), HashOf(TestDataFile("laz/simple.copc.laz").string()));
    ASSERT_TRUE(info.Ok());
    EXPECT_TRUE(info.Value().sequential);
    EXPECT_EQ(info.Value().chunkCount, 65u);
}

TEST(LazReader, PointWiseVariableChunksWithoutATableFailWithTheReason)
{
    ORRISK_REQUIRE_TESTDATA();
    ScratchDir dir;
    const std::string simple = testsupport::ReadWholeFile(TestDataFile("laz/simple.laz"));
    // The LASzip record's chunk size (payload offset 12) set to "variable", the table offset broken.
    std::string variable = Patched(simple, 227 + 54 + 12, laz::kVariableChunks);
    variable = Patched(variable, TableOffsetAt(simple), std::int64_t{1} << 40);
    const ReadResult<PointCloudData> loaded = ReadLaz(dir.Write("variable.laz", variable).string());
    ASSERT_FALSE(loaded.Ok());
    EXPECT_EQ(loaded.Failure().code, ReadError::Malformed);
    EXPECT_EQ(loaded.Failure().reason.rfind("LAZ: variable chunks without a usable chunk table", 0), 0u) << loaded.Failure().reason;
}

TEST(LazReader, ReportsProgressUpToTheEndAndStopsWhenAsked)
{
    ORRISK_REQUIRE_TESTDATA();
    ThreadPool pool(2);
    const std::string path = TestDataFile("laz/bench_500k_f3.laz").string();
    for (ThreadPool* threads : {static_cast<ThreadPool*>(nullptr), &pool}) {
        std::vector<double> fractions;
        const ReadProgress record = [&](double fraction) {
            fractions.push_back(fraction);
            return true;
        };
        ASSERT_TRUE(ReadLaz(path, {record, threads}).Ok());
        ASSERT_FALSE(fractions.empty());
        EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
        EXPECT_EQ(fractions.back(), 1.0);

        int calls = 0;
        const ReadResult<PointCloudData> cancelled = ReadLaz(path, {[&](double) { return ++calls < 2; }, threads});
        ASSERT_FALSE(cancelled.Ok());
        EXPECT_EQ(cancelled.Failure().code, ReadError::Cancelled);
        EXPECT_EQ(calls, 2);
    }
}

TEST(LazReader, RefusesWhatItCannotDecodeWithTheReason)
{
    ORRISK_REQUIRE_TESTDATA();
    ScratchDir dir;
    const std::string layered = testsupport::ReadWholeFile(TestDataFile("laz/1_4_w_evlr.laz"));
    // 1_4_w_evlr.laz: the LASzip record is the third VLR, at 2305; one POINT14 item.
    const std::size_t itemAt = 2305 + 54 + 34;
    ASSERT_EQ(FieldOf<std::uint16_t>(layered, itemAt), 10);
    const struct {
        const char* name;
        std::string bytes;
        ReadError code;
        const char* reason;
    } cases[] = {
        {"version4.laz", Patched(layered, itemAt + 4, std::uint16_t{4}), ReadError::Unsupported, "LAZ: item type 10 version 4 is not supported"},
        {"rgb_item.laz", Patched(layered, itemAt, std::uint16_t{11}), ReadError::Malformed, "LAZ: item type 11 version 3 does not belong at place 0 of point format 6"},
        {"short_item.laz", Patched(layered, itemAt + 2, std::uint16_t{28}), ReadError::Malformed, "LAZ: item type 10 version 3 claims 28 bytes"},
        {"uncompressed.laz", Patched(layered, 104, std::uint8_t{6}), ReadError::NotRecognised, "LAZ: the point data is not flagged compressed"},
        {"no_points.laz", Patched(Patched(layered, 107, std::uint32_t{0}), 247, std::uint64_t{0}), ReadError::Malformed, "LAZ: the header claims no points"},
        {"not_las.laz", std::string("PK\x03\x04 not a LAS file at all"), ReadError::NotRecognised, "LAZ: no LAS header (the file does not start with LASF)"},
    };
    for (const auto& c : cases) {
        const ReadResult<PointCloudData> loaded = ReadLaz(dir.Write(c.name, c.bytes).string());
        ASSERT_FALSE(loaded.Ok()) << c.name;
        EXPECT_EQ(loaded.Failure().code, c.code) << c.name;
        EXPECT_EQ(loaded.Failure().reason, c.reason) << c.name;
    }
    EXPECT_EQ(ReadLaz((dir.Path() / "missing.laz").string()).Failure().code, ReadError::CannotOpen);
}
