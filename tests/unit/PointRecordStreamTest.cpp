#include "convert/PointRecordSource.h"
#include "io/core/LittleEndian.h"
#include "io/las/LasRecordStream.h"
#include "io/laz/LazReader.h"
#include "io/ply/PlyRecordStream.h"
#include "platform/ThreadPool.h"
#include "support/PlyBytes.h"
#include "support/RecordCollector.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

using testsupport::PlyBytes;
using testsupport::RecordCollector;
using testsupport::ScratchDir;
using testsupport::TestDataFile;

namespace {

std::vector<unsigned char> FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The point block of an uncompressed LAS file, straight from its bytes.
std::vector<unsigned char> PointBlock(const std::filesystem::path& path)
{
    const std::vector<unsigned char> bytes = FileBytes(path);
    const auto offset = LoadLE<std::uint32_t>(&bytes[96]);
    const auto length = LoadLE<std::uint16_t>(&bytes[105]);
    std::uint64_t count = LoadLE<std::uint32_t>(&bytes[107]);
    if (bytes[25] >= 4)
        count = LoadLE<std::uint64_t>(&bytes[247]);
    return {bytes.begin() + offset, bytes.begin() + offset + static_cast<std::ptrdiff_t>(count * length)};
}

bool SameRecords(const VariableLengthRecord& a, const VariableLengthRecord& b)
{
    return a.userId == b.userId && a.recordId == b.recordId && a.data == b.data && a.extended == b.extended;
}

}  // namespace

// The LAS and LAZ twins of laz-write/ stream the same records, in file order, with the same
// VLRs and EVLRs less the LASzip one; the LAZ in windows of chunks on a pool gives what one
// thread gives.
TEST(PointRecordStream, LasAndLazTwinsStreamTheSameRecordsAndRecords)
{
    ORRISK_REQUIRE_TESTDATA();
    ThreadPool pool(2);
    int pairs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataFile("laz-write"))) {
        if (entry.path().extension() != ".las")
            continue;
        const std::string name = entry.path().stem().string();
        RecordCollector las;
        const ReadResult<PointRecordFormat> lasRead = StreamLasRecords(entry.path().string(), las);
        ASSERT_TRUE(lasRead.Ok()) << name << ": " << lasRead.Failure().reason;
        EXPECT_EQ(las.records, PointBlock(entry.path())) << name;
        EXPECT_EQ(las.begins, 1) << name;

        const std::string laz = (entry.path().parent_path() / (name + ".laszip.laz")).string();
        for (ThreadPool* threads : {static_cast<ThreadPool*>(nullptr), &pool}) {
            RecordCollector decoded;
            const ReadResult<PointRecordFormat> lazRead = StreamLazRecords(laz, decoded, {{}, threads});
            ASSERT_TRUE(lazRead.Ok()) << name << ": " << lazRead.Failure().reason;
            EXPECT_TRUE(decoded.records == las.records) << name;
            const PointRecordFormat& a = las.format;
            const PointRecordFormat& b = decoded.format;
            EXPECT_EQ(a.format, b.format) << name;
            EXPECT_EQ(a.recordLength, b.recordLength) << name;
            EXPECT_EQ(a.scale, b.scale) << name;
            EXPECT_EQ(a.offset, b.offset) << name;
            // The reference compressor leaves out EVLRs (1_4_w_evlr), not VLRs.
            const auto vlrsOf = [](const PointRecordFormat& f) {
                std::vector<VariableLengthRecord> vlrs;
                std::copy_if(f.vlrs.begin(), f.vlrs.end(), std::back_inserter(vlrs), [](const auto& r) { return !r.extended; });
                return vlrs;
            };
            const std::vector<VariableLengthRecord> lasVlrs = vlrsOf(a);
            const std::vector<VariableLengthRecord> lazVlrs = vlrsOf(b);
            ASSERT_EQ(lasVlrs.size(), lazVlrs.size()) << name;
            for (std::size_t i = 0; i < lasVlrs.size(); ++i)
                EXPECT_TRUE(SameRecords(lasVlrs[i], lazVlrs[i])) << name << " VLR " << i;
        }
        ++pairs;
    }
    EXPECT_GE(pairs, 30);
}

TEST(PointRecordStream, CopcStreamsEveryNodeWithoutItsOwnRecords)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string path = TestDataFile("laz/lone-star.copc.laz").string();
    ASSERT_EQ(SniffPointCloudFile(path), PointCloudFileKind::Copc);
    RecordCollector copc;
    const ReadResult<PointRecordFormat> read = StreamPointRecords(path, copc);
    ASSERT_TRUE(read.Ok()) << read.Failure().reason;
    EXPECT_EQ(copc.count, read.Value().pointCount);
    EXPECT_GT(copc.count, 0u);
    for (const VariableLengthRecord& record : copc.format.vlrs) {
        EXPECT_FALSE(record.userId == "copc" && (record.recordId == 1 || record.recordId == 1000)) << record.recordId;
        EXPECT_NE(record.userId, "laszip encoded");
    }
}

// A read stops as soon as the sink says so, at the start or part-way, and fails as Cancelled.
TEST(PointRecordStream, StopsWhenTheSinkSaysSo)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* file : {"laz-write/stress_f3.las", "laz-write/stress_f7.laszip.laz", "laz-write/stress_f1.laszip.laz"}) {
        for (std::size_t stopAfter : {std::size_t{0}, std::size_t{1}, std::size_t{30000}}) {
            RecordCollector sink(stopAfter);
            const ReadResult<PointRecordFormat> read = StreamPointRecords(TestDataFile(file).string(), sink);
            ASSERT_FALSE(read.Ok()) << file;
            EXPECT_EQ(read.Failure().code, ReadError::Cancelled) << file << " after " << stopAfter;
        }
    }
}

