#include "io/splat/SpzReader.h"
#include "support/ReadNoteLines.h"
#include "support/SplatFormatBytes.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using testsupport::SpzGzipFile;
using testsupport::SpzHeaderFields;
using testsupport::SpzV4File;

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

// Two splats' attribute blocks besides positions and rotations, SH degree `degree`.
std::vector<std::string> Blocks(const std::string& positions, const std::string& rotations, int degree)
{
    const std::size_t coefficients = static_cast<std::size_t>((degree + 1) * (degree + 1) - 1);
    std::string sh;
    for (std::size_t i = 0; i < 2 * coefficients * 3; ++i)
        sh.push_back(static_cast<char>(100 + i % 50));
    std::vector<std::string> blocks = {positions, Bytes({255, 0}), Bytes({128, 0, 255, 64, 64, 64}),
                                       Bytes({160, 176, 144, 160, 160, 160}), rotations};
    if (degree > 0)
        blocks.push_back(sh);
    return blocks;
}

std::string Fixed24(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        for (int b = 0; b < 3; ++b)
            s.push_back(static_cast<char>((v >> (8 * b)) & 0xff));
    return s;
}

ReadResult<GaussianData> ReadBytes(const std::string& bytes)
{
    testsupport::ScratchDir dir;
    const std::string path = dir.Write("scene.spz", bytes).string();
    EXPECT_TRUE(IsSpzFile(path));
    return ReadSpz(path);
}

Eigen::Vector3d Absolute(const GaussianData& data, std::size_t i)
{
    return data.origin + data.positions[i].cast<double>();
}

TEST(SpzReader, Version2FlipsYAndZAndDerivesW)
{
    SpzHeaderFields header{2, 2, 1, 12, 0};
    const std::string positions = Fixed24({4096, 8192, -12288, 0, 0, 0});
    const std::string rotations = Bytes({191, 64, 128, 128, 128, 128});
    ReadResult<GaussianData> result = ReadBytes(SpzGzipFile(header, Blocks(positions, rotations, 1)));
    ASSERT_TRUE(result.Ok()) << result.Failure().reason;
    const GaussianData& data = result.Value();
    ASSERT_EQ(data.positions.size(), 2u);
    EXPECT_EQ(Absolute(data, 0), Eigen::Vector3d(1.0, -2.0, 3.0));
    EXPECT_EQ(data.opacities[0], 1.0f);
    EXPECT_EQ(data.opacities[1], 0.0f);
    EXPECT_FLOAT_EQ(data.shDc[0][2], (1.0f - 0.5f) / 0.15f);
    EXPECT_FLOAT_EQ(data.scales[0][0], 1.0f);
    EXPECT_FLOAT_EQ(data.scales[0][1], std::exp(1.0f));

    const float x = 191 / 127.5f - 1, y = 64 / 127.5f - 1, z = 128 / 127.5f - 1;
    const Eigen::Vector4f expected = Eigen::Vector4f(std::sqrt(1 - x * x - y * y - z * z), x, -y, -z).normalized();
    EXPECT_TRUE(data.rotations[0].isApprox(expected, 1e-6f)) << data.rotations[0].transpose();

    // Degree 1 SH: per coefficient the channels, in the file; per channel the coefficients, in
    // the scene; the y and z functions change sign with their axes.
    ASSERT_EQ(data.shRestCount, 9);
    EXPECT_EQ(data.shDegree, 1);
    const float flip[3] = {-1, -1, 1};
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 3; ++c)
            EXPECT_FLOAT_EQ(data.shRest[c * 3 + k], flip[k] * (100 + 3 * k + c - 128) / 128.0f) << k << c;
}

TEST(SpzReader, Version1PositionsAreHalfFloats)
{
    SpzHeaderFields header{1, 2, 0, 0, 0};
    const std::string positions = Bytes({0x00, 0x3c, 0x00, 0xc1, 0x00, 0x38, 0, 0, 0, 0, 0, 0});
    ReadResult<GaussianData> result = ReadBytes(SpzGzipFile(header, Blocks(positions, std::string(6, '\x80'), 0)));
    ASSERT_TRUE(result.Ok()) << result.Failure().reason;
    EXPECT_EQ(Absolute(result.Value(), 0), Eigen::Vector3d(1.0, 2.5, -0.5));
}

