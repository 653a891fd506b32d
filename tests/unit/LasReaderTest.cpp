#include "io/las/LasReader.h"

#include "LasTestFile.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <limits>

using lastest::DecodePointByPoint;
using lastest::LasFile;
using lastest::MakePoints;
using lastest::Patched;
using testsupport::ReadWholeFile;
using testsupport::ScratchDir;
using testsupport::TestDataFile;

namespace {

std::size_t FirstDifference(const float* a, const float* b, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        if (std::bit_cast<std::uint32_t>(a[i]) != std::bit_cast<std::uint32_t>(b[i]))
            return i;
    return count;
}

// Bit for bit: positions, colours, origin and bounds.
void ExpectSameCloud(const PointCloudData& actual, const PointCloudData& expected)
{
    ASSERT_EQ(actual.positions.size(), expected.positions.size());
    ASSERT_EQ(actual.colors.size(), expected.colors.size());
    EXPECT_EQ(actual.hasColors, expected.hasColors);
    EXPECT_EQ(actual.origin, expected.origin);
    const std::size_t positionFloats = 3 * actual.positions.size();
    const std::size_t badPosition = FirstDifference(actual.positions.data()->data(), expected.positions.data()->data(), positionFloats);
    EXPECT_EQ(badPosition, positionFloats) << "first differing position is point " << badPosition / 3;
    const std::size_t colourFloats = 4 * actual.colors.size();
    if (colourFloats > 0) {
        const std::size_t badColour = FirstDifference(actual.colors.data()->data(), expected.colors.data()->data(), colourFloats);
        EXPECT_EQ(badColour, colourFloats) << "first differing colour is point " << badColour / 4;
    }
    EXPECT_EQ(actual.boundsMin, expected.boundsMin);
    EXPECT_EQ(actual.boundsMax, expected.boundsMax);
    EXPECT_EQ(actual.radius, expected.radius);
}

void ExpectCleared(const PointCloudData& cloud)
{
    EXPECT_TRUE(cloud.positions.empty());
    EXPECT_TRUE(cloud.colors.empty());
    EXPECT_FALSE(cloud.hasColors);
    EXPECT_EQ(cloud.origin, Eigen::Vector3d::Zero());
    EXPECT_EQ(cloud.boundsMin, Eigen::Vector3f::Zero());
    EXPECT_EQ(cloud.boundsMax, Eigen::Vector3f::Zero());
    EXPECT_EQ(cloud.radius, 1.0f);
}

// Reads the file into `cloud` as a document keeps its record: the cloud read, or an empty
// one after a failure, whose code goes to `code` when given.
bool Load(const std::string& path, PointCloudData& cloud, ReadError* code = nullptr)
{
    ReadResult<PointCloudData> result = ReadLas(path);
    if (result) {
        cloud = result.TakeValue();
        return true;
    }
    cloud = PointCloudData();
    if (code)
        *code = result.Failure().code;
    return false;
}

// A record that already holds a coloured cloud, so that failures must clear it.
PointCloudData FilledCloud()
{
    PointCloudData cloud;
    cloud.positions.assign(4, Eigen::Vector3f(1, 2, 3));
    cloud.colors.assign(4, Eigen::Vector4f(1, 0, 0, 1));
    cloud.hasColors = true;
    cloud.origin = {10, 20, 30};
    cloud.ComputeBounds();
    return cloud;
}

// Writes the file, loads it and checks the result against the point-by-point decoding.
void ExpectLoadsLikeReference(const LasFile& las, std::size_t count, std::optional<std::size_t> colourOffset)
{
    ScratchDir dir;
    const std::string bytes = las.Bytes();
    PointCloudData cloud = FilledCloud();
    ASSERT_TRUE(Load(dir.Write("points.las", bytes).string(), cloud));
    ExpectSameCloud(cloud, DecodePointByPoint(bytes, count, colourOffset));
}

void ExpectFails(const std::string& bytes)
{
    ScratchDir dir;
    PointCloudData cloud = FilledCloud();
    EXPECT_FALSE(Load(dir.Write("points.las", bytes).string(), cloud));
    ExpectCleared(cloud);
}

void ExpectFails(const LasFile& las)
{
    ExpectFails(las.Bytes());
}

LasFile ColourFile(std::size_t count, std::uint16_t maxChannel)
{
    LasFile las;
    las.formatByte = 2;
    las.recordLength = 26;
    las.colourOffset = 20;
    las.points = MakePoints(count, maxChannel);
    return las;
}

// The process's peak address-space size; it grows with any large allocation, touched or not.
std::optional<std::uint64_t> PeakVirtualMemoryKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmPeak:") {
            std::uint64_t kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return std::nullopt;
}

