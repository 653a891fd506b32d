// Intensity, classification and returns as the LAS, LAZ and PLY readers keep them, checked
// against the byte rules of the LAS formats read straight from the files.

#include "io/las/LasReader.h"
#include "io/laz/LazReader.h"
#include "io/ply/PlyReader.h"
#include "scene/PointCloudData.h"
#include "support/TestData.h"
#include "unit/LasTestFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using testsupport::ReadWholeFile;
using testsupport::ScratchDir;
using testsupport::TestDataFile;

namespace {

struct Attributes {
    std::vector<std::uint16_t> intensity;
    std::vector<std::uint8_t> classification;
    std::vector<std::uint8_t> returnNumber;
    std::vector<std::uint8_t> numberOfReturns;
};

// The attributes of `count` records from `records` on, by the byte rules: intensity at
// 12-13; formats 0-5 returns in 3 bits of byte 14 and the class in the low 5 bits of 15;
// formats 6-10 returns in 4 bits of byte 14 and the class in byte 16.
Attributes ByByteRules(const unsigned char* records, std::size_t count, std::size_t recordLength, int format)
{
    Attributes expected;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* record = records + i * recordLength;
        std::uint16_t intensity = 0;
        std::memcpy(&intensity, record + 12, 2);
        expected.intensity.push_back(intensity);
        if (format <= 5) {
            expected.returnNumber.push_back(record[14] & 0x07);
            expected.numberOfReturns.push_back((record[14] >> 3) & 0x07);
            expected.classification.push_back(record[15] & 0x1F);
        } else {
            expected.returnNumber.push_back(record[14] & 0x0F);
            expected.numberOfReturns.push_back(record[14] >> 4);
            expected.classification.push_back(record[16]);
        }
    }
    return expected;
}

Attributes ByByteRules(const std::string& lasBytes, std::size_t count)
{
    const auto offset = lastest::Get<std::uint32_t>(lasBytes, 96);
    const auto recordLength = lastest::Get<std::uint16_t>(lasBytes, 105);
    const int format = static_cast<unsigned char>(lasBytes[104]) & 0x3F;
    return ByByteRules(reinterpret_cast<const unsigned char*>(lasBytes.data()) + offset, count, recordLength, format);
}

void ExpectAttributes(const Attributes& expected, const PointCloudData& cloud, const std::string& what)
{
    EXPECT_TRUE(std::equal(expected.intensity.begin(), expected.intensity.end(), cloud.intensity.begin(), cloud.intensity.end())) << what;
    EXPECT_TRUE(std::equal(expected.classification.begin(), expected.classification.end(), cloud.classification.begin(),
                           cloud.classification.end())) << what;
    EXPECT_TRUE(std::equal(expected.returnNumber.begin(), expected.returnNumber.end(), cloud.returnNumber.begin(),
                           cloud.returnNumber.end())) << what;
    EXPECT_TRUE(std::equal(expected.numberOfReturns.begin(), expected.numberOfReturns.end(), cloud.numberOfReturns.begin(),
                           cloud.numberOfReturns.end())) << what;
}

std::vector<std::filesystem::path> CorpusFiles(const std::string& folder, const std::string& extension)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataFile(folder)))
        if (entry.path().extension() == extension)
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// One record of a format, its attribute bytes set by hand.
std::string OneRecordFile(std::uint8_t format, std::uint16_t recordLength, std::uint16_t intensity, std::uint8_t byte14,
                          std::uint8_t byte15, std::uint8_t byte16)
{
    lastest::LasFile file;
    file.versionMinor = format >= 6 ? 4 : 2;
    file.headerSize = format >= 6 ? 375 : 227;
    file.formatByte = format;
    file.recordLength = recordLength;
    file.points.resize(1);
    std::string bytes = file.Bytes();
    const std::size_t record = file.headerSize;
    std::memcpy(bytes.data() + record + 12, &intensity, 2);
    if (recordLength > 14)
        bytes[record + 14] = static_cast<char>(byte14);
    if (recordLength > 15)
        bytes[record + 15] = static_cast<char>(byte15);
    if (recordLength > 16)
        bytes[record + 16] = static_cast<char>(byte16);
    return bytes;
}

}  // namespace

