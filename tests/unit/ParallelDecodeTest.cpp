#include "io/core/FixedRecordRead.h"
#include "LasTestFile.h"
#include "io/las/LasReader.h"
#include "io/ply/PlyReader.h"
#include "io/splat/SplatReader.h"
#include "platform/ThreadPool.h"
#include "support/PlyBytes.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

// Decoding on the pool must give the very bytes the one-thread decode gives, report progress
// that only rises and ends at 1, and stop when asked.

namespace {

using testsupport::PlyBytes;
using testsupport::ScratchDir;
using testsupport::TestDataFile;

// More threads than this machine may have cores, so that ranges really interleave.
ThreadPool& Pool()
{
    static ThreadPool pool(4);
    return pool;
}

template <typename T, typename A>
bool SameBytes(const std::vector<T, A>& a, const std::vector<T, A>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

bool SameBytes(const Eigen::Vector3d& a, const Eigen::Vector3d& b)
{
    return std::memcmp(a.data(), b.data(), sizeof(double) * 3) == 0;
}

void ExpectSameCloud(const PointCloudData& serial, const PointCloudData& parallel)
{
    EXPECT_TRUE(SameBytes(serial.positions, parallel.positions));
    EXPECT_TRUE(SameBytes(serial.colors, parallel.colors));
    EXPECT_TRUE(SameBytes(serial.origin, parallel.origin));
    EXPECT_EQ(serial.hasColors, parallel.hasColors);
    EXPECT_EQ(std::memcmp(serial.boundsMin.data(), parallel.boundsMin.data(), sizeof(float) * 3), 0);
    EXPECT_EQ(std::memcmp(serial.boundsMax.data(), parallel.boundsMax.data(), sizeof(float) * 3), 0);
}

void ExpectSameSplats(const GaussianData& serial, const GaussianData& parallel)
{
    EXPECT_TRUE(SameBytes(serial.positions, parallel.positions));
    EXPECT_TRUE(SameBytes(serial.shDc, parallel.shDc));
    EXPECT_TRUE(SameBytes(serial.shRest, parallel.shRest));
    EXPECT_TRUE(SameBytes(serial.opacities, parallel.opacities));
    EXPECT_TRUE(SameBytes(serial.scales, parallel.scales));
    EXPECT_TRUE(SameBytes(serial.rotations, parallel.rotations));
    EXPECT_TRUE(SameBytes(serial.objectIds, parallel.objectIds));
    EXPECT_TRUE(SameBytes(serial.origin, parallel.origin));
    EXPECT_EQ(serial.shRestCount, parallel.shRestCount);
}

// Reads a file on one thread and on the pool; both must succeed.
template <typename Record, typename Reader>
std::pair<Record, Record> SerialAndParallel(Reader read, const std::string& path)
{
    ReadResult<Record> serial = read(path, ReadOptions{});
    ReadResult<Record> parallel = read(path, ReadOptions{{}, &Pool()});
    EXPECT_TRUE(serial.Ok()) << path;
    EXPECT_TRUE(parallel.Ok()) << path;
    if (!serial || !parallel)
        return {};
    return {serial.TakeValue(), parallel.TakeValue()};
}

// The fractions a read reports; the callback may ask to stop once a fraction is reached.
struct ProgressLog {
    std::vector<double> fractions;
    double stopAt = 2.0;

    // On the pool, or on this thread alone: only then is the number of reports certain (on
    // the pool they come from the calling thread's share of the blocks).
    ReadOptions Options(bool onPool = true)
    {
        return ReadOptions{[this](double f) {
                               fractions.push_back(f);
                               return f < stopAt;
                           },
                           onPool ? &Pool() : nullptr};
    }
    bool Rises() const { return std::is_sorted(fractions.begin(), fractions.end()); }
    long AtOrAbove(double fraction) const
    {
        return std::count_if(fractions.begin(), fractions.end(), [&](double f) { return f >= fraction; });
    }
};

// The two ways positions are read: with the origin found first (axes wider than float) or
// moved by it afterwards (axes that float holds exactly).
enum class AxisType { Double, Float };

// A binary cloud of `count` points: x of the given type (descending, so the minimum is in
// the last range), float y and z, uchar colours, in the given byte order. `nanAt` records get
// NaN coordinates.
std::string BinaryCloud(std::size_t count, bool bigEndian, const std::vector<std::size_t>& nanAt = {},
                        AxisType xType = AxisType::Double)
{
    const bool doubleX = xType == AxisType::Double;
    PlyBytes bytes(std::string("ply\nformat ") + (bigEndian ? "binary_big_endian" : "binary_little_endian") +
                   " 1.0\nelement vertex " + std::to_string(count) + "\nproperty " + (doubleX ? "double" : "float") +
                   " x\nproperty float y\nproperty float z\n"
                   "property uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n");
    for (std::size_t i = 0; i < count; ++i) {
        const bool nan = std::find(nanAt.begin(), nanAt.end(), i) != nanAt.end();
        const double x = nan ? std::numeric_limits<double>::quiet_NaN() : 1e6 - static_cast<double>(i) * 0.37;
        const float y = nan ? std::numeric_limits<float>::quiet_NaN() : static_cast<float>((i * 7919) % 1000) - 250.5f;
        const float z = static_cast<float>(i % 13) * 0.25f;
        const auto red = static_cast<unsigned char>(i % 200);
        const auto green = static_cast<unsigned char>((i / 3) % 256);
        const auto blue = static_cast<unsigned char>(i % 7);
        if (bigEndian) {
            if (doubleX)
                bytes.Be(x);
            else
                bytes.Be(static_cast<float>(x));
            bytes.Be(y).Be(z).Be(red).Be(green).Be(blue);
        } else {
            if (doubleX)
                bytes.Le(x);
            else
                bytes.Le(static_cast<float>(x));
            bytes.Le(y).Le(z).Le(red).Le(green).Le(blue);
        }
    }
    return bytes.Bytes();
}

constexpr std::size_t kManyPoints = 200000;  // about 4 MiB of records: many ranges

TEST(FixedRecordRead, VisitsEveryRecordOnceOnOneThreadOrMany)
{
    ScratchDir dir;
    for (std::size_t recordBytes : {1u, 7u, 34u, 300000u}) {
        const std::size_t count = (std::size_t{3} << 20) / recordBytes + 5;
        std::string bytes(16 + count * recordBytes, '\0');
        for (std::size_t i = 0; i < count; ++i)
            bytes[16 + i * recordBytes] = static_cast<char>(i % 251);
        const ReadOnlyFile file(dir.Write("records.bin", bytes).string());
        for (ThreadPool* pool : {static_cast<ThreadPool*>(nullptr), &Pool()}) {
            std::vector<int> seen(count, 0);
            bool contentRight = true;
            std::mutex mutex;
            const FixedRecordsRead read = ReadFixedRecords(
                file, {16, recordBytes, count}, ReadOptions{{}, pool}, {},
                [&](const std::byte* records, std::size_t first, std::size_t n) {
                    std::lock_guard lock(mutex);
                    for (std::size_t i = 0; i < n; ++i) {
                        ++seen[first + i];
                        contentRight &= records[i * recordBytes] == static_cast<std::byte>((first + i) % 251);
                    }
                });
            EXPECT_EQ(read.outcome, FixedRecordsRead::Outcome::Complete);
            EXPECT_TRUE(contentRight) << recordBytes;
            EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<std::ptrdiff_t>(count)) << recordBytes;
        }
    }
}

TEST(FixedRecordRead, ProgressRisesOverItsSpanAndAStopEndsTheRead)
{
    ScratchDir dir;
    const std::size_t count = std::size_t{8} << 20;
    const ReadOnlyFile file(dir.Write("records.bin", std::string(count, 'x')).string());
    std::atomic<std::size_t> visited{0};
    const auto visit = [&](const std::byte*, std::size_t, std::size_t n) { visited += n; };
    for (bool onPool : {false, true}) {
        ProgressLog log;
        visited = 0;
        EXPECT_EQ(ReadFixedRecords(file, {0, 1, count}, log.Options(onPool), {0.25, 0.5}, visit).outcome,
                  FixedRecordsRead::Outcome::Complete);
        EXPECT_TRUE(log.Rises());
        if (!onPool) {
            EXPECT_EQ(log.fractions.size(), 32u) << "one report a block";
        }
        EXPECT_GE(log.fractions.front(), 0.25);
        EXPECT_EQ(log.fractions.back(), 0.5);
        EXPECT_EQ(visited, count);
    }

    for (bool onPool : {false, true}) {
        ProgressLog stopping;
        stopping.stopAt = 0.3;
        visited = 0;
        EXPECT_EQ(ReadFixedRecords(file, {0, 1, count}, stopping.Options(onPool), {}, visit).outcome,
                  FixedRecordsRead::Outcome::Cancelled);
        EXPECT_EQ(stopping.AtOrAbove(0.3), 1);
        if (!onPool) {
            EXPECT_EQ(visited, 10u << 18) << "the blocks after the stop were never read";
        }
    }
}

TEST(FixedRecordRead, AFileShorterThanItsRecordsEndsAtTheFirstMissingBlock)
{
    ScratchDir dir;
    const ReadOnlyFile file(dir.Write("short.bin", std::string(1000000, 'x')).string());
    for (ThreadPool* pool : {static_cast<ThreadPool*>(nullptr), &Pool()}) {
        const FixedRecordsRead read =
            ReadFixedRecords(file, {0, 10, 400000}, ReadOptions{{}, pool}, {}, [](const std::byte*, std::size_t, std::size_t) {});
        EXPECT_EQ(read.outcome, FixedRecordsRead::Outcome::FileEnded);
        // Record 100000 is the first missing one; its block ends after it.
        EXPECT_GT(read.endedBefore, 100000u);
        EXPECT_LE(read.endedBefore, 100000u + 256 * 1024 / 10);
    }
}

TEST(ParallelLas, ArraysEqualTheSerialReadOnCorpusAndWrittenFiles)
{
    std::vector<std::string> paths;
    if (!testsupport::TestDataDir().empty())
        for (const char* name : {"las/autzen_trim.las", "las/points_65537.las", "las/autzen-bmx-2010.las"})
            paths.push_back(TestDataFile(name).string());
    ScratchDir dir;
    lastest::LasFile written;
    written.formatByte = 2;
    written.recordLength = 26;
    written.colourOffset = 20;
    written.points = lastest::MakePoints(kManyPoints, 65535);
    paths.push_back(dir.Write("sixteen-bit.las", written.Bytes()).string());

    for (const std::string& path : paths) {
        const auto [serial, parallel] = SerialAndParallel<PointCloudData>(ReadLas, path);
        ExpectSameCloud(serial, parallel);
        EXPECT_FALSE(serial.positions.empty()) << path;
    }
}

TEST(ParallelLas, ProgressEndsAtOneAndCancellingStopsTheRead)
{
    ScratchDir dir;
    lastest::LasFile written;
    written.points = lastest::MakePoints(kManyPoints);
    const std::string path = dir.Write("cloud.las", written.Bytes()).string();

    ProgressLog log;
    ASSERT_TRUE(ReadLas(path, log.Options()).Ok());
    EXPECT_TRUE(log.Rises());
    EXPECT_EQ(log.fractions.front(), 0.0);
    EXPECT_EQ(log.fractions.back(), 1.0);

    for (double stopAt : {0.0, 0.5, 1.0}) {
        ProgressLog stopping;
        stopping.stopAt = stopAt;
        const ReadResult<PointCloudData> read = ReadLas(path, stopping.Options());
        ASSERT_FALSE(read.Ok()) << stopAt;
        EXPECT_EQ(read.Failure().code, ReadError::Cancelled);
        EXPECT_EQ(read.Failure().reason, "LAS: cancelled");
        EXPECT_EQ(stopping.AtOrAbove(stopAt), 1) << "nothing is reported after the request to stop";
    }
}

TEST(ParallelPly, ArraysEqualTheSerialReadInBothByteOrders)
{
    ScratchDir dir;
    std::vector<std::string> paths;
    for (const AxisType type : {AxisType::Double, AxisType::Float}) {
        const std::string name = type == AxisType::Double ? "double" : "float";
        paths.push_back(dir.Write(name + "-le.ply", BinaryCloud(kManyPoints, false, {}, type)).string());
        paths.push_back(dir.Write(name + "-be.ply", BinaryCloud(kManyPoints, true, {}, type)).string());
        // A NaN at the start of a later range must not become the minimum there.
        paths.push_back(dir.Write(name + "-nan-inside.ply",
                                  BinaryCloud(kManyPoints, false, {1, 50000, 100000, kManyPoints - 1}, type))
                            .string());
    }
    if (!testsupport::TestDataDir().empty())
        for (const char* name : {"ply/donut_color.ply", "ply/cloud_binary_be.ply", "ply/cloud_ascii.ply"})
            paths.push_back(TestDataFile(name).string());

    for (const std::string& path : paths) {
        const auto [serial, parallel] = SerialAndParallel<PointCloudData>(ReadPly, path);
        ExpectSameCloud(serial, parallel);
        EXPECT_FALSE(serial.positions.empty()) << path;
    }
}

TEST(ParallelPly, TheOriginIsTheMinimumInFileOrder)
{
    ScratchDir dir;
    const auto [serial, parallel] =
        SerialAndParallel<PointCloudData>(ReadPly, dir.Write("nan-inside.ply", BinaryCloud(kManyPoints, false, {70000})).string());
    EXPECT_DOUBLE_EQ(parallel.origin.x(), 1e6 - static_cast<double>(kManyPoints - 1) * 0.37);
    EXPECT_DOUBLE_EQ(parallel.origin.y(), -250.5);

    // A NaN in the first record stays the origin, as it does when read in order.
    const auto [serialNan, parallelNan] =
        SerialAndParallel<PointCloudData>(ReadPly, dir.Write("nan-first.ply", BinaryCloud(kManyPoints, true, {0})).string());
    EXPECT_TRUE(std::isnan(parallelNan.origin.x()));
    EXPECT_TRUE(SameBytes(serialNan.origin, parallelNan.origin));
}

void ExpectProgressAndCancelling(const std::string& path);

TEST(ParallelPly, ProgressEndsAtOneAndCancellingStopsTheRead)
{
    ScratchDir dir;
    for (const AxisType type : {AxisType::Double, AxisType::Float}) {
        SCOPED_TRACE(type == AxisType::Double ? "double x" : "float x");
        ExpectProgressAndCancelling(dir.Write("cloud.ply", BinaryCloud(kManyPoints, false, {}, type)).string());
    }
}

// Loads x values (y and z zero) on one thread and on the pool: both must give the same cloud,
// with the bounds that ComputeBounds finds over the positions loaded.
void ExpectBoundsOfThePositions(const std::vector<double>& xs, AxisType type)
{
    const bool doubleX = type == AxisType::Double;
    PlyBytes bytes("ply\nformat binary_little_endian 1.0\nelement vertex " + std::to_string(xs.size()) + "\nproperty " +
                   (doubleX ? "double" : "float") + " x\nproperty float y\nproperty float z\nend_header\n");
    for (const double x : xs) {
        if (doubleX)
            bytes.Le(x);
        else
            bytes.Le(static_cast<float>(x));
        bytes.Le(0.0f).Le(0.0f);
    }
    ScratchDir dir;
    const auto [serial, parallel] = SerialAndParallel<PointCloudData>(ReadPly, dir.Write("x.ply", bytes).string());
    ExpectSameCloud(serial, parallel);
    // The origin is the minimum as a plain scan in file order finds it, signed zeros and all.
    double minimum = doubleX ? xs.front() : static_cast<float>(xs.front());
    for (const double x : xs) {
        const double stored = doubleX ? x : static_cast<float>(x);
        minimum = stored < minimum ? stored : minimum;
    }
    EXPECT_EQ(std::memcmp(&serial.origin.x(), &minimum, sizeof(double)), 0) << serial.origin.x() << " against " << minimum;
    for (const PointCloudData* cloud : {&serial, &parallel}) {
        PointCloudData recomputed;
        recomputed.positions = cloud->positions;
        recomputed.ComputeBounds();
        EXPECT_EQ(std::memcmp(cloud->boundsMin.data(), recomputed.boundsMin.data(), sizeof(float) * 3), 0)
            << cloud->boundsMin.transpose() << " against " << recomputed.boundsMin.transpose();
        EXPECT_EQ(std::memcmp(cloud->boundsMax.data(), recomputed.boundsMax.data(), sizeof(float) * 3), 0)
            << cloud->boundsMax.transpose() << " against " << recomputed.boundsMax.transpose();
        EXPECT_EQ(std::memcmp(cloud->center.data(), recomputed.center.data(), sizeof(float) * 3), 0);
        EXPECT_EQ(std::memcmp(&cloud->radius, &recomputed.radius, sizeof(float)), 0);
    }
}

TEST(ParallelPly, BoundsAreThoseOfTheLoadedPositions)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Values spread over many ranges, with the special ones placed at the start, inside and at
    // the end.
    const auto spread = [](std::vector<std::pair<std::size_t, double>> special) {
        std::vector<double> xs(kManyPoints);
        for (std::size_t i = 0; i < xs.size(); ++i)
            xs[i] = 5.0 + static_cast<double>(i % 977) * 0.125;
        for (const auto& [at, value] : special)
            xs[at] = value;
        return xs;
    };
    struct Case {
        const char* what;
        std::vector<double> xs;
    };
    const std::vector<Case> cases = {
        {"plain", spread({})},
        {"zeros of both signs, the negative first", spread({{3, -0.0}, {90000, 0.0}, {150000, -0.0}})},
        {"zeros of both signs, the positive first", spread({{3, 0.0}, {90000, -0.0}})},
        {"a negative zero alone", spread({{120000, -0.0}})},
        {"a NaN first", spread({{0, nan}, {7, -3.0}})},
        {"NaNs inside", spread({{1, nan}, {100000, nan}, {kManyPoints - 1, nan}})},
        {"minus infinity", spread({{60000, -kInf}, {80000, -kInf}})},
        {"minus infinity first", spread({{0, -kInf}})},
        {"plus infinity", spread({{60000, kInf}})},
        {"infinities only", std::vector<double>(kManyPoints, kInf)},
        {"both infinities", spread({{10, kInf}, {190000, -kInf}})},
        {"largest floats", spread({{10, 3.4e38}, {190000, -3.4e38}})},
    };
    for (const Case& c : cases) {
        for (const AxisType type : {AxisType::Double, AxisType::Float}) {
            SCOPED_TRACE(std::string(c.what) + (type == AxisType::Double ? ", double x" : ", float x"));
            ExpectBoundsOfThePositions(c.xs, type);
        }
    }
    // Only a double axis holds these: moved by the origin they round together, or beyond the
    // largest float.
    for (const Case& c : {Case{"values that round together", spread({{4, -1e10}, {20, 1.0}, {70000, 1.0000001}})},
                          Case{"differences beyond float", spread({{4, 1e300}, {9, -1e300}})}}) {
        SCOPED_TRACE(c.what);
        ExpectBoundsOfThePositions(c.xs, AxisType::Double);
    }
}

