#include "io/splat/SplatReader.h"
#include "io/ply/PlyFile.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>

namespace {

using testsupport::ScratchDir;
using testsupport::TestDataFile;

const std::string kKeyLines =
    "property float f_dc_0\nproperty float opacity\nproperty float scale_0\nproperty float rot_0\n";

// A header: the first line, `before` (lines ending in '\n'), the four key lines, end_header.
std::string Header(const std::string& firstLine, const std::string& before = "", const std::string& newline = "\n")
{
    std::string text = firstLine + newline + "format binary_little_endian 1.0" + newline + "element vertex 1" + newline +
                       before;
    std::string keys = kKeyLines;
    if (newline != "\n")
        for (std::size_t at = keys.find('\n'); at != std::string::npos; at = keys.find('\n', at + newline.size()))
            keys.replace(at, 1, newline);
    return text + keys + "end_header" + newline;
}

std::string Comments(int count)
{
    std::string lines;
    for (int i = 0; i < count; ++i)
        lines += "comment filler " + std::to_string(i) + "\n";
    return lines;
}

bool Sniff(const ScratchDir& dir, const std::string& bytes)
{
    return IsGaussianSplatPly(dir.Write("file.ply", bytes).string());
}

}  // namespace

TEST(GaussianPlySniff, FirstLineMustBeginWithPly)
{
    ScratchDir dir;
    EXPECT_TRUE(Sniff(dir, Header("ply")));
    EXPECT_TRUE(Sniff(dir, Header("ply extra")));  // only the beginning counts
    EXPECT_TRUE(Sniff(dir, Header("ply", "", "\r\n")));
    EXPECT_FALSE(Sniff(dir, Header(" ply")));
    EXPECT_FALSE(Sniff(dir, Header("PLY")));
    EXPECT_FALSE(Sniff(dir, "pl\ny\n" + kKeyLines));
    EXPECT_FALSE(Sniff(dir, "ply"));  // nothing after the first line
    EXPECT_FALSE(Sniff(dir, "pl"));
    EXPECT_FALSE(Sniff(dir, ""));
}

TEST(GaussianPlySniff, KeysAreSubstringsOfHeaderLinesBeforeEndHeader)
{
    ScratchDir dir;
    // Anywhere in a line counts: comments, other elements, longer names.
    EXPECT_TRUE(Sniff(dir, "ply\ncomment f_dc_0 opacity\nelement extra 1\nproperty float scale_0_raw\n"
                           "property float xrot_0\nend_header\n"));
    // All four are needed.
    EXPECT_FALSE(Sniff(dir, "ply\ncomment f_dc_0 opacity scale_0\nend_header\n"));
    // Nothing on or after the end_header line is looked at.
    EXPECT_FALSE(Sniff(dir, "ply\ncomment f_dc_0 opacity scale_0\nend_header rot_0\n"));
    EXPECT_FALSE(Sniff(dir, "ply\ncomment f_dc_0 opacity scale_0\nend_header\nrot_0\n"));
    // A key on the line after a line that merely contains "end_header" is never reached.
    EXPECT_FALSE(Sniff(dir, "ply\ncomment f_dc_0 opacity scale_0 xend_headerx\ncomment rot_0\n"));
    // A last line without a newline still counts.
    EXPECT_TRUE(Sniff(dir, "ply\ncomment f_dc_0 opacity scale_0\ncomment rot_0"));
}

TEST(GaussianPlySniff, ReadsThreeHundredLinesAfterTheFirst)
{
    ScratchDir dir;
    // The header puts two lines before the comments and the four key lines after them: with
    // c comments rot_0 (the fourth key line) lies on line c + 6 after the first.
    EXPECT_TRUE(Sniff(dir, Header("ply", Comments(294))));   // rot_0 on line 300
    EXPECT_FALSE(Sniff(dir, Header("ply", Comments(295))));  // rot_0 on line 301
    // Empty lines count as lines.
    EXPECT_FALSE(Sniff(dir, Header("ply", std::string(295, '\n'))));
}

TEST(GaussianPlySniff, FindsKeysAcrossReadPiecesOfLongLines)
{
    ScratchDir dir;
    // A long comment line puts the keys, or end_header, across the 64 KiB point where the
    // file is read in pieces, at every shift.
    for (std::size_t shift = 0; shift < 32; ++shift) {
        const std::string head = "ply\ncomment f_dc_0 opacity\ncomment ";
        const std::string filler(64 * 1024 - head.size() - shift, 'x');
        EXPECT_TRUE(Sniff(dir, head + filler + "scale_0 rot_0\nend_header\n")) << shift;
        EXPECT_FALSE(Sniff(dir, head + filler + "scale_0 end_header\ncomment rot_0\n")) << shift;
    }
}

TEST(GaussianPlySniff, ReadsNoFurtherThanAHeaderCanReach)
{
    ScratchDir dir;
    const std::string head = "ply\ncomment f_dc_0 opacity scale_0 ";
    const std::string filler(orrisk::ply::kMaxPlyHeaderBytes - head.size() - 8, 'x');
    EXPECT_TRUE(Sniff(dir, head + filler + "rot_0\n"));
    EXPECT_FALSE(Sniff(dir, head + filler + "xxxxxxxxrot_0\n"));
}

TEST(GaussianPlySniff, AnswersNoForWhatCannotBeRead)
{
    ScratchDir dir;
    EXPECT_FALSE(IsGaussianSplatPly(dir.File("missing.ply").string()));
    EXPECT_FALSE(IsGaussianSplatPly(dir.Path().string()));
    ASSERT_EQ(::mkfifo(dir.File("pipe.ply").c_str(), 0600), 0);
    EXPECT_FALSE(IsGaussianSplatPly(dir.File("pipe.ply").string()));  // and does not wait for a writer
    // A binary file without line breaks is read through without holding it whole.
    EXPECT_FALSE(Sniff(dir, "ply\n" + std::string(3 << 20, '\x01')));
}

TEST(GaussianPlySniff, CorpusFiles)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* yes : {"splat/donut_fused.ply", "splat/splat_sh3.ply", "splat/splat_crlf_header.ply",
                            "splat/splat_first_line_ply_extra.ply", "splat/splat_named_as.las",
                            "splat/sniff_300_lines_inside.ply", "splat/sniff_rot0_on_line_301.ply",
                            "splat/keys_only_in_other_element.ply", "splat/pointcloud_with_splat_keys_in_comment.ply",
                            "splat/sniff_yes_opacity_missing.ply", "splat/color_from_rgb_uchar.ply"})
        EXPECT_TRUE(IsGaussianSplatPly(TestDataFile(yes).string())) << yes;
    for (const char* no : {"splat/sniff_300_lines_outside.ply", "splat/sniff_rot0_on_line_302.ply",
                           "splat/rgb_splat_without_fdc_key.ply", "splat/splat_first_line_leading_space.ply",
                           "ply/cloud_binary_le.ply", "las/autzen.las"})
        EXPECT_FALSE(IsGaussianSplatPly(TestDataFile(no).string())) << no;
}
