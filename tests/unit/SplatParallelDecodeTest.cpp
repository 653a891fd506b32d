#include "io/splat/SplatReader.h"
#include "platform/ThreadPool.h"
#include "support/SplatFormatBytes.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

// Splat files large enough to be decoded in many ranges of splats, read with no pool and with
// pools of several sizes: the arrays, the origin and the bounds must come out bit for bit the
// same, and the bounds must be those GaussianData::ComputeBounds finds for the same splats.

namespace {

constexpr std::uint32_t kManySplats = 150'000;  // several decoding ranges

template <typename T>
bool SameBits(const T& a, const T& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0);
}

void ExpectBitIdentical(const GaussianData& a, const GaussianData& b)
{
    EXPECT_TRUE(SameBits(a.positions, b.positions));
    EXPECT_TRUE(SameBits(a.shDc, b.shDc));
    EXPECT_TRUE(SameBits(a.shRest, b.shRest));
    EXPECT_TRUE(SameBits(a.opacities, b.opacities));
    EXPECT_TRUE(SameBits(a.scales, b.scales));
    EXPECT_TRUE(SameBits(a.rotations, b.rotations));
    EXPECT_EQ(std::memcmp(a.origin.data(), b.origin.data(), sizeof(double) * 3), 0);
    EXPECT_EQ(std::memcmp(a.boundsMin.data(), b.boundsMin.data(), sizeof(float) * 3), 0);
    EXPECT_EQ(std::memcmp(a.boundsMax.data(), b.boundsMax.data(), sizeof(float) * 3), 0);
    EXPECT_EQ(a.radius, b.radius);
    EXPECT_EQ(a.shDegree, b.shDegree);
}

// Reads the file serially and on pools of 2 and 5 threads; returns the serial scene after
// checking the others against it and its bounds against a serial recomputation.
GaussianData ReadEveryWay(const std::string& path)
{
    ReadResult<GaussianData> serial = ReadSplatFormat(DetectSplatFormat(path), path);
    EXPECT_TRUE(serial.Ok()) << serial.Failure().reason;
    if (!serial.Ok())
        return {};
    for (unsigned threads : {2u, 5u}) {
        ThreadPool pool(threads);
        ReadResult<GaussianData> parallel = ReadSplatFormat(DetectSplatFormat(path), path, ReadOptions{{}, &pool});
        EXPECT_TRUE(parallel.Ok()) << parallel.Failure().reason;
        if (parallel.Ok())
            ExpectBitIdentical(serial.Value(), parallel.Value());
    }
    GaussianData recomputed = serial.Value();
    recomputed.ComputeBounds();
    ExpectBitIdentical(serial.Value(), recomputed);
    return serial.TakeValue();
}

std::string RandomBytes(std::mt19937& random, std::size_t count)
{
    std::string bytes(count, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random() & 0xff);
    return bytes;
}

testsupport::SpzHeaderFields ManySh3Splats()
{
    testsupport::SpzHeaderFields header;
    header.count = kManySplats;
    header.shDegree = 3;
    return header;
}

// SPZ attribute blocks of random bytes for ManySh3Splats, in file order.
std::vector<std::string> RandomSh3Blocks(std::mt19937& random)
{
    return {RandomBytes(random, kManySplats * 9), RandomBytes(random, kManySplats), RandomBytes(random, kManySplats * 3),
            RandomBytes(random, kManySplats * 3), RandomBytes(random, kManySplats * 4), RandomBytes(random, kManySplats * 45)};
}

// Reads a damaged SPZ file serially and on pools of 2 and 5 threads: every read must fail
// with the same code and reason. Returns the serial failure.
ReadFailure FailureOnEveryPool(const std::string& path)
{
    const ReadResult<GaussianData> serial = ReadSplatFormat(SplatFormat::Spz, path);
    EXPECT_FALSE(serial.Ok());
    if (serial.Ok())
        return {};
    for (unsigned threads : {2u, 5u}) {
        ThreadPool pool(threads);
        const ReadResult<GaussianData> parallel = ReadSplatFormat(SplatFormat::Spz, path, ReadOptions{{}, &pool});
        EXPECT_FALSE(parallel.Ok()) << threads << " threads";
        if (!parallel.Ok()) {
            EXPECT_EQ(parallel.Failure().code, serial.Failure().code);
            EXPECT_EQ(parallel.Failure().reason, serial.Failure().reason);
        }
    }
    return serial.Failure();
}

void PutF32(std::string& s, float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    testsupport::PutU32(s, bits);
}

TEST(SplatParallelDecode, SpzWithShGivesTheSameSceneOnEveryPool)
{
    std::mt19937 random(7);
    testsupport::ScratchDir dir;
    for (std::uint8_t degree : {std::uint8_t{0}, std::uint8_t{3}}) {
        testsupport::SpzHeaderFields header;
        header.count = kManySplats;
        header.shDegree = degree;
        const std::size_t shBytes = degree == 3 ? 45 : 0;
        std::vector<std::string> blocks = {RandomBytes(random, kManySplats * 9), RandomBytes(random, kManySplats),
                                           RandomBytes(random, kManySplats * 3), RandomBytes(random, kManySplats * 3),
                                           RandomBytes(random, kManySplats * 4)};
        if (shBytes)
            blocks.push_back(RandomBytes(random, kManySplats * shBytes));
        const std::string tag = std::to_string(degree);
        const GaussianData v3 = ReadEveryWay(dir.Write("v3_" + tag + ".spz", testsupport::SpzGzipFile(header, blocks)).string());
        const GaussianData v4 = ReadEveryWay(dir.Write("v4_" + tag + ".spz", testsupport::SpzV4File(header, blocks)).string());
        ASSERT_EQ(v3.positions.size(), kManySplats);
        EXPECT_EQ(v3.shRest.size(), kManySplats * shBytes);
        // The same blocks make the same scene whichever way they are packed.
        ExpectBitIdentical(v3, v4);
    }
}

