#include "io/ply/PlyFile.h"
#include "support/PlyFiles.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using orrisk::ply::PlyEncoding;
using orrisk::ply::PlyFile;
using testsupport::PlyErrorOf;
using testsupport::ReadPly;

namespace {

const std::string kXyz = "element vertex 1\nproperty float x\nproperty float y\nproperty float z\nend_header\n1 2 3\n";

}  // namespace

TEST(PlyHeader, FirstLineMustBePlyAfterTrimming)
{
    const std::string firstLine = "PLY parser: File does not appear to be ply file. First line should be 'ply'";
    EXPECT_EQ(PlyErrorOf("   ply  \r\nformat ascii 1.0\n" + kXyz), "");
    EXPECT_EQ(PlyErrorOf("ply\r\nformat ascii 1.0\r\n" + kXyz), "");
    EXPECT_EQ(PlyErrorOf("PLY\nformat ascii 1.0\n" + kXyz), firstLine);
    EXPECT_EQ(PlyErrorOf("ply 1.0\nformat ascii 1.0\n" + kXyz), firstLine);
    EXPECT_EQ(PlyErrorOf("\tply\nformat ascii 1.0\n" + kXyz), firstLine);
    EXPECT_EQ(PlyErrorOf(""), firstLine);
}

TEST(PlyHeader, FormatLineNamesEncodingAndVersion)
{
    const std::string badFormat = "PLY parser: bad format line";
    EXPECT_EQ(PlyErrorOf("ply\nformat  ascii  1.0 \n" + kXyz), "");
    EXPECT_EQ(PlyErrorOf("ply\nformat ascii\n" + kXyz), badFormat);
    EXPECT_EQ(PlyErrorOf("ply\nformat ascii 1.0 extra\n" + kXyz), badFormat);
    EXPECT_EQ(PlyErrorOf("ply\nformt ascii 1.0\n" + kXyz), badFormat);
    EXPECT_EQ(PlyErrorOf("ply\nformat binary 1.0\n" + kXyz), badFormat);
    EXPECT_EQ(PlyErrorOf("ply\nformat ASCII 1.0\n" + kXyz), badFormat);
    EXPECT_EQ(PlyErrorOf("ply\nformat\tascii 1.0\n" + kXyz), badFormat);
    EXPECT_EQ(PlyErrorOf("ply\n"), badFormat);
    EXPECT_EQ(PlyErrorOf("ply\nformat ascii 1.1\n" + kXyz),
              "PLY parser: encountered file with version != 1.0. Don't know how to parse that");

    testsupport::ScratchDir dir;
    EXPECT_EQ(ReadPly(dir, "ply\nformat ascii 1.0\nend_header\n").encoding, PlyEncoding::Ascii);
    EXPECT_EQ(ReadPly(dir, "ply\nformat binary_little_endian 1.0\nend_header\n").encoding, PlyEncoding::LittleEndian);
    EXPECT_EQ(ReadPly(dir, "ply\nformat binary_big_endian 1.0\nend_header\n").encoding, PlyEncoding::BigEndian);
}

TEST(PlyHeader, MalformedLinesGiveTheirMessages)
{
    const std::string ascii = "ply\nformat ascii 1.0\n";
    struct Case {
        std::string lines;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"element vertex\n", "PLY parser: Invalid element line"},
        {"element vertex 1 2\n", "PLY parser: Invalid element line"},
        {"element vertex 1\nproperty list uchar idx\n", "PLY parser: Invalid property list line"},
        {"property list uchar int idx\n", "PLY parser: Found property list without previous element"},
        {"element vertex 1\nproperty float\n", "PLY parser: Invalid property line"},
        {"element vertex 1\nproperty\tfloat x\n", "PLY parser: Invalid property line"},
        // Two spaces after "property" miss the list rule and reach the scalar one.
        {"element vertex 1\nproperty  list uchar int idx\n", "PLY parser: Invalid property line"},
        {"property float x\n", "PLY parser: Found property without previous element"},
        {"element vertex 1\nvertex_count 1\n", "Unrecognized header line: vertex_count 1"},
        {"element vertex 1\nbogus\r\n", "Unrecognized header line: bogus\r"},
        {"element vertex 1\n\n", "Unrecognized header line: "},
        {" comment indented\n", "Unrecognized header line:  comment indented"},
        {"element vertex 1\nproperty list float int idx\n", "Unrecognized list count type: float"},
        {"element vertex 1\nproperty list double int idx\n", "Unrecognized list count type: double"},
        {"element vertex 1\nproperty list uchar half idx\n", "Data type: half cannot be mapped to .ply format"},
        {"element vertex 1\nproperty uint64 x\n", "Data type: uint64 cannot be mapped to .ply format"},
        {"element vertex 1\nproperty Float x\n", "Data type: Float cannot be mapped to .ply format"},
        {"element vertex 1\nproperty int64 x\n", "Data type: int64 cannot be mapped to .ply format"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlyErrorOf(ascii + c.lines + "end_header\n"), c.message) << c.lines;
}