struct CorpusFile {
    const char* name;
    std::size_t count;
    std::optional<std::size_t> colourOffset;
    float factor = 0;  // the colour scale the file must get, where it is known; 0: not checked
};

constexpr float k8 = lastest::kFactor8Bit;
constexpr float k16 = lastest::kFactor16Bit;
constexpr std::nullopt_t kNoColour = std::nullopt;

}  // namespace

TEST(LasReaderCorpus, EveryReadableFileLoadsAsDecodedPointByPoint)
{
    ORRISK_REQUIRE_TESTDATA();
    const CorpusFile files[] = {
        // Real files.
        {"1.2-empty-geotiff-vlrs.las", 43, kNoColour},
        {"1.2-with-color.las", 1065, 28, k8},
        {"100-points.las", 100, 28, k8},
        {"1_4_w_evlr.las", 1000, kNoColour},
        {"autzen-bmx-2010.las", 829, 30, k16},
        {"autzen-point-format-3.las", 106, 28, 1.0f},
        {"autzen-thin.las", 10653, 28, k8},
        {"autzen-utm.las", 1065, 28, k8},
        {"autzen.las", 106, kNoColour},
        {"autzen_trim.las", 110000, 28, k8},
        {"bad-geotiff-keys.las", 10, kNoColour},
        {"epsg_4326.las", 5380, kNoColour},
        {"extrabytes.las", 1065, 28, k8},
        {"file_with_both_wkt_and_geotiff_vlrs.las", 25408, kNoColour},
        {"gps-time-nan.las", 1, kNoColour},
        {"hextest.las", 8, kNoColour},
        {"lots_of_vlr.las", 1, kNoColour},
        {"permutation_1.0_format0.las", 1, kNoColour},
        {"permutation_1.0_format1.las", 1, kNoColour},
        {"permutation_1.1_format0.las", 1, kNoColour},
        {"permutation_1.1_format1.las", 1, kNoColour},
        {"permutation_1.2_format0.las", 1, kNoColour},
        {"permutation_1.2_format1.las", 1, kNoColour},
        {"permutation_1.2_format2.las", 1, 20, k8},
        {"permutation_1.2_format3.las", 1, 28, k8},
        {"sample_c_thin.las", 2732, 28, k16},
        {"simple1_1.las", 1065, kNoColour},
        {"simple1_3.las", 999, kNoColour},
        {"single_point_pdal.las", 1, 28, 1.0f},
        {"spec_3.las", 10, 28, 1.0f},
        {"test1_4.las", 1000, kNoColour},
        {"test_utm16.las", 10, kNoColour},
        {"unregistered_extra_bytes.las", 4, kNoColour},
        {"warsaw_small.las", 3000, 28, k16},
        {"wontcompress3.las", 1000, kNoColour},
        // Synthetic files.
        {"color_all_zero.las", 30, 28, 1.0f},
        {"color_max_255.las", 30, 20, k8},
        {"color_one_256.las", 30, 20, k16},
        {"count_below_file.las", 20, 28},
        {"dot_LAS_upper.LAS", 10, 28},
        {"format_byte_0x48.las", 30, 30},
        {"format_byte_0x83.las", 30, 28},
        {"header_min_not_matching.las", 30, kNoColour},
        {"header_min_zero.las", 30, kNoColour},
        {"header_size_400.las", 30, 28},
        {"las_content_named.laz", 10, 28},  // the extension is the document's business
        {"negative_scale.las", 30, kNoColour},
        {"point_offset_zero.las", 5, kNoColour},
        {"points_65536.las", 65536, 20, k8},
        {"points_65537.las", 65537, 20, k8},
        {"record_length_f0_rl12.las", 30, kNoColour},
        {"record_length_f10_rl36.las", 30, 30},
        {"record_length_f2_rl25.las", 30, kNoColour},
        {"record_length_f2_rl26.las", 30, 20},
        {"record_length_f3_rl33.las", 30, kNoColour},
        {"record_length_f3_rl34.las", 30, 28},
        {"record_length_f5_rl34.las", 30, 28},
        {"record_length_f7_rl35.las", 30, kNoColour},
        {"record_length_f7_rl36.las", 30, 30},
        {"synthetic_format0.las", 50, kNoColour},
        {"synthetic_format1.las", 51, kNoColour},
        {"synthetic_format2.las", 52, 20},
        {"synthetic_format3.las", 53, 28},
        {"synthetic_format4.las", 54, kNoColour},
        {"synthetic_format5.las", 55, 28},
        {"synthetic_format6.las", 56, kNoColour},
        {"synthetic_format7.las", 57, 30},
        {"synthetic_format8.las", 58, 30},
        {"synthetic_format9.las", 59, kNoColour},
        {"synthetic_format10.las", 60, 30},
        {"synthetic_format11_unknown.las", 30, kNoColour},
        {"v14_legacy0_count64.las", 30, 30},
        {"v14_legacy_wins.las", 20, kNoColour},
        {"v15_legacy0_count64.las", 30, kNoColour},
        {"with_vlr_and_gap.las", 30, 28},
    };
    PointCloudData cloud;  // reused, as the document does
    for (const CorpusFile& file : files) {
        SCOPED_TRACE(file.name);
        const auto path = TestDataFile(std::string("las/") + file.name);
        ASSERT_TRUE(Load(path.string(), cloud));
        const PointCloudData expected = DecodePointByPoint(ReadWholeFile(path), file.count, file.colourOffset);
        ExpectSameCloud(cloud, expected);
        for (const Eigen::Vector4f& colour : cloud.colors)
            ASSERT_EQ(colour[3], 1.0f);
        if (file.factor != 0) {
            // The brightest channel tells which scale was used.
            float brightest = 0;
            for (const Eigen::Vector4f& colour : cloud.colors)
                brightest = std::max(brightest, colour.head<3>().maxCoeff());
            const float raw = std::round(brightest / file.factor);
            EXPECT_EQ(brightest, raw * file.factor);
            EXPECT_LE(raw, file.factor == k16 ? 65535.0f : 255.0f);
        }
    }
}