// A gzip stream that ends early fails the same way however many threads decode behind the
// one inflating it: in the attribute blocks, in the SH, or just before its end.
TEST(SplatParallelDecode, SpzGzipCutShortFailsOnEveryPool)
{
    std::mt19937 random(11);
    testsupport::ScratchDir dir;
    // Random bytes hardly compress, so a cut at a share of the file is a cut at that share
    // of the payload.
    const std::string file = testsupport::SpzGzipFile(ManySh3Splats(), RandomSh3Blocks(random));
    for (const double share : {0.1, 0.5, 0.9, 0.999}) {
        const std::string path =
            dir.Write("cut.spz", file.substr(0, static_cast<std::size_t>(static_cast<double>(file.size()) * share))).string();
        const ReadFailure failure = FailureOnEveryPool(path);
        EXPECT_EQ(failure.code, ReadError::Truncated) << share << ": " << failure.reason;
    }
}

// A damaged zstd stream in an SPZ v4 file fails the same way however many threads decode it:
// the largest stream (the SH), decoded beside the scene's sizing, or a smaller one decoded
// after it.
TEST(SplatParallelDecode, SpzV4DamagedStreamFailsOnEveryPool)
{
    std::mt19937 random(13);
    testsupport::ScratchDir dir;
    const std::string file = testsupport::SpzV4File(ManySh3Splats(), RandomSh3Blocks(random));
    const auto u32At = [&](std::size_t at) {
        std::uint32_t value;
        std::memcpy(&value, file.data() + at, sizeof value);
        return value;
    };
    const std::size_t table = u32At(16);
    const std::size_t streams = static_cast<std::uint8_t>(file[15]);
    ASSERT_EQ(streams, 6u);
    for (const std::size_t damaged : {std::size_t{5}, std::size_t{1}}) {
        // Stream data follows the table in order; compressed sizes are the entries' low words.
        std::size_t at = table + 16 * streams;
        for (std::size_t s = 0; s < damaged; ++s)
            at += u32At(table + 16 * s);
        std::string broken = file;
        broken[at] = '\0';  // no longer a zstd frame
        const std::string path = dir.Write("damaged.spz", broken).string();
        const ReadFailure failure = FailureOnEveryPool(path);
        EXPECT_EQ(failure.code, ReadError::Malformed) << damaged << ": " << failure.reason;
        EXPECT_NE(failure.reason.find("not zstd data"), std::string::npos) << damaged << ": " << failure.reason;
    }
}

// .splat stores plain floats, so positions can be NaN or infinite: the minimum and the bounds
// follow the PLY reader's rules (a NaN never wins, but one in the first splat stays) across
// the ranges as within one.
TEST(SplatParallelDecode, SplatFileWithNonFinitePositionsBoundsAsOneRangeWould)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::mt19937 random(11);
    std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
    auto file = [&](auto positionOf) {
        std::string bytes;
        for (std::uint32_t i = 0; i < kManySplats; ++i) {
            const Eigen::Vector3f p = positionOf(i);
            for (int a = 0; a < 3; ++a)
                PutF32(bytes, p[a]);
            for (int a = 0; a < 3; ++a)
                PutF32(bytes, 0.01f + static_cast<float>(i % 7) * 0.05f);
            bytes += RandomBytes(random, 8);  // colour, opacity and rotation
        }
        return bytes;
    };
    testsupport::ScratchDir dir;

    const GaussianData ordinary = ReadEveryWay(
        dir.Write("ordinary.splat", file([&](std::uint32_t) {
               return Eigen::Vector3f(coordinate(random), coordinate(random), coordinate(random));
           })).string());
    ASSERT_EQ(ordinary.positions.size(), kManySplats);
    EXPECT_LT(ordinary.boundsMin.x(), ordinary.boundsMax.x());

    // The smallest value sits in a late range; NaNs and infinities are scattered over others.
    const GaussianData scattered = ReadEveryWay(
        dir.Write("scattered.splat", file([&](std::uint32_t i) {
               if (i == kManySplats - 3)
                   return Eigen::Vector3f(-900.0f, -800.0f, -700.0f);
               if (i % 40'000 == 17)
                   return Eigen::Vector3f(nan, inf, -inf);
               return Eigen::Vector3f(coordinate(random), coordinate(random), coordinate(random));
           })).string());
    EXPECT_EQ(scattered.origin.x(), -900.0);
    EXPECT_EQ(scattered.origin.y(), -800.0);
    EXPECT_EQ(scattered.origin.z(), -inf);

    // A NaN in the very first splat stays the minimum of its axis.
    const GaussianData nanFirst = ReadEveryWay(
        dir.Write("nan_first.splat", file([&](std::uint32_t i) {
               return i == 0 ? Eigen::Vector3f(nan, 1.0f, 2.0f)
                             : Eigen::Vector3f(coordinate(random), coordinate(random), coordinate(random));
           })).string());
    EXPECT_TRUE(std::isnan(nanFirst.origin.x()));
    EXPECT_FALSE(std::isnan(nanFirst.origin.y()));
}

}  // namespace