void ExpectProgressAndCancelling(const std::string& path)
{
    for (bool onPool : {false, true}) {
        ProgressLog log;
        ASSERT_TRUE(ReadPly(path, log.Options(onPool)).Ok());
        EXPECT_TRUE(log.Rises());
        if (!onPool) {
            EXPECT_GT(log.fractions.size(), 4u) << "the fraction rises while the records are read";
        }
        EXPECT_EQ(log.fractions.front(), 0.0);
        EXPECT_EQ(log.fractions.back(), 1.0);
    }

    for (double stopAt : {0.0, 0.1, 0.6, 1.0}) {
        ProgressLog stopping;
        stopping.stopAt = stopAt;
        const ReadResult<PointCloudData> read = ReadPly(path, stopping.Options());
        ASSERT_FALSE(read.Ok()) << stopAt;
        EXPECT_EQ(read.Failure().code, ReadError::Cancelled);
        EXPECT_EQ(read.Failure().reason, "PLY: cancelled");
        EXPECT_TRUE(stopping.Rises());
        EXPECT_EQ(stopping.AtOrAbove(stopAt), 1) << "nothing is reported after the request to stop";
    }
}

// A splat file with SH degree 1 and masks, `count` splats.
std::string SplatFile(std::size_t count)
{
    std::string header = "ply\nformat binary_little_endian 1.0\nelement vertex " + std::to_string(count) + "\n";
    std::vector<std::string> names = {"x", "y", "z", "f_dc_0", "f_dc_1", "f_dc_2"};
    for (int j = 0; j < 9; ++j)
        names.push_back("f_rest_" + std::to_string(j));
    for (const char* name : {"opacity", "scale_0", "scale_1", "scale_2", "rot_0", "rot_1", "rot_2", "rot_3",
                             "mask_0", "mask_1", "mask_2"})
        names.push_back(name);
    for (const std::string& name : names)
        header += "property float " + name + "\n";
    PlyBytes bytes(header + "end_header\n");
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t p = 0; p < names.size(); ++p)
            bytes.Le(static_cast<float>(std::sin(static_cast<double>(i * 31 + p * 7))) * 3.0f);
    return bytes.Bytes();
}

