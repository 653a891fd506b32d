#include "document/PointCloudData.h"
#include "io/LasReader.h"
#include "io/laz/LazReader.h"
#include "platform/ThreadPool.h"
#include "support/TestData.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <fstream>
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

TEST(LazReader, LoadsExactlyTheArraysOfItsUncompressedTwin)
{
    ORRISK_REQUIRE_TESTDATA();
    const auto twins = CorpusFiles(".uncompressed.las");
    ASSERT_FALSE(twins.empty());
    ThreadPool pool(3);
    for (const auto& twin : twins) {
        const std::string name = Stem(twin, ".uncompressed.las");
        PointCloudData expected;
        ASSERT_TRUE(LoadLas(twin.string(), expected)) << name;
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
    PointCloudData las;
    ASSERT_TRUE(LoadLas(TestDataFile("las/autzen_trim.las").string(), las));
    ExpectSameCloud(las, ReadLaz(TestDataFile("laz/autzen_trim.laz").string(), {{}, &pool}).Value(), "autzen_trim");
}

TEST(LazReader, ViewerFieldsOfLayeredFilesMatchAFullDecode)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* name : {"laz/lone-star.copc.laz", "laz/simple.copc.laz", "laz/append-bug.laz", "laz/fullwave.laz"}) {
        const std::string path = TestDataFile(name).string();
        EXPECT_EQ(Coordinates(path, laz::kAllFields), Coordinates(path, laz::kFieldXyz)) << name;
    }
}
