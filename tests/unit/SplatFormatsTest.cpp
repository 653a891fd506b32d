#include "io/splat/SplatReader.h"
#include "platform/ThreadPool.h"
#include "support/ReadNoteLines.h"
#include "support/TestData.h"
#include "support/ZipBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using testsupport::TestDataFile;

bool Close(float actual, float expected)
{
    if (std::isinf(expected) || std::isnan(expected))
        return actual == expected || (std::isnan(actual) && std::isnan(expected));
    return std::fabs(actual - expected) <= 1e-5f * std::fabs(expected) + 1e-6f;
}

// Counts and reports (up to a few) splats where the two scenes differ beyond the format's
// rounding. Positions are compared absolutely, within 1e-6 of the scene's extent; a rotation
// may come back negated.
void ExpectSameScene(const GaussianData& actual, const GaussianData& expected, bool compareShRest = true)
{
    ASSERT_EQ(actual.positions.size(), expected.positions.size());
    ASSERT_EQ(actual.shRestCount, expected.shRestCount);
    EXPECT_EQ(actual.shDegree, expected.shDegree);
    const Eigen::Vector3f extent = expected.boundsMax - expected.boundsMin;
    const double tolerance = 1e-6 * extent.maxCoeff();
    int reported = 0;
    auto report = [&](std::size_t i, const char* what) {
        ADD_FAILURE() << what << " differs at splat " << i;
        return ++reported < 5;
    };
    for (std::size_t i = 0; i < expected.positions.size() && reported < 5; ++i) {
        for (int a = 0; a < 3; ++a) {
            const double p = actual.origin[a] + actual.positions[i][a];
            const double q = expected.origin[a] + expected.positions[i][a];
            if (std::fabs(p - q) > tolerance && !report(i, "position"))
                return;
            if ((!Close(actual.shDc[i][a], expected.shDc[i][a]) && !report(i, "SH DC")) ||
                (!Close(actual.scales[i][a], expected.scales[i][a]) && !report(i, "scale")))
                return;
        }
        if (!Close(actual.opacities[i], expected.opacities[i]) && !report(i, "opacity"))
            return;
        bool same = true;
        bool negated = true;
        for (int c = 0; c < 4; ++c) {
            same = same && Close(actual.rotations[i][c], expected.rotations[i][c]);
            negated = negated && Close(-actual.rotations[i][c], expected.rotations[i][c]);
        }
        if (!same && !negated && !report(i, "rotation"))
            return;
        for (int k = 0; compareShRest && k < expected.shRestCount; ++k) {
            const std::size_t at = i * expected.shRestCount + k;
            if (!Close(actual.shRest[at], expected.shRest[at]) &&
                !report(i, ("SH coefficient " + std::to_string(k)).c_str()))
                return;
        }
    }
}

class EncodedScene : public ::testing::TestWithParam<std::string> {};

TEST_P(EncodedScene, LoadsAsItsIndependentlyDecodedTwin)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string path = TestDataFile("splat-formats/" + GetParam()).string();
    ReadResult<GaussianData> twin = ReadGaussianPly(path + ".decoded.ply");
    ASSERT_TRUE(twin.Ok());
    const GaussianData& expected = twin.Value();

    ThreadPool pool(2);
    for (ThreadPool* threads : {static_cast<ThreadPool*>(nullptr), &pool}) {
        const SplatFormat format = DetectSplatFormat(path);
        ASSERT_NE(format, SplatFormat::None);
        ReadResult<GaussianData> result = ReadSplatFormat(format, path, ReadOptions{{}, threads});
        ASSERT_TRUE(result.Ok()) << result.Failure().reason;
        ExpectSameScene(result.Value(), expected);
        const std::string notes = testsupport::NoteText(result.Notes());
        EXPECT_NE(notes.find("SH degree: " + std::to_string(expected.shDegree) + "\n"), std::string::npos) << notes;
        EXPECT_NE(notes.find("Loaded " + std::to_string(expected.positions.size()) + " gaussians"), std::string::npos)
            << notes;
    }
}

