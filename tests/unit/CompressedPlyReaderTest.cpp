#include "io/splat/CompressedPlyReader.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using testsupport::TestDataFile;

constexpr float kC0 = 0.28209479177387814f;

// sh3_5k.compressed.ply as an older writer would have written it: chunks without their colour
// ranges (12 floats instead of 18) and no "sh" element.
std::string WithoutColourRangesAndSh(const std::string& file, std::size_t chunks, std::size_t splats)
{
    const std::size_t bodyStart = file.find("end_header\n") + 11;
    std::string header = file.substr(0, bodyStart);
    for (const char* name : {"min_r", "min_g", "min_b", "max_r", "max_g", "max_b"}) {
        const std::string line = std::string("property float ") + name + "\n";
        header.erase(header.find(line), line.size());
    }
    header.erase(header.find("element sh "), header.find("end_header") - header.find("element sh "));
    std::string body;
    for (std::size_t c = 0; c < chunks; ++c)
        body += file.substr(bodyStart + c * 72, 48);
    body += file.substr(bodyStart + chunks * 72, splats * 16);
    return header + body;
}

TEST(CompressedPlyReader, OlderFilesWithoutColourRangesOrShRead)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string full = testsupport::ReadWholeFile(TestDataFile("splat-formats/sh3_5k.compressed.ply"));
    ReadResult<GaussianData> reference = ReadCompressedSplatPly(TestDataFile("splat-formats/sh3_5k.compressed.ply").string());
    ASSERT_TRUE(reference.Ok());

    testsupport::ScratchDir dir;
    const std::string older = WithoutColourRangesAndSh(full, 20, 5000);
    const std::string path = dir.Write("older.compressed.ply", older).string();
    ASSERT_TRUE(IsCompressedSplatPly(path));
    ReadResult<GaussianData> result = ReadCompressedSplatPly(path);
    ASSERT_TRUE(result.Ok()) << result.Failure().reason;
    const GaussianData& data = result.Value();
    EXPECT_EQ(data.shRestCount, 0);
    EXPECT_EQ(data.shDegree, 0);
    EXPECT_EQ(data.positions, reference.Value().positions);
    EXPECT_EQ(data.rotations, reference.Value().rotations);
    EXPECT_EQ(data.scales, reference.Value().scales);
    EXPECT_EQ(data.opacities, reference.Value().opacities);

    // Without a range the colour bytes are the colour itself.
    const std::size_t bodyStart = older.find("end_header\n") + 11;
    for (std::size_t i : {0u, 1234u, 4999u}) {
        std::uint32_t packed;
        std::memcpy(&packed, older.data() + bodyStart + 20 * 48 + i * 16 + 12, 4);
        EXPECT_FLOAT_EQ(data.shDc[i][0], (static_cast<float>(packed >> 24) / 255.0f - 0.5f) / kC0) << i;
        EXPECT_FLOAT_EQ(data.shDc[i][2], (static_cast<float>((packed >> 8) & 255) / 255.0f - 0.5f) / kC0) << i;
    }
}

TEST(CompressedPlyReader, PropertiesOfTheWrongTypeAreRefused)
{
    ORRISK_REQUIRE_TESTDATA();
    std::string file = testsupport::ReadWholeFile(TestDataFile("splat-formats/sh3_5k.compressed.ply"));
    file.replace(file.find("property uint packed_scale"), 26, "property int packed_scale ");
    testsupport::ScratchDir dir;
    ReadResult<GaussianData> result = ReadCompressedSplatPly(dir.Write("typed.compressed.ply", file).string());
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.Failure().code, ReadError::Malformed);
    EXPECT_NE(result.Failure().reason.find("packed_scale is int, not uint"), std::string::npos)
        << result.Failure().reason;
}

TEST(CompressedPlyReader, ShPropertiesAreFoundByNameInAnyOrder)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string path = TestDataFile("splat-formats/sh3_5k.compressed.ply").string();
    ReadResult<GaussianData> reference = ReadCompressedSplatPly(path);
    ASSERT_TRUE(reference.Ok());
    ASSERT_EQ(reference.Value().shRestCount, 45);

    // The same bytes, their names reversed: what was stored as f_rest_k is now f_rest_(44 - k).
    std::string file = testsupport::ReadWholeFile(path);
    const std::size_t shStart = file.find("element sh ");
    std::string reversed;
    for (int k = 0; k < 45; ++k)
        reversed += "property uchar f_rest_" + std::to_string(44 - k) + "\n";
    const std::size_t first = file.find("property uchar f_rest_0\n", shStart);
    const std::size_t last = file.find("property uchar f_rest_44\n", shStart);
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(last, std::string::npos);
    file.replace(first, last + std::string("property uchar f_rest_44\n").size() - first, reversed);

    testsupport::ScratchDir dir;
    ReadResult<GaussianData> result = ReadCompressedSplatPly(dir.Write("reordered.compressed.ply", file).string());
    ASSERT_TRUE(result.Ok()) << result.Failure().reason;
    const GaussianData& data = result.Value();
    ASSERT_EQ(data.shRest.size(), reference.Value().shRest.size());
    for (std::size_t i = 0; i < 5000; ++i)
        for (std::size_t k = 0; k < 45; ++k)
            ASSERT_EQ(data.shRest[i * 45 + k], reference.Value().shRest[i * 45 + 44 - k]) << i << " " << k;
    EXPECT_EQ(data.positions, reference.Value().positions);
}

}  // namespace