TEST(PlyHeader, EveryTypeNameAndAliasMapsToItsCanonicalType)
{
    const std::vector<std::pair<std::string, std::string>> names = {
        {"uchar", "uchar"}, {"uint8", "uchar"},   {"ushort", "ushort"}, {"uint16", "ushort"},
        {"uint", "uint"},   {"uint32", "uint"},   {"char", "char"},     {"int8", "char"},
        {"short", "short"}, {"int16", "short"},   {"int", "int"},       {"int32", "int"},
        {"float", "float"}, {"float32", "float"}, {"double", "double"}, {"float64", "double"},
    };
    std::string header = "ply\nformat binary_little_endian 1.0\nelement e 0\n";
    for (const auto& [name, canonical] : names)
        header += "property " + name + " s_" + name + "\nproperty list uchar " + name + " l_" + name + "\n";
    testsupport::ScratchDir dir;
    const PlyFile ply = ReadPly(dir, header + "end_header\n");
    const orrisk::ply::PlyElement& element = ply.elements.at(0);
    for (const auto& [name, canonical] : names) {
        EXPECT_EQ(element.PropertyNamed("s_" + name)->TypeName(), canonical) << name;
        EXPECT_EQ(element.PropertyNamed("l_" + name)->TypeName(), canonical) << name;
    }
}

TEST(PlyHeader, ListCountTypesGiveTheirWidthWhateverTheirSign)
{
    testsupport::ScratchDir dir;
    const std::vector<std::pair<std::string, int>> counts = {
        {"uchar", 1}, {"uint8", 1}, {"char", 1}, {"int8", 1},    {"ushort", 2}, {"uint16", 2},
        {"short", 2}, {"int16", 2}, {"uint", 4}, {"uint32", 4}, {"int", 4},    {"int32", 4},
    };
    for (const auto& [name, width] : counts) {
        const PlyFile ply = ReadPly(dir, "ply\nformat ascii 1.0\nelement face 0\nproperty list " + name +
                                          " float idx\nend_header\n");
        const auto* list = dynamic_cast<const orrisk::ply::TypedListProperty<float>*>(ply.elements[0].properties[0].get());
        ASSERT_NE(list, nullptr) << name;
        EXPECT_EQ(list->countWidth, width) << name;
    }
}

TEST(PlyHeader, CommentsAndObjInfoKeepTheTextAfterTheKeywordAndItsSpace)
{
    testsupport::ScratchDir dir;
    const PlyFile ply = ReadPly(dir,
                             "ply\nformat ascii 1.0\ncomment\ncomment \ncomment made by hand\r\ncommentary\n"
                             "obj_info\nobj_info scanner 42\nelement vertex 1\ncomment inside\n"
                             "property float x\nobj_info  two spaces\nend_header\n5\n");
    EXPECT_EQ(ply.commentLines, (std::vector<std::string>{"made by hand\r", "ry", "inside"}));
    EXPECT_EQ(ply.objInfoLines, (std::vector<std::string>{"scanner 42", " two spaces"}));
    EXPECT_EQ(ply.elements.at(0).ValuesAs<float>("x"), std::vector<float>{5.0f});
}

TEST(PlyHeader, ElementCountsAreReadAsUnsignedNumberPrefixes)
{
    testsupport::ScratchDir dir;
    // Records without properties take no bytes in a binary body.
    const PlyFile ply = ReadPly(dir,
                             "ply\nformat binary_little_endian 1.0\nelement a 3points\nelement b many\n"
                             "element c 0\nelement d 18446744073709551615\nend_header\n");
    ASSERT_EQ(ply.elements.size(), 4u);
    EXPECT_EQ(ply.elements[0].recordCount, 3u);
    EXPECT_EQ(ply.elements[1].recordCount, 0u);
    EXPECT_EQ(ply.elements[2].recordCount, 0u);
    EXPECT_EQ(ply.elements[3].recordCount, 18446744073709551615u);
}