INSTANTIATE_TEST_SUITE_P(SplatFormats, EncodedScene,
                         ::testing::Values("donut.splat", "sh3_5k.splat", "donut.spz", "sh3_5k.spz", "donut_v3.spz",
                                           "sh3_5k_v3.spz", "donut.compressed.ply", "sh3_5k.compressed.ply",
                                           "donut.sog", "sh3_5k.sog"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

ReadResult<GaussianData> ReadDetected(const std::string& path)
{
    return ReadSplatFormat(DetectSplatFormat(path), path);
}

void ExpectIdentical(const GaussianData& a, const GaussianData& b)
{
    EXPECT_EQ(a.origin, b.origin);
    EXPECT_EQ(a.positions, b.positions);
    EXPECT_EQ(a.shDc, b.shDc);
    EXPECT_EQ(a.shRest, b.shRest);
    EXPECT_EQ(a.opacities, b.opacities);
    EXPECT_EQ(a.scales, b.scales);
    EXPECT_EQ(a.rotations, b.rotations);
    EXPECT_EQ(a.boundsMin, b.boundsMin);
    EXPECT_EQ(a.boundsMax, b.boundsMax);
}

// The folder holds the same scene as sh3_5k.sog but for its SH palette, which the writer
// clustered afresh: everything else matches the bundle's twin, and the folder reads exactly as
// a bundle made of its own files does.
TEST(SogFolder, ReadsAsTheBundleOfItsOwnFiles)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::filesystem::path folder = TestDataFile("splat-formats/sh3_5k_sog");
    const std::string meta = (folder / "meta.json").string();
    ASSERT_EQ(DetectSplatFormat(meta), SplatFormat::Sog);
    ReadResult<GaussianData> fromFolder = ReadDetected(meta);
    ASSERT_TRUE(fromFolder.Ok()) << fromFolder.Failure().reason;

    ReadResult<GaussianData> twin = ReadGaussianPly(TestDataFile("splat-formats/sh3_5k.sog.decoded.ply").string());
    ASSERT_TRUE(twin.Ok());
    ExpectSameScene(fromFolder.Value(), twin.Value(), false);

    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& file : std::filesystem::directory_iterator(folder))
        entries.emplace_back(file.path().filename().string(), testsupport::ReadWholeFile(file.path()));
    testsupport::ScratchDir scratch;
    const std::string bundle = scratch.Write("rebundled.bin", testsupport::StoredZip(entries)).string();
    ASSERT_EQ(DetectSplatFormat(bundle), SplatFormat::Sog);
    ReadResult<GaussianData> fromBundle = ReadDetected(bundle);
    ASSERT_TRUE(fromBundle.Ok()) << fromBundle.Failure().reason;
    ExpectIdentical(fromFolder.Value(), fromBundle.Value());
}

// An early description of SOG listed shN's files labels first; today's writer lists the
// centroids first. Either order reads the same scene, told apart by the images' sizes.
TEST(SogFolder, ShFilesListedInEitherOrderReadAlike)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::filesystem::path folder = TestDataFile("splat-formats/sh3_5k_sog");
    ReadResult<GaussianData> listed = ReadDetected((folder / "meta.json").string());
    ASSERT_TRUE(listed.Ok()) << listed.Failure().reason;

    testsupport::ScratchDir scratch;
    for (const auto& file : std::filesystem::directory_iterator(folder))
        scratch.Write(file.path().filename().string(), testsupport::ReadWholeFile(file.path()));
    std::string meta = testsupport::ReadWholeFile(folder / "meta.json");
    const std::string order = R"("shN_centroids.webp","shN_labels.webp")";
    ASSERT_NE(meta.find(order), std::string::npos);
    meta.replace(meta.find(order), order.size(), R"("shN_labels.webp","shN_centroids.webp")");
    ReadResult<GaussianData> swapped = ReadDetected(scratch.Write("meta.json", meta).string());
    ASSERT_TRUE(swapped.Ok()) << swapped.Failure().reason;
    ExpectIdentical(swapped.Value(), listed.Value());

    // Images that fit neither order still fail, naming what is wrong.
    meta.replace(meta.find("shN_centroids.webp"), 18, "quats.webp");
    ReadResult<GaussianData> wrong = ReadDetected(scratch.Write("meta.json", meta).string());
    ASSERT_FALSE(wrong.Ok());
    EXPECT_NE(wrong.Failure().reason.find("SOG: shN_labels.webp is "), std::string::npos) << wrong.Failure().reason;
}