TEST(ParallelGaussianPly, ArraysEqualTheSerialRead)
{
    ScratchDir dir;
    std::vector<std::string> paths = {dir.Write("splats.ply", SplatFile(40000)).string()};
    if (!testsupport::TestDataDir().empty())
        for (const char* name : {"splat/donut_fused.ply", "splat/splat_sh3.ply", "splat/masks_3.ply"})
            paths.push_back(TestDataFile(name).string());
    for (const std::string& path : paths) {
        const auto [serial, parallel] = SerialAndParallel<GaussianData>(ReadGaussianPly, path);
        ExpectSameSplats(serial, parallel);
        EXPECT_FALSE(serial.positions.empty()) << path;
    }
}

TEST(ParallelGaussianPly, ProgressEndsAtOneAndCancellingStopsTheRead)
{
    ScratchDir dir;
    const std::string path = dir.Write("splats.ply", SplatFile(40000)).string();
    for (bool onPool : {false, true}) {
        ProgressLog log;
        ASSERT_TRUE(ReadGaussianPly(path, log.Options(onPool)).Ok());
        EXPECT_TRUE(log.Rises());
        if (!onPool) {
            EXPECT_GT(log.fractions.size(), 2u);
        }
        EXPECT_EQ(log.fractions.back(), 1.0);
    }

    ProgressLog stopping;
    stopping.stopAt = 0.3;
    const ReadResult<GaussianData> read = ReadGaussianPly(path, stopping.Options());
    ASSERT_FALSE(read.Ok());
    EXPECT_EQ(read.Failure().code, ReadError::Cancelled);
}

}  // namespace