TEST(PointAttributes, EveryCorpusLasFileFollowsTheByteRules)
{
    ORRISK_REQUIRE_TESTDATA();
    int checked = 0;
    bool sawLegacy = false;
    bool sawExtended = false;
    bool sawHighIntensity = false;
    for (const auto& path : CorpusFiles("las", ".las")) {
        const ReadResult<PointCloudData> read = ReadLas(path.string());
        if (!read)
            continue;
        const PointCloudData& cloud = read.Value();
        const std::string bytes = ReadWholeFile(path);
        const int format = static_cast<unsigned char>(bytes[104]) & 0x3F;
        const auto recordLength = lastest::Get<std::uint16_t>(bytes, 105);
        const bool expected = format <= 10 && recordLength >= (format <= 5 ? 16 : 17);
        ASSERT_EQ(!cloud.intensity.empty(), expected) << path;
        if (!expected)
            continue;
        ASSERT_EQ(cloud.intensity.size(), cloud.positions.size()) << path;
        ExpectAttributes(ByByteRules(bytes, cloud.positions.size()), cloud, path.filename().string());
        EXPECT_EQ(cloud.upAxis, 2) << path;
        sawLegacy |= format == 1;
        sawExtended |= format == 6;
        sawHighIntensity |= *std::max_element(cloud.intensity.begin(), cloud.intensity.end()) > 255;
        ++checked;
    }
    EXPECT_GT(checked, 30);
    EXPECT_TRUE(sawLegacy && sawExtended && sawHighIntensity);
}

TEST(PointAttributes, ClassificationOfFormatOneAndFormatSixFilesTakesItsOwnByte)
{
    ORRISK_REQUIRE_TESTDATA();
    // Format 1 keeps 5 bits of class beside its flags: a real scan with ground and unclassified
    // points. Format 6 has a byte of its own, so classes above 31 appear.
    const PointCloudData legacy = ReadLas(TestDataFile("las/simple1_1.las").string()).TakeValue();
    const PointCloudData extended = ReadLas(TestDataFile("las/synthetic_format6.las").string()).TakeValue();
    ASSERT_FALSE(legacy.classification.empty());
    ASSERT_FALSE(extended.classification.empty());
    EXPECT_EQ(std::count(legacy.classification.begin(), legacy.classification.end(), 2), 276);
    EXPECT_EQ(std::count(legacy.classification.begin(), legacy.classification.end(), 1), 789);
    EXPECT_TRUE(std::any_of(extended.classification.begin(), extended.classification.end(), [](std::uint8_t c) { return c > 31; }));
    EXPECT_TRUE(std::any_of(extended.returnNumber.begin(), extended.returnNumber.end(), [](std::uint8_t r) { return r > 7; })
                || std::any_of(extended.numberOfReturns.begin(), extended.numberOfReturns.end(), [](std::uint8_t r) { return r > 7; }));
}

TEST(PointAttributes, HandWrittenRecordsGiveTheirFields)
{
    ScratchDir dir;
    // Format 1: the flag bits above the class and the scan direction bits are not part of it.
    {
        const auto path = dir.Write("f1.las", OneRecordFile(1, 28, 65535, 0b11'010'011, 0xE5, 0x77));
        const PointCloudData cloud = ReadLas(path.string()).TakeValue();
        ASSERT_EQ(cloud.intensity.size(), 1u);
        EXPECT_EQ(cloud.intensity[0], 65535);
        EXPECT_EQ(cloud.returnNumber[0], 3);
        EXPECT_EQ(cloud.numberOfReturns[0], 2);
        EXPECT_EQ(cloud.classification[0], 5);
    }
    // Format 6: four bits for each return field and a full byte of class.
    {
        const auto path = dir.Write("f6.las", OneRecordFile(6, 30, 1234, 0xFB, 0xFF, 200));
        const PointCloudData cloud = ReadLas(path.string()).TakeValue();
        ASSERT_EQ(cloud.intensity.size(), 1u);
        EXPECT_EQ(cloud.intensity[0], 1234);
        EXPECT_EQ(cloud.returnNumber[0], 11);
        EXPECT_EQ(cloud.numberOfReturns[0], 15);
        EXPECT_EQ(cloud.classification[0], 200);
    }
    // Records too short to hold the class, and a format LAS does not define: points only.
    for (const auto& [format, length] : {std::pair<std::uint8_t, std::uint16_t>{0, 15}, {6, 16}, {11, 40}}) {
        const auto path = dir.Write("short.las", OneRecordFile(format, length, 7, 1, 2, 3));
        const ReadResult<PointCloudData> read = ReadLas(path.string());
        ASSERT_TRUE(read.Ok()) << int{format};
        EXPECT_TRUE(read.Value().intensity.empty()) << int{format};
        EXPECT_TRUE(read.Value().classification.empty()) << int{format};
        EXPECT_TRUE(read.Value().returnNumber.empty()) << int{format};
    }
}