TEST(SpzReader, Version4ReadsAsVersion3AndDropsTheFourthBand)
{
    SpzHeaderFields header{3, 2, 4, 10, 1};
    const std::string positions = Fixed24({1024, -2048, 512, 7, 8, 9});
    const std::string rotations = Bytes({0, 0, 0, 0xc0, 0xff, 0x03, 0, 0x40});
    const std::vector<std::string> blocks = Blocks(positions, rotations, 4);
    ReadResult<GaussianData> v3 = ReadBytes(SpzGzipFile(header, blocks));
    ReadResult<GaussianData> v4 = ReadBytes(SpzV4File(header, blocks, "extension record"));
    ASSERT_TRUE(v3.Ok() && v4.Ok());
    const std::string notes = testsupport::NoteText(v4.Notes());
    EXPECT_EQ(v3.Value().positions, v4.Value().positions);
    EXPECT_EQ(v3.Value().rotations, v4.Value().rotations);
    EXPECT_EQ(v3.Value().shRest, v4.Value().shRest);
    EXPECT_EQ(v4.Value().shRestCount, 45);
    EXPECT_EQ(v4.Value().shDegree, 3);
    EXPECT_NE(notes.find("fourth band was dropped"), std::string::npos) << notes;
    EXPECT_NE(notes.find("antialiased: yes"), std::string::npos) << notes;
    EXPECT_NE(notes.find("[SpzReader] SH degree: 3\n"), std::string::npos) << notes;

    // The kept coefficients are the first 15 of the 24 stored, each channel's together.
    const std::string& sh = blocks[5];
    EXPECT_FLOAT_EQ(v4.Value().shRest[15 * 2 + 14], (static_cast<unsigned char>(sh[3 * 14 + 2]) - 128) / 128.0f);
}

TEST(SpzReader, RefusesWhatItCannotRead)
{
    SpzHeaderFields header{3, 2, 0, 12, 0};
    const std::vector<std::string> blocks = Blocks(Fixed24({1, 2, 3, 4, 5, 6}), std::string(8, '\0'), 0);
    struct Case {
        std::string bytes;
        ReadError code;
        const char* reason;
    };
    SpzHeaderFields v9 = header;
    v9.version = 9;
    SpzHeaderFields degree5 = header;
    degree5.shDegree = 5;
    SpzHeaderFields none = header;
    none.count = 0;
    std::string shortTable = SpzV4File(header, blocks);
    shortTable.resize(40);
    const Case cases[] = {
        {SpzGzipFile(v9, blocks), ReadError::Unsupported, "version 9"},
        {SpzGzipFile(degree5, blocks), ReadError::Malformed, "SH degree 5"},
        {SpzGzipFile(none, blocks), ReadError::Malformed, "no splats"},
        {SpzGzipFile(header, {blocks[0], blocks[1]}), ReadError::Truncated, "ends before"},
        {SpzV4File(header, blocks, "", {6, 2, 6, 6, 8}), ReadError::Malformed, "stream 0 holds 6 bytes"},
        {SpzV4File(header, {blocks[0], blocks[1]}), ReadError::Malformed, "2 streams"},
        {shortTable, ReadError::Truncated, "stream table"},
        {testsupport::Gzip("not an SPZ payload"), ReadError::NotRecognised, "NGSP"},
    };
    for (const Case& c : cases) {
        ReadResult<GaussianData> result = [&] {
            testsupport::ScratchDir dir;
            return ReadSpz(dir.Write("bad.spz", c.bytes).string());
        }();
        ASSERT_FALSE(result.Ok()) << c.reason;
        EXPECT_EQ(result.Failure().code, c.code) << result.Failure().reason;
        EXPECT_NE(result.Failure().reason.find(c.reason), std::string::npos) << result.Failure().reason;
    }
}

}  // namespace