TEST(PlyHeader, HeaderEndsAtEndHeaderPrefixOrAtEndOfFile)
{
    testsupport::ScratchDir dir;
    const PlyFile suffixed = ReadPly(dir, "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header and more\n7\n");
    EXPECT_EQ(suffixed.elements.at(0).ValuesAs<float>("x"), std::vector<float>{7.0f});

    // No end_header at all: the elements declared so far stay, with no records to read.
    for (const char* end : {"\n", ""}) {
        const PlyFile open = ReadPly(dir, std::string("ply\nformat ascii 1.0\nelement vertex 0\nproperty float x") + end);
        ASSERT_EQ(open.elements.size(), 1u);
        EXPECT_EQ(open.elements[0].properties.size(), 1u);
    }
}

TEST(PlyHeader, HeaderIsLimitedToOneMebibyteOfText)
{
    // end_header's line end is the header's last byte: a header of exactly the limit reads,
    // one byte more fails, as does a single endless line.
    const std::string start = "ply\nformat ascii 1.0\ncomment ";
    const std::string end = "\nelement vertex 1\nproperty float x\nend_header\n";
    const std::string padding(orrisk::ply::kMaxPlyHeaderBytes - start.size() - end.size(), 'c');
    testsupport::ScratchDir dir;
    EXPECT_EQ(ReadPly(dir, start + padding + end + "5\n").elements.at(0).ValuesAs<float>("x"), std::vector<float>{5.0f});
    const std::string message = "PLY parser: header longer than 1048576 bytes";
    EXPECT_EQ(PlyErrorOf(start + padding + "c" + end + "5\n"), message);
    EXPECT_EQ(PlyErrorOf(start + padding + padding), message);
}

TEST(PlyHeader, LookupsAreExactAndTheFirstOfDuplicateNamesWins)
{
    testsupport::ScratchDir dir;
    PlyFile ply = ReadPly(dir,
                       "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty double x\n"
                       "element vertex 1\nproperty int x\nend_header\n1.5 2.5\n3\n");
    EXPECT_TRUE(ply.ContainsElement("vertex"));
    EXPECT_FALSE(ply.ContainsElement("Vertex"));
    orrisk::ply::PlyElement& vertex = ply.ElementNamed("vertex");
    EXPECT_EQ(&vertex, &ply.elements[0]);
    EXPECT_EQ(vertex.PropertyNamed("x")->TypeName(), "float");
    EXPECT_TRUE(vertex.ContainsProperty("x"));
    EXPECT_FALSE(vertex.ContainsProperty("X"));

    auto messageOf = [](auto&& lookup) {
        try {
            lookup();
        } catch (const std::runtime_error& error) {
            return std::string(error.what());
        }
        return std::string();
    };
    EXPECT_EQ(messageOf([&] { ply.ElementNamed("Vertex"); }), "PLY parser: no element with name: Vertex");
    EXPECT_EQ(messageOf([&] { vertex.PropertyNamed("y"); }), "PLY parser: element vertex does not have property y");
}

TEST(PlyHeader, MissingFilesAndDirectoriesCannotBeOpened)
{
    testsupport::ScratchDir dir;
    for (const std::string& path : {(dir.Path() / "absent.ply").string(), dir.Path().string()}) {
        try {
            PlyFile ply(path);
            FAIL() << "opened " << path;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), "PLY parser: Could not open file " + path);
        }
    }
}

TEST(PlyHeader, CorpusHeaderVariantsRead)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* name : {"header_crlf_ascii.ply", "header_crlf_binary.ply", "header_first_line_spaces.ply",
                             "header_format_double_space.ply", "header_count_with_suffix.ply",
                             "header_end_header_suffix.ply", "header_comments_obj_info.ply"}) {
        const PlyFile ply(testsupport::TestDataFile(std::string("ply/") + name).string());
        const orrisk::ply::PlyElement& vertex = ply.ElementNamed("vertex");
        EXPECT_EQ(vertex.ValuesAs<float>("x"), (std::vector<float>{1.0f, 2.5f, -3.0f})) << name;
        EXPECT_EQ(vertex.ValuesAs<float>("z"), (std::vector<float>{9.0f, 8.0f, 7.5f})) << name;
    }
    const PlyFile commented(testsupport::TestDataFile("ply/header_comments_obj_info.ply").string());
    EXPECT_EQ(commented.commentLines,
              (std::vector<std::string>{"written by the corpus generator", "ry counts as a comment",
                                        "between element and properties"}));
    EXPECT_EQ(commented.objInfoLines, (std::vector<std::string>{"scanner 42", "after a property"}));
}