TEST(PointAttributes, LazFilesWithoutATwinFollowTheByteRulesOfTheirFullDecode)
{
    ORRISK_REQUIRE_TESTDATA();
    // The layered formats keep intensity and class in layers of their own, which the reader
    // must decode; a full decode of every field is the reference.
    for (const char* name : {"append-bug.laz", "lone-star.copc.laz", "autzen_trim.laz", "fullwave.laz"}) {
        const std::string path = TestDataFile(std::string("laz/") + name).string();
        const ReadResult<LazFileInfo> info = ReadLazInfo(path);
        ASSERT_TRUE(info.Ok()) << name;
        const std::size_t recordLength = info.Value().header.recordLength;
        const int format = info.Value().header.format;
        std::vector<unsigned char> records(static_cast<std::size_t>(info.Value().header.pointCount) * recordLength);
        ASSERT_TRUE(DecodeLazRecords(path, laz::kAllFields, [&](std::uint64_t first, const unsigned char* chunk, std::size_t n) {
            std::memcpy(records.data() + first * recordLength, chunk, n * recordLength);
        }).Ok()) << name;
        const PointCloudData cloud = ReadLaz(path).TakeValue();
        ASSERT_EQ(cloud.intensity.size(), cloud.positions.size()) << name;
        ExpectAttributes(ByByteRules(records.data(), cloud.positions.size(), recordLength, format), cloud, name);
        // A layer skipped would leave the first record's value everywhere.
        EXPECT_NE(*std::min_element(cloud.intensity.begin(), cloud.intensity.end()),
                  *std::max_element(cloud.intensity.begin(), cloud.intensity.end())) << name;
    }
}

TEST(PointAttributes, PlyAttributesOfAnyNumericTypeAreRoundedAndHeldToTheirRange)
{
    ScratchDir dir;
    const auto path = dir.Write("attributes.ply",
                                "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nproperty float y\n"
                                "property float z\nproperty float scalar_intensity\nproperty int classification\n"
                                "end_header\n"
                                "0 0 0 1.4 2\n1 0 0 1.6 300\n2 0 0 -3 -1\n3 0 0 70000 6\n4 0 0 nan 9\n");
    const ReadResult<PointCloudData> read = ReadPly(path.string());
    ASSERT_TRUE(read.Ok()) << read.Failure().reason;
    const PointCloudData& cloud = read.Value();
    EXPECT_EQ(cloud.intensity, (LargeArray<std::uint16_t>{1, 2, 0, 65535, 0}));
    EXPECT_EQ(cloud.classification, (LargeArray<std::uint8_t>{2, 255, 0, 6, 9}));
    EXPECT_TRUE(cloud.returnNumber.empty());
    EXPECT_EQ(cloud.upAxis, 1);

    // Without such properties nothing is spent on them.
    const auto plain = dir.Write("plain.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
                                              "property float y\nproperty float z\nend_header\n1 2 3\n");
    const PointCloudData plainCloud = ReadPly(plain.string()).TakeValue();
    EXPECT_TRUE(plainCloud.intensity.empty());
    EXPECT_TRUE(plainCloud.classification.empty());
}

TEST(PointAttributes, CorpusPlyIntensityIsReadFromTheBigEndianBody)
{
    ORRISK_REQUIRE_TESTDATA();
    // x short, y uint, z double, intensity ushort: 16-byte big-endian records after the header.
    const auto path = TestDataFile("ply/xyz_mixed_types_be.ply");
    const std::string bytes = ReadWholeFile(path);
    const std::size_t body = bytes.find("end_header\n") + 11;
    const PointCloudData cloud = ReadPly(path.string()).TakeValue();
    ASSERT_EQ(cloud.intensity.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i) {
        const auto* record = reinterpret_cast<const unsigned char*>(bytes.data() + body + i * 16);
        EXPECT_EQ(cloud.intensity[i], (record[14] << 8) | record[15]) << i;
    }
}

TEST(PointAttributes, ClearEmptiesTheAttributes)
{
    PointCloudData cloud;
    cloud.positions.resize(2);
    cloud.intensity = {1, 2};
    cloud.classification = {3, 4};
    cloud.returnNumber = {1, 1};
    cloud.numberOfReturns = {1, 2};
    cloud.upAxis = 1;
    cloud.Clear();
    EXPECT_TRUE(cloud.intensity.empty() && cloud.classification.empty() && cloud.returnNumber.empty()
                && cloud.numberOfReturns.empty());
    EXPECT_EQ(cloud.upAxis, 2);
}