TEST(PointRecordStream, RefusesWhatIsNotAPointCloudWithTheReason)
{
    ScratchDir dir;
    RecordCollector sink;
    struct Case {
        const char* name;
        std::string bytes;
        ReadError code;
    };
    std::string vlrPastPoints(375, '\0');
    std::memcpy(vlrPastPoints.data(), "LASF", 4);
    vlrPastPoints[24] = 1;
    vlrPastPoints[25] = 4;
    StoreLE(&vlrPastPoints[94], std::uint16_t{375});
    StoreLE(&vlrPastPoints[96], std::uint32_t{400});  // points at 400, but a VLR header needs 54 bytes
    StoreLE(&vlrPastPoints[100], std::uint32_t{1});
    vlrPastPoints[104] = 6;
    StoreLE(&vlrPastPoints[105], std::uint16_t{30});
    vlrPastPoints.resize(500, '\0');
    std::string evlrPastEnd = vlrPastPoints;
    StoreLE(&evlrPastEnd[96], std::uint32_t{375});
    StoreLE(&evlrPastEnd[100], std::uint32_t{0});
    StoreLE(&evlrPastEnd[235], std::uint64_t{480});
    StoreLE(&evlrPastEnd[243], std::uint32_t{1});
    const std::vector<Case> cases = {
        {"text.las", "not a point cloud at all", ReadError::NotRecognised},
        {"vlr.las", vlrPastPoints, ReadError::Malformed},
        {"evlr.las", evlrPastEnd, ReadError::Truncated},
    };
    for (const Case& c : cases) {
        const ReadResult<PointRecordFormat> read = StreamPointRecords(dir.Write(c.name, c.bytes).string(), sink);
        ASSERT_FALSE(read.Ok()) << c.name;
        EXPECT_EQ(read.Failure().code, c.code) << c.name << ": " << read.Failure().reason;
    }
    EXPECT_EQ(StreamPointRecords(dir.File("missing.las").string(), sink).Failure().code, ReadError::CannotOpen);
    EXPECT_EQ(StreamPointRecords(dir.Path().string(), sink).Failure().code, ReadError::CannotOpen);
    EXPECT_EQ(sink.begins, 0);
}

// PLY coordinates become integers that give back every float exactly; colours are widened to
// 16 bits; forced scales that cannot hold a coordinate are refused, never wrapped.
TEST(PointRecordStream, PlyCloudsBecomeLasRecordsThatKeepEveryFloat)
{
    ScratchDir dir;
    const std::vector<std::array<float, 3>> points = {{0.1f, -2.5f, 3.75f}, {123.456f, 7.0e-3f, -99.99f}, {-0.0f, 64.5f, 1.0e-6f}};
    PlyBytes ply("ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                 "property uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n");
    for (std::size_t i = 0; i < points.size(); ++i) {
        ply.Le(points[i][0]).Le(points[i][1]).Le(points[i][2]);
        ply.Octets({static_cast<unsigned char>(255 - i), static_cast<unsigned char>(i), 128});
    }
    const std::string path = dir.Write("cloud.ply", ply.Bytes()).string();
    ASSERT_EQ(SniffPointCloudFile(path), PointCloudFileKind::Ply);

    RecordCollector sink;
    const ReadResult<PointRecordFormat> read = StreamPointRecords(path, sink);
    ASSERT_TRUE(read.Ok()) << read.Failure().reason;
    const PointRecordFormat& format = read.Value();
    EXPECT_EQ(format.format, 2);
    EXPECT_EQ(format.versionMinor, 2);
    ASSERT_EQ(sink.count, points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const unsigned char* record = sink.records.data() + i * format.recordLength;
        for (int a = 0; a < 3; ++a) {
            const double value = LoadLE<std::int32_t>(record + 4 * a) * format.scale[a] + format.offset[a];
            EXPECT_EQ(static_cast<float>(value), points[i][a]) << "point " << i << " axis " << a;
        }
        EXPECT_EQ(record[14], 0x09);
        EXPECT_EQ(LoadLE<std::uint16_t>(record + 20), (255 - i) * 257);
        EXPECT_EQ(LoadLE<std::uint16_t>(record + 24), 128 * 257);
    }

    PlyQuantisation tooCoarse;
    tooCoarse.scale = std::array<double, 3>{1e-9, 1e-9, 1e-9};
    RecordCollector refused;
    const ReadResult<PointRecordFormat> overflow = StreamPlyRecords(path, refused, {}, tooCoarse);
    ASSERT_FALSE(overflow.Ok());
    EXPECT_EQ(overflow.Failure().code, ReadError::TooLarge);

    PlyBytes nan("ply\nformat binary_little_endian 1.0\nelement vertex 1\nproperty double x\nproperty double y\n"
                 "property double z\nend_header\n");
    nan.Le(1.0).Le(std::numeric_limits<double>::quiet_NaN()).Le(2.0);
    RecordCollector nanSink;
    const ReadResult<PointRecordFormat> notFinite = StreamPointRecords(dir.Write("nan.ply", nan.Bytes()).string(), nanSink);
    ASSERT_FALSE(notFinite.Ok());
    EXPECT_EQ(notFinite.Failure().code, ReadError::Malformed);
    EXPECT_EQ(nanSink.begins, 0);
}