TEST(LasReaderCorpus, OriginIsTheHeaderMinimumEvenWhenThePointsDisagree)
{
    ORRISK_REQUIRE_TESTDATA();
    PointCloudData cloud;
    ASSERT_TRUE(Load(TestDataFile("las/header_min_not_matching.las").string(), cloud));
    EXPECT_LT(cloud.boundsMin.minCoeff(), 0.0f);

    ASSERT_TRUE(Load(TestDataFile("las/header_min_zero.las").string(), cloud));
    EXPECT_EQ(cloud.origin, Eigen::Vector3d::Zero());
    EXPECT_GT(cloud.boundsMin.x(), 600000.0f);
}

TEST(LasReaderCorpus, BrokenFilesFailAndLeaveTheRecordCleared)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* name : {"1.2-with-color-clipped.las", "garbage_nVariableLength.las",
                             "header_only_claims_1065_points.las", "no-points.las", "bad_signature.las",
                             "count64_huge.las", "count_exceeds_file.las", "empty.las", "header_size_100.las",
                             "header_size_90.las", "header_size_beyond_file.las", "point_offset_beyond_file.las",
                             "record_length_f0_rl11.las", "shorter_than_96.las", "truncated_last_record.las",
                             "v12_legacy0_bytes247_set.las", "v13_legacy0.las", "v14_header227_legacy0.las",
                             "v24_legacy0.las", "../ply/ext_ply_content_named.las"}) {
        SCOPED_TRACE(name);
        PointCloudData cloud = FilledCloud();
        EXPECT_FALSE(Load(TestDataFile(std::string("las/") + name).string(), cloud));
        ExpectCleared(cloud);
    }
}

TEST(LasReader, ColourOffsetsAndMinimumRecordLengthsFollowTheFormat)
{
    struct Format {
        std::uint8_t number;
        std::uint16_t standardLength;
        std::optional<std::size_t> colourOffset;
    };
    const Format formats[] = {{0, 20, {}},  {1, 28, {}},  {2, 26, 20}, {3, 34, 28}, {4, 57, {}},
                              {5, 63, 28},  {6, 30, {}},  {7, 36, 30}, {8, 38, 30}, {9, 59, {}},
                              {10, 67, 30}, {11, 40, {}}, {63, 40, {}}};
    for (const Format& format : formats) {
        SCOPED_TRACE(static_cast<int>(format.number));
        LasFile las;
        las.formatByte = format.number;
        las.recordLength = format.standardLength;
        las.points = MakePoints(40, 65535);
        // Formats without colour get channel-like bytes too; they must be ignored.
        las.colourOffset = format.colourOffset.value_or(20);
        ExpectLoadsLikeReference(las, 40, format.colourOffset);
        if (!format.colourOffset)
            continue;
        // One byte short of blue: positions only. Just long enough: colour.
        las.recordLength = static_cast<std::uint16_t>(*format.colourOffset + 5);
        ExpectLoadsLikeReference(las, 40, std::nullopt);
        las.recordLength = static_cast<std::uint16_t>(*format.colourOffset + 6);
        ExpectLoadsLikeReference(las, 40, format.colourOffset);
    }
}