TEST(SplatFormats, ResultsDoNotDependOnThePool)
{
    ORRISK_REQUIRE_TESTDATA();
    ThreadPool pool(3);
    for (const char* name : {"donut.spz", "donut_v3.spz", "sh3_5k_v3.spz", "donut.sog", "sh3_5k.sog",
                             "donut.compressed.ply", "sh3_5k.compressed.ply", "donut.splat"}) {
        const std::string path = TestDataFile(std::string("splat-formats/") + name).string();
        ReadResult<GaussianData> serial = ReadSplatFormat(DetectSplatFormat(path), path);
        ReadResult<GaussianData> parallel = ReadSplatFormat(DetectSplatFormat(path), path, ReadOptions{{}, &pool});
        ASSERT_TRUE(serial.Ok() && parallel.Ok()) << name;
        ExpectIdentical(serial.Value(), parallel.Value());
    }
}

// Progress rises to 1 on every format, and a request to stop, at the start or half way,
// cancels the read with nothing reported after it.
TEST(SplatFormats, ProgressRisesToOneAndAStopCancels)
{
    ORRISK_REQUIRE_TESTDATA();
    ThreadPool pool(3);
    for (const char* name : {"sh3_5k.spz", "sh3_5k_v3.spz", "sh3_5k.sog", "sh3_5k.compressed.ply", "donut.splat"}) {
        SCOPED_TRACE(name);
        const std::string path = TestDataFile(std::string("splat-formats/") + name).string();
        for (const double stopAt : {2.0, 0.0, 0.5}) {
            std::vector<double> fractions;
            const ReadOptions options{[&](double f) {
                                          fractions.push_back(f);
                                          return f < stopAt;
                                      },
                                      &pool};
            const ReadResult<GaussianData> read = ReadSplatFormat(DetectSplatFormat(path), path, options);
            ASSERT_FALSE(fractions.empty());
            EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
            if (stopAt > 1.0) {
                ASSERT_TRUE(read.Ok()) << read.Failure().reason;
                EXPECT_EQ(fractions.back(), 1.0);
                continue;
            }
            ASSERT_FALSE(read.Ok()) << stopAt;
            EXPECT_EQ(read.Failure().code, ReadError::Cancelled) << read.Failure().reason;
            EXPECT_EQ(std::count_if(fractions.begin(), fractions.end(), [&](double f) { return f >= stopAt; }), 1)
                << "nothing is reported after the request to stop";
        }
    }
}

struct BrokenFile {
    const char* name;
    SplatFormat format;
    ReadError code;
    const char* reasonPart;
};

class BrokenSplatFile : public ::testing::TestWithParam<BrokenFile> {};

TEST_P(BrokenSplatFile, FailsWithItsReason)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string path = TestDataFile(std::string("splat-formats/") + GetParam().name).string();
    EXPECT_EQ(DetectSplatFormat(path), GetParam().format);
    ReadResult<GaussianData> result = ReadDetected(path);
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.Failure().code, GetParam().code) << result.Failure().reason;
    EXPECT_NE(result.Failure().reason.find(GetParam().reasonPart), std::string::npos) << result.Failure().reason;
    EXPECT_EQ(result.Failure().reason.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    SplatFormats, BrokenSplatFile,
    ::testing::Values(
        BrokenFile{"broken_spz_v4_truncated.spz", SplatFormat::Spz, ReadError::Truncated, "SPZ: stream"},
        BrokenFile{"broken_spz_v3_truncated.spz", SplatFormat::Spz, ReadError::Truncated, "SPZ:"},
        BrokenFile{"broken_spz_v3_count_too_large.spz", SplatFormat::Spz, ReadError::TooLarge, "1000000000 splats"},
        BrokenFile{"broken_spz_v3_not_gzip.spz", SplatFormat::Spz, ReadError::Malformed, "without gzip"},
        BrokenFile{"broken_sog_without_meta.sog", SplatFormat::Sog, ReadError::Malformed, "no meta.json"},
        BrokenFile{"broken_compressed_ply_truncated.compressed.ply", SplatFormat::CompressedPly,
                   ReadError::Truncated, "compressed PLY:"},
        BrokenFile{"broken_splat_partial_record.splat", SplatFormat::AntimatterSplat, ReadError::Truncated,
                   "not a multiple of the 32-byte record"}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

}  // namespace