TEST(LasReader, FormatByteTopBitsAreIgnored)
{
    LasFile las = ColourFile(10, 255);
    las.formatByte = 0x80 | 0x40 | 2;
    ExpectLoadsLikeReference(las, 10, 20);
}

TEST(LasReader, Las14CountRules)
{
    LasFile las;
    las.versionMinor = 4;
    las.headerSize = 375;
    las.points = MakePoints(30);
    las.legacyCount = 0;
    las.count64 = 30;
    ExpectLoadsLikeReference(las, 30, std::nullopt);

    las.count64 = 25;  // fewer than the file holds: only those load
    ExpectLoadsLikeReference(las, 25, std::nullopt);

    las.legacyCount = 20;  // a legacy count other than 0 wins
    ExpectLoadsLikeReference(las, 20, std::nullopt);

    las.legacyCount = 0;
    las.versionMinor = 7;
    ExpectLoadsLikeReference(las, 25, std::nullopt);

    las.versionMinor = 3;  // before 1.4 the 64-bit field is not a count
    ExpectFails(las);
    las.versionMajor = 2;
    las.versionMinor = 4;
    ExpectFails(las);

    // A header size of 227 ends the header before the 64-bit count.
    las.versionMajor = 1;
    ExpectFails(Patched(las.Bytes(), 94, std::uint16_t{227}));
}

TEST(LasReader, HeaderSizeDecidesHowMuchOfTheHeaderIsRead)
{
    LasFile las = ColourFile(12, 255);
    las.headerSize = 400;
    ExpectLoadsLikeReference(las, 12, 20);

    // Only the first 96 bytes are read: the count at byte 107 is beyond them.
    ExpectFails(Patched(las.Bytes(), 94, std::uint16_t{90}));

    // Points at offset 0 are read from the header's own bytes; a header size beyond the end
    // of that file is a short read even though the points could be read.
    LasFile overlapping;
    overlapping.pointDataOffset = 0;
    overlapping.points = MakePoints(5);
    ExpectLoadsLikeReference(overlapping, 5, std::nullopt);
    const std::string bytes = overlapping.Bytes();
    ASSERT_LT(bytes.size(), 375u);
    ExpectFails(Patched(bytes, 94, std::uint16_t{375}));
}

TEST(LasReader, RejectsWrongSignaturesShortHeadersAndShortRecords)
{
    LasFile las;
    las.points = MakePoints(5);
    ExpectLoadsLikeReference(las, 5, std::nullopt);
    for (const char* signature : {"LASG", "lasf", "PLY\n", "\0LAS"}) {
        SCOPED_TRACE(signature);
        std::memcpy(las.signature.data(), signature, 4);
        ExpectFails(las);
        ScratchDir dir;
        const ReadResult<PointCloudData> result = ReadLas(dir.Write("signature.las", las.Bytes()).string());
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.Failure().code, ReadError::NotRecognised);
    }
    las.signature = {'L', 'A', 'S', 'F'};
    {
        // A short text file named .las is another kind of file, not a LAS file cut short.
        ScratchDir textDir;
        const ReadResult<PointCloudData> text = ReadLas(textDir.Write("notes.las", "a few words").string());
        ASSERT_FALSE(text.Ok());
        EXPECT_EQ(text.Failure().code, ReadError::NotRecognised);
    }

    ScratchDir dir;
    PointCloudData cloud = FilledCloud();
    const std::string bytes = las.Bytes();
    ReadError code = ReadError::Malformed;
    EXPECT_FALSE(Load(dir.Write("95.las", bytes.substr(0, 95)).string(), cloud, &code));
    ExpectCleared(cloud);
    EXPECT_EQ(code, ReadError::Truncated);
    code = ReadError::Malformed;
    EXPECT_FALSE(Load(dir.Write("empty.las", "").string(), cloud, &code));
    EXPECT_EQ(code, ReadError::Truncated);

    las.recordLength = 11;
    ExpectFails(las);
    las.recordLength = 12;
    ExpectLoadsLikeReference(las, 5, std::nullopt);

    las.points.clear();  // a count of 0
    ExpectFails(las);
}

TEST(LasReader, PointBlocksShorterThanTheCountFail)
{
    LasFile las = ColourFile(30, 255);
    las.legacyCount = 31;
    ExpectFails(las);

    las.legacyCount = 30;
    ExpectFails(Patched(las.Bytes(), 96, std::uint32_t{100000}));

    ScratchDir dir;
    PointCloudData cloud = FilledCloud();
    const std::string bytes = ColourFile(70000, 255).Bytes();  // one byte short: 69999 whole records
    const ReadResult<PointCloudData> result = ReadLas(dir.Write("short.las", bytes.substr(0, bytes.size() - 1)).string());
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.Failure().code, ReadError::Truncated);
    EXPECT_EQ(result.Failure().reason, "LAS: the header claims 70000 points, more than the file holds");
}

TEST(LasReader, ChunkBoundariesGiveThePointByPointResult)
{
    for (std::size_t count : {65535u, 65536u, 65537u, 3u * 65536u + 5u}) {
        SCOPED_TRACE(count);
        ExpectLoadsLikeReference(ColourFile(count, 255), count, 20);
    }
}

TEST(LasReader, CoordinatesAreRoundedOnceFromDouble)
{
    LasFile las;
    las.scale = {0.001, 0.01, 1e-7};
    las.offset = {637000.123, 849000.0, -12.5};
    las.minimum = {637000.0, 849123.45, -13.0};
    las.points = {{123456789, -1, 0}, {1, 2, 3}, {-2000000000, 2000000000, 2147483647}, {7654321, 9876543, 5}};
    ScratchDir dir;
    PointCloudData cloud;
    ASSERT_TRUE(Load(dir.Write("precise.las", las.Bytes()).string(), cloud));
    bool singleRoundingMatters = false;
    for (std::size_t i = 0; i < las.points.size(); ++i) {
        const std::int32_t stored[3] = {las.points[i].x, las.points[i].y, las.points[i].z};
        for (std::size_t axis = 0; axis < 3; ++axis) {
            const double exact = stored[axis] * las.scale[axis] + las.offset[axis] - las.minimum[axis];
            EXPECT_EQ(std::bit_cast<std::uint32_t>(cloud.positions[i][axis]),
                      std::bit_cast<std::uint32_t>(static_cast<float>(exact)))
                << "point " << i << " axis " << axis;
            const float inFloat = static_cast<float>(stored[axis] * las.scale[axis] + las.offset[axis])
                                - static_cast<float>(las.minimum[axis]);
            singleRoundingMatters |= inFloat != static_cast<float>(exact);
        }
    }
    EXPECT_TRUE(singleRoundingMatters) << "the points should tell double from float arithmetic apart";
    EXPECT_EQ(cloud.origin, Eigen::Vector3d(637000.0, 849123.45, -13.0));

    // A stored value of (min - offset) / scale lands on 0.
    las.points = {{-123, 12345, -5000000}, {0, 0, 0}};
    ASSERT_TRUE(Load(dir.Write("zero.las", las.Bytes()).string(), cloud));
    EXPECT_EQ(cloud.positions[0].x(), 0.0f);
    EXPECT_EQ(cloud.positions[0].y(), 0.0f);
    EXPECT_EQ(cloud.positions[0].z(), 0.0f);
}

TEST(LasReader, ColourScaleIsDecidedOnceForTheWholeFile)
{
    ScratchDir dir;
    PointCloudData cloud;

    LasFile black = ColourFile(5, 0);
    ASSERT_TRUE(Load(dir.Write("black.las", black.Bytes()).string(), cloud));
    ASSERT_TRUE(cloud.hasColors);
    for (const Eigen::Vector4f& colour : cloud.colors)
        EXPECT_EQ(colour, Eigen::Vector4f(0, 0, 0, 1));

    LasFile eightBit = ColourFile(70000, 255);
    eightBit.points[0] = {0, 0, 0, 255, 1, 128};
    ASSERT_TRUE(Load(dir.Write("8.las", eightBit.Bytes()).string(), cloud));
    EXPECT_EQ(cloud.colors[0], Eigen::Vector4f(1.0f, lastest::kFactor8Bit, 128.0f * lastest::kFactor8Bit, 1.0f));

    // One green of 256 in the last point, past the first chunk, rescales every point.
    LasFile sixteenBit = eightBit;
    sixteenBit.points.back().green = 256;
    ASSERT_TRUE(Load(dir.Write("16.las", sixteenBit.Bytes()).string(), cloud));
    EXPECT_EQ(cloud.colors[0], Eigen::Vector4f(255.0f * lastest::kFactor16Bit, lastest::kFactor16Bit,
                                               128.0f * lastest::kFactor16Bit, 1.0f));
    EXPECT_EQ(cloud.colors.back()[1], 256.0f * lastest::kFactor16Bit);
    ExpectSameCloud(cloud, DecodePointByPoint(sixteenBit.Bytes(), 70000, 20));

    LasFile full = ColourFile(3, 65535);
    full.points[1] = {0, 0, 0, 65535, 0, 0};
    ASSERT_TRUE(Load(dir.Write("full.las", full.Bytes()).string(), cloud));
    EXPECT_EQ(cloud.colors[1][0], 65535.0f * lastest::kFactor16Bit);
}

TEST(LasReader, HugeCountsFailWithoutAllocating)
{
    const auto peakBefore = PeakVirtualMemoryKiB();
    struct Claim {
        std::uint32_t legacy;
        std::uint64_t count64;
        std::uint16_t recordLength;
    };
    const Claim claims[] = {
        {0, std::uint64_t{1} << 28, 34},            // 8 GiB of positions and colours, from a tiny file
        {0, std::uint64_t{1} << 62, 34},
        {0, std::numeric_limits<std::uint64_t>::max(), 34},
        {0, std::uint64_t{1} << 63, 65535},          // count x length overflows 64 bits
        {std::numeric_limits<std::uint32_t>::max(), 0, 65535},
    };
    for (const Claim& claim : claims) {
        SCOPED_TRACE(claim.count64);
        LasFile las;
        las.versionMinor = 4;
        las.headerSize = 375;
        las.formatByte = 3;
        las.recordLength = claim.recordLength;
        las.colourOffset = 28;
        las.points = MakePoints(30);
        las.legacyCount = claim.legacy;
        las.count64 = claim.count64;
        ExpectFails(las);
    }
    const auto peakAfter = PeakVirtualMemoryKiB();
    if (peakBefore && peakAfter) {
        EXPECT_LT(*peakAfter - *peakBefore, 256u * 1024u) << "KiB of address space taken by failed loads";
    }
}

TEST(LasReader, LongRecordsDoNotInflateTheChunkBuffer)
{
    const auto peakBefore = PeakVirtualMemoryKiB();
    LasFile las = ColourFile(3, 255);
    las.recordLength = 65535;  // the longest record LAS allows
    ExpectLoadsLikeReference(las, 3, 20);
    const auto peakAfter = PeakVirtualMemoryKiB();
    if (peakBefore && peakAfter) {
        EXPECT_LT(*peakAfter - *peakBefore, 256u * 1024u) << "KiB of address space taken by the load";
    }
}

TEST(LasReader, PathsThatAreNotRegularFilesFail)
{
    ScratchDir dir;
    PointCloudData cloud = FilledCloud();
    ReadError code = ReadError::Malformed;
    EXPECT_FALSE(Load(dir.Path().string(), cloud, &code));
    ExpectCleared(cloud);
    EXPECT_EQ(code, ReadError::CannotOpen);
    for (const std::string& path : {dir.File("missing.las").string(), std::string()}) {
        code = ReadError::Malformed;
        EXPECT_FALSE(Load(path, cloud, &code));
        EXPECT_EQ(code, ReadError::CannotOpen) << path;
    }
    // A FIFO with no writer would block an ordinary open.
    const auto fifo = dir.File("fifo.las");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    code = ReadError::Malformed;
    EXPECT_FALSE(Load(fifo.string(), cloud, &code));
    EXPECT_EQ(code, ReadError::CannotOpen);
}

TEST(LasReader, LoadingReplacesEverythingOfTheEarlierCloud)
{
    ScratchDir dir;
    PointCloudData cloud = FilledCloud();
    LasFile plain;
    plain.minimum = {5, 6, 7};
    plain.points = MakePoints(2);
    ASSERT_TRUE(Load(dir.Write("plain.las", plain.Bytes()).string(), cloud));
    EXPECT_EQ(cloud.positions.size(), 2u);
    EXPECT_TRUE(cloud.colors.empty());
    EXPECT_FALSE(cloud.hasColors);
    EXPECT_EQ(cloud.origin, Eigen::Vector3d(5, 6, 7));
}
