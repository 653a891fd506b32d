#include "io/ply/PlyFile.h"
#include "io/ply/PlyText.h"
#include "support/PlyBytes.h"
#include "support/PlyFiles.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using orrisk::ply::PlyElement;
using orrisk::ply::PlyEncoding;
using orrisk::ply::PlyFile;
using testsupport::PlyErrorOf;
using testsupport::ReadPly;
using orrisk::ply::TypedListProperty;
using orrisk::ply::TypedProperty;
using testsupport::PlyBytes;

namespace {

template <typename T>
const std::vector<T>& ScalarValues(const PlyElement& element, const std::string& name)
{
    const auto* typed = dynamic_cast<const TypedProperty<T>*>(element.PropertyNamed(name).get());
    if (!typed)
        throw std::logic_error(name + " is not a scalar of the expected type");
    return typed->values;
}

template <typename T>
std::vector<std::vector<T>> Lists(const PlyElement& element, const std::string& name)
{
    const auto* typed = dynamic_cast<const TypedListProperty<T>*>(element.PropertyNamed(name).get());
    if (!typed)
        throw std::logic_error(name + " is not a list of the expected type");
    std::vector<std::vector<T>> lists;
    for (std::size_t i = 0; i + 1 < typed->listStarts.size(); ++i)
        lists.emplace_back(typed->flatValues.begin() + static_cast<std::ptrdiff_t>(typed->listStarts[i]),
                           typed->flatValues.begin() + static_cast<std::ptrdiff_t>(typed->listStarts[i + 1]));
    return lists;
}

// Every property of both files holds the same values, bit for bit.
void ExpectSameRecords(const PlyFile& a, const PlyFile& b)
{
    ASSERT_EQ(a.elements.size(), b.elements.size());
    for (std::size_t e = 0; e < a.elements.size(); ++e) {
        const PlyElement& ea = a.elements[e];
        const PlyElement& eb = b.elements[e];
        ASSERT_EQ(ea.properties.size(), eb.properties.size());
        for (std::size_t p = 0; p < ea.properties.size(); ++p) {
            std::ostringstream textA;
            std::ostringstream textB;
            ASSERT_EQ(ea.properties[p]->RecordCount(), ea.recordCount);
            ASSERT_EQ(eb.properties[p]->RecordCount(), eb.recordCount);
            for (std::size_t r = 0; r < ea.recordCount; ++r) {
                ea.properties[p]->WriteLittleEndianValue(textA, r);
                eb.properties[p]->WriteLittleEndianValue(textB, r);
            }
            EXPECT_EQ(textA.str(), textB.str()) << ea.name << "." << ea.properties[p]->name;
        }
    }
}

const std::string kUnexpectedEnd = "PLY parser: unexpected end of file in element vertex";

}  // namespace

// One record per line: every value type as a scalar and as a list with each count width,
// with values at the edges of their ranges.
const char* const kAllTypesAscii =
    "ply\nformat ascii 1.0\n"
    "element vertex 3\n"
    "property char c\nproperty uchar uc\nproperty short s\nproperty ushort us\n"
    "property int i\nproperty uint ui\nproperty float f\nproperty double d\n"
    "property list uchar char lc\nproperty list ushort float lf\nproperty list uint double ld\n"
    "element face 2\nproperty list uchar int vertex_indices\nproperty uchar flags\n"
    "end_header\n"
    "-128 255 -32768 65535 -2147483648 4294967295 -3.40282347e+38 -1.7976931348623157e+308 2 -1 1 1 0.1 0\n"
    "127 0 32767 0 2147483647 0 1.17549435e-38 4.9406564584124654e-324 0 0 3 1e-300 2 -0\n"
    "0 128 -1 1 -1 1 0.1 0.1 1 5 2 1.5 -2.5 1 0.30000000000000004\n"
    "3 0 1 2 7\n"
    "0 9\n";

TEST(PlyBody, AsciiLittleAndBigEndianBodiesGiveIdenticalRecords)
{
    testsupport::ScratchDir dir;
    const PlyFile ascii(dir.Write("ascii.ply", kAllTypesAscii).string());
    const PlyElement& vertex = ascii.elements.at(0);
    EXPECT_EQ(ScalarValues<std::int8_t>(vertex, "c"), (std::vector<std::int8_t>{-128, 127, 0}));
    EXPECT_EQ(ScalarValues<std::uint32_t>(vertex, "ui"), (std::vector<std::uint32_t>{4294967295u, 0, 1}));
    EXPECT_EQ(ScalarValues<double>(vertex, "d")[1], 4.9406564584124654e-324);
    EXPECT_EQ(Lists<double>(vertex, "ld"), (std::vector<std::vector<double>>{{}, {1e-300, 2, -0.0}, {0.30000000000000004}}));
    EXPECT_EQ(Lists<float>(vertex, "lf"), (std::vector<std::vector<float>>{{0.1f}, {}, {1.5f, -2.5f}}));
    EXPECT_EQ(Lists<std::int32_t>(ascii.elements.at(1), "vertex_indices"),
              (std::vector<std::vector<std::int32_t>>{{0, 1, 2}, {}}));

    for (PlyEncoding encoding : {PlyEncoding::LittleEndian, PlyEncoding::BigEndian, PlyEncoding::Ascii}) {
        const PlyFile again(dir.Write("again.ply", testsupport::WritePly(ascii, encoding)).string());
        EXPECT_EQ(again.encoding, encoding);
        ExpectSameRecords(ascii, again);
    }
}

TEST(PlyBody, CorpusCloudsInTheThreeEncodingsHoldTheSameRecords)
{
    ORRISK_REQUIRE_TESTDATA();
    const PlyFile ascii(testsupport::TestDataFile("ply/cloud_ascii.ply").string());
    ASSERT_EQ(ascii.elements.at(0).recordCount, 40u);
    for (const char* name : {"ply/cloud_binary_le.ply", "ply/cloud_binary_be.ply"})
        ExpectSameRecords(ascii, PlyFile(testsupport::TestDataFile(name).string()));

    const PlyFile le(testsupport::TestDataFile("ply/mesh_face_before_vertex_le.ply").string());
    ExpectSameRecords(le, PlyFile(testsupport::TestDataFile("ply/mesh_face_before_vertex_be.ply").string()));
    ExpectSameRecords(le, PlyFile(testsupport::TestDataFile("ply/mesh_face_before_vertex_ascii.ply").string()));
    EXPECT_EQ(Lists<std::int32_t>(le.ElementNamed("face"), "vertex_indices"),
              (std::vector<std::vector<std::int32_t>>{{0, 1, 2}, {2, 1, 0, 1}, {}}));
}

TEST(PlyBody, BinaryValuesFollowTheDeclaredByteOrder)
{
    testsupport::ScratchDir dir;
    const std::string header = "element v 1\nproperty float f\nproperty short s\nproperty uint u\nproperty double d\n"
                               "property char c\nend_header\n";
    const PlyFile big = ReadPly(dir, PlyBytes("ply\nformat binary_big_endian 1.0\n" + header)
                                      .Octets({0x3F, 0x80, 0x00, 0x00})
                                      .Octets({0x01, 0x02})
                                      .Octets({0x01, 0x02, 0x03, 0x04})
                                      .Be(-2.5)
                                      .Octets({0xFE}));
    const PlyFile little = ReadPly(dir, PlyBytes("ply\nformat binary_little_endian 1.0\n" + header)
                                         .Octets({0x00, 0x00, 0x80, 0x3F})
                                         .Octets({0x02, 0x01})
                                         .Octets({0x04, 0x03, 0x02, 0x01})
                                         .Le(-2.5)
                                         .Octets({0xFE}));
    for (const PlyFile* ply : {&big, &little}) {
        const PlyElement& v = ply->elements.at(0);
        EXPECT_EQ(ScalarValues<float>(v, "f"), std::vector<float>{1.0f});
        EXPECT_EQ(ScalarValues<std::int16_t>(v, "s"), std::vector<std::int16_t>{0x0102});
        EXPECT_EQ(ScalarValues<std::uint32_t>(v, "u"), std::vector<std::uint32_t>{0x01020304});
        EXPECT_EQ(ScalarValues<double>(v, "d"), std::vector<double>{-2.5});
        EXPECT_EQ(ScalarValues<std::int8_t>(v, "c"), std::vector<std::int8_t>{-2});
    }
}

TEST(PlyBody, ManyRecordsCrossingReadBlocksStayInOrder)
{
    // Enough 7-byte records to span several read blocks, in both byte orders.
    constexpr int kRecords = 100000;
    testsupport::ScratchDir dir;
    for (const bool bigEndian : {false, true}) {
        PlyBytes bytes(std::string("ply\nformat ") + (bigEndian ? "binary_big_endian" : "binary_little_endian") +
                       " 1.0\nelement vertex " + std::to_string(kRecords) +
                       "\nproperty int i\nproperty uchar u\nproperty short s\nend_header\n");
        for (int i = 0; i < kRecords; ++i) {
            const auto u = static_cast<std::uint8_t>(i * 7);
            const auto s = static_cast<std::int16_t>(-i);
            bigEndian ? bytes.Be(i).Be(u).Be(s) : bytes.Le(i).Le(u).Le(s);
        }
        const PlyFile ply = ReadPly(dir, bytes);
        const auto& is = ScalarValues<std::int32_t>(ply.elements[0], "i");
        const auto& us = ScalarValues<std::uint8_t>(ply.elements[0], "u");
        const auto& ss = ScalarValues<std::int16_t>(ply.elements[0], "s");
        ASSERT_EQ(is.size(), static_cast<std::size_t>(kRecords));
        for (int i = 0; i < kRecords; ++i) {
            ASSERT_EQ(is[static_cast<std::size_t>(i)], i);
            ASSERT_EQ(us[static_cast<std::size_t>(i)], static_cast<std::uint8_t>(i * 7));
            ASSERT_EQ(ss[static_cast<std::size_t>(i)], static_cast<std::int16_t>(-i));
        }
    }
}

TEST(PlyBody, ListCountsAreUnsignedInTheirDeclaredWidthAndByteOrder)
{
    testsupport::ScratchDir dir;
    const std::string header = "element f 3\nproperty float a\nproperty list char uchar l1\n"
                               "property list short ushort l2\nproperty list int uint l4\nend_header\n";
    PlyBytes le("ply\nformat binary_little_endian 1.0\n" + header);
    PlyBytes be("ply\nformat binary_big_endian 1.0\n" + header);
    // Record 0: a count byte 0xFF (255 entries) in the char-counted list.
    le.Le(1.0f).Le<std::uint8_t>(0xFF);
    be.Be(1.0f).Be<std::uint8_t>(0xFF);
    for (int i = 0; i < 255; ++i) {
        le.Le(static_cast<std::uint8_t>(i));
        be.Be(static_cast<std::uint8_t>(i));
    }
    le.Le<std::int16_t>(1).Le<std::uint16_t>(0xBEEF).Le<std::int32_t>(0);
    be.Be<std::int16_t>(1).Be<std::uint16_t>(0xBEEF).Be<std::int32_t>(0);
    // Record 1: empty lists. Record 2: two entries each.
    le.Le(2.0f).Le<std::uint8_t>(0).Le<std::int16_t>(0).Le<std::int32_t>(0);
    be.Be(2.0f).Be<std::uint8_t>(0).Be<std::int16_t>(0).Be<std::int32_t>(0);
    le.Le(3.0f).Le<std::uint8_t>(2).Le<std::uint8_t>(7).Le<std::uint8_t>(8);
    be.Be(3.0f).Be<std::uint8_t>(2).Be<std::uint8_t>(7).Be<std::uint8_t>(8);
    le.Le<std::int16_t>(2).Le<std::uint16_t>(1).Le<std::uint16_t>(2).Le<std::int32_t>(2).Le(10u).Le(4000000000u);
    be.Be<std::int16_t>(2).Be<std::uint16_t>(1).Be<std::uint16_t>(2).Be<std::int32_t>(2).Be(10u).Be(4000000000u);

    for (const PlyBytes* bytes : {&le, &be}) {
        const PlyFile ply = ReadPly(dir, *bytes);
        const PlyElement& f = ply.elements.at(0);
        EXPECT_EQ(ScalarValues<float>(f, "a"), (std::vector<float>{1, 2, 3}));
        const auto l1 = Lists<std::uint8_t>(f, "l1");
        ASSERT_EQ(l1.size(), 3u);
        EXPECT_EQ(l1[0].size(), 255u);
        EXPECT_EQ(l1[0][254], 254);
        EXPECT_TRUE(l1[1].empty());
        EXPECT_EQ(l1[2], (std::vector<std::uint8_t>{7, 8}));
        EXPECT_EQ(Lists<std::uint16_t>(f, "l2"), (std::vector<std::vector<std::uint16_t>>{{0xBEEF}, {}, {1, 2}}));
        EXPECT_EQ(Lists<std::uint32_t>(f, "l4"), (std::vector<std::vector<std::uint32_t>>{{}, {}, {10u, 4000000000u}}));
    }
}

TEST(PlyBody, CorpusListsBetweenScalarsKeepRecordsInStep)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* name : {"list_count_char_le", "list_count_int16_be", "list_count_int32_be", "list_count_int8_be",
                             "list_count_int_le", "list_count_short_le", "list_count_uchar_le", "list_count_uint16_be",
                             "list_count_uint32_be", "list_count_uint8_be", "list_count_uint_le",
                             "list_count_ushort_le"}) {
        const PlyFile ply(testsupport::TestDataFile(std::string("ply/") + name + ".ply").string());
        const PlyElement& vertex = ply.ElementNamed("vertex");
        // Four records with lists of 3, 0, 1 and 5 entries between y and z; z = 3 - x on
        // every record, which a list read out of step would break.
        EXPECT_EQ(vertex.ValuesAs<float>("x"), (std::vector<float>{0, 1, 2, 3})) << name;
        EXPECT_EQ(vertex.ValuesAs<float>("z"), (std::vector<float>{3, 2, 1, 0})) << name;
        const orrisk::ply::Property& idx = *vertex.PropertyNamed("idx");
        ASSERT_EQ(idx.RecordCount(), 4u) << name;
        std::ostringstream entries;
        for (std::size_t r = 0; r < 4; ++r) {
            idx.WriteAsciiValue(entries, r);
            entries << '|';
        }
        EXPECT_EQ(entries.str(), "3 1 2 3|0|1 7|5 4 5 6 7 8|") << name;
    }
    const PlyFile ff(testsupport::TestDataFile("ply/list_count_char_0xff.ply").string());
    EXPECT_EQ(Lists<std::uint8_t>(ff.ElementNamed("vertex"), "idx").at(0).size(), 255u);

    const PlyFile bunny(testsupport::TestDataFile("ply/bunny_mesh.ply").string());
    EXPECT_EQ(bunny.ElementNamed("vertex").ValuesAs<float>("x").size(), 34834u);
    const auto faces = Lists<std::int32_t>(bunny.ElementNamed("face"), "vertex_indices");
    ASSERT_EQ(faces.size(), 69451u);
    for (const auto& face : faces) {
        ASSERT_EQ(face.size(), 3u);
        for (std::int32_t index : face)
            ASSERT_TRUE(index >= 0 && index < 34834);
    }
}

TEST(PlyBody, CorpusAsciiTokenRules)
{
    ORRISK_REQUIRE_TESTDATA();
    const PlyFile ply(testsupport::TestDataFile("ply/ascii_token_rules.ply").string());
    const PlyElement& v = ply.ElementNamed("vertex");
    EXPECT_EQ(ScalarValues<std::int32_t>(v, "x"), (std::vector<std::int32_t>{1, 0, 7, 12, -3, 2147483647}));
    EXPECT_EQ(ScalarValues<std::uint8_t>(v, "y"), (std::vector<std::uint8_t>{44, 255, 44, 0, 255, 0}));
    EXPECT_EQ(ScalarValues<std::int8_t>(v, "z"), (std::vector<std::int8_t>{-56, -1, 127, -128, 100, 127}));
    EXPECT_EQ(ScalarValues<float>(v, "w"), (std::vector<float>{1.5f, 2.25f, -5.0f, 0.5f, 100.0f, -0.0f}));

    const PlyFile blank(testsupport::TestDataFile("ply/ascii_blank_lines_and_spaces.ply").string());
    EXPECT_EQ(blank.ElementNamed("vertex").ValuesAs<float>("z"), (std::vector<float>{3, 6, 9}));
}

TEST(PlyBody, ShortBodiesAndShortRecordsAreErrors)
{
    const std::string ascii = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nend_header\n";
    const std::string tooFew = "PLY parser: too few values in an ASCII record for property ";
    EXPECT_EQ(PlyErrorOf(ascii + "1 2\n3 4\n"), kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf(ascii + "1 2\n3 4\n\n\n"), kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf(ascii), kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf(ascii + "1 2\n3\n5 6\n"), tooFew + "y");
    EXPECT_EQ(PlyErrorOf(ascii + "1 2\r\n\r\n5 6\r\n"), tooFew + "x");  // a CR-only line is not blank
    EXPECT_EQ(PlyErrorOf(ascii + "1 2\n3 4\n5 6"), "");
    // An element without properties still takes one (possibly blank) line per record.
    EXPECT_EQ(PlyErrorOf("ply\nformat ascii 1.0\nelement e 3\nend_header\n\n\n"), "PLY parser: unexpected end of file in element e");
    EXPECT_EQ(PlyErrorOf("ply\nformat ascii 1.0\nelement e 3\nend_header\n\n\n\n"), "");

    const std::string lists = "ply\nformat ascii 1.0\nelement vertex 1\nproperty list uchar int l\nend_header\n";
    EXPECT_EQ(PlyErrorOf(lists + "3 1 2\n"), tooFew + "l");
    EXPECT_EQ(PlyErrorOf(lists + "\n"), kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf(lists + "4294967295 1\n"), tooFew + "l");

    const std::string binary = "ply\nformat binary_little_endian 1.0\nelement vertex 2\nproperty float x\nproperty int y\nend_header\n";
    EXPECT_EQ(PlyErrorOf(PlyBytes(binary).Le(1.0f).Le(2).Le(3.0f)), kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf(PlyBytes(binary).Le(1.0f).Le(2).Le(3.0f).Text("\x01\x02\x03")), kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf(binary), kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf(PlyBytes(binary).Le(1.0f).Le(2).Le(3.0f).Le(4).Text("trailing bytes are ignored")), "");

    // A short record in an element with lists, inside a list and inside a count: the same words
    // as for an element without lists.
    const std::string withList = "ply\nformat binary_big_endian 1.0\nelement vertex 2\nproperty float x\n"
                                 "property list ushort int l\nend_header\n";
    const PlyBytes first = PlyBytes(withList).Be(1.0f).Be<std::uint16_t>(1).Be(5);
    EXPECT_EQ(PlyErrorOf(PlyBytes(first).Be(2.0f).Be<std::uint16_t>(2).Be(6)), kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf(PlyBytes(first).Be(2.0f).Text("\x00")), kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf(PlyBytes(first).Be(2.0f).Be<std::uint16_t>(0)), "");
}

TEST(PlyBody, CorpusTruncatedBodiesFail)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* name : {"binary_truncated_body_le.ply", "binary_truncated_mid_value_be.ply",
                             "ascii_truncated_body.ply", "header_no_end_header_no_newline.ply"}) {
        EXPECT_EQ(PlyErrorOf(testsupport::ReadWholeFile(testsupport::TestDataFile(std::string("ply/") + name))),
                  kUnexpectedEnd)
            << name;
    }
    EXPECT_EQ(PlyErrorOf(testsupport::ReadWholeFile(testsupport::TestDataFile("ply/ascii_too_few_tokens.ply"))),
              "PLY parser: too few values in an ASCII record for property z");
    EXPECT_EQ(PlyErrorOf(testsupport::ReadWholeFile(testsupport::TestDataFile("ply/ascii_crlf_blank_line.ply"))),
              "PLY parser: too few values in an ASCII record for property x");
}

TEST(PlyBody, CountsBeyondTheFileFailWithoutReservingForThem)
{
    // Each of these would ask for terabytes if the declared counts were trusted; they must fail
    // quickly with the end-of-file error instead of exhausting memory.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(PlyErrorOf(PlyBytes("ply\nformat binary_little_endian 1.0\nelement vertex 4611686018427387904\n"
                               "property float x\nproperty double y\nend_header\n")
                          .Le(1.0f)
                          .Le(2.0)),
              kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf(PlyBytes("ply\nformat binary_little_endian 1.0\nelement vertex 18446744073709551615\n"
                               "property list uchar double l\nend_header\n")
                          .Le<std::uint8_t>(0)),
              kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf(PlyBytes("ply\nformat binary_little_endian 1.0\nelement vertex 1\n"
                               "property list uint double l\nend_header\n")
                          .Le(0xFFFFFFFFu)
                          .Le(1.0)),
              kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf("ply\nformat ascii 1.0\nelement vertex 18446744073709551615\nproperty list uchar double l\n"
                      "end_header\n0\n1 5\n"),
              kUnexpectedEnd);
    EXPECT_EQ(PlyErrorOf("ply\nformat ascii 1.0\nelement vertex -1\nproperty float x\nend_header\n1\n"), kUnexpectedEnd);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(PlyValuesAs, ConvertsOnlyFromTypesThatHoldEveryValue)
{
    testsupport::ScratchDir dir;
    const PlyFile ply = ReadPly(dir,
                             "ply\nformat ascii 1.0\nelement v 2\nproperty char c\nproperty uchar uc\n"
                             "property short s\nproperty ushort us\nproperty int i\nproperty uint ui\n"
                             "property float f\nproperty double d\nproperty list uchar float l\nend_header\n"
                             "-1 200 -300 60000 -70000 4000000000 0.1 0.2 1 5\n"
                             "2 3 4 5 6 7 8 9 0\n");
    const PlyElement& v = ply.elements.at(0);
    EXPECT_EQ(v.ValuesAs<double>("f"), (std::vector<double>{static_cast<double>(0.1f), 8.0}));
    EXPECT_EQ(v.ValuesAs<double>("d"), (std::vector<double>{0.2, 9.0}));
    EXPECT_EQ(v.ValuesAs<float>("f"), (std::vector<float>{0.1f, 8.0f}));
    EXPECT_EQ(v.ValuesAs<std::int32_t>("c"), (std::vector<std::int32_t>{-1, 2}));
    EXPECT_EQ(v.ValuesAs<std::int32_t>("s"), (std::vector<std::int32_t>{-300, 4}));
    EXPECT_EQ(v.ValuesAs<std::int16_t>("c"), (std::vector<std::int16_t>{-1, 2}));
    EXPECT_EQ(v.ValuesAs<std::int64_t>("i"), (std::vector<std::int64_t>{-70000, 6}));
    EXPECT_EQ(v.ValuesAs<std::uint64_t>("ui"), (std::vector<std::uint64_t>{4000000000u, 7}));
    EXPECT_EQ(v.ValuesAs<std::uint32_t>("uc"), (std::vector<std::uint32_t>{200, 3}));
    EXPECT_EQ(v.ValuesAs<std::uint16_t>("uc"), (std::vector<std::uint16_t>{200, 3}));
    EXPECT_EQ(v.ValuesAs<std::uint8_t>("uc"), (std::vector<std::uint8_t>{200, 3}));
    EXPECT_EQ(v.ValuesAs<std::int8_t>("c"), (std::vector<std::int8_t>{-1, 2}));

    auto messageOf = [&](auto request) {
        try {
            request();
        } catch (const std::runtime_error& error) {
            return std::string(error.what());
        }
        return std::string();
    };
    const std::string coerce = "PLY parser: property ";
    EXPECT_EQ(messageOf([&] { v.ValuesAs<float>("d"); }), coerce + "d cannot be coerced to requested type float. Has type double");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<float>("uc"); }), coerce + "uc cannot be coerced to requested type float. Has type uchar");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<double>("i"); }), coerce + "i cannot be coerced to requested type double. Has type int");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<std::int32_t>("uc"); }), coerce + "uc cannot be coerced to requested type int. Has type uchar");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<std::int32_t>("ui"); }), coerce + "ui cannot be coerced to requested type int. Has type uint");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<std::int16_t>("i"); }), coerce + "i cannot be coerced to requested type short. Has type int");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<std::uint32_t>("c"); }), coerce + "c cannot be coerced to requested type uint. Has type char");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<std::uint16_t>("ui"); }), coerce + "ui cannot be coerced to requested type ushort. Has type uint");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<std::uint8_t>("us"); }), coerce + "us cannot be coerced to requested type uchar. Has type ushort");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<std::int8_t>("uc"); }), coerce + "uc cannot be coerced to requested type char. Has type uchar");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<std::int64_t>("f"); }), coerce + "f cannot be coerced to requested type unknown. Has type float");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<std::uint64_t>("i"); }), coerce + "i cannot be coerced to requested type unknown. Has type int");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<float>("l"); }), coerce + "l cannot be coerced to requested type float. Has type float");
    EXPECT_EQ(messageOf([&] { v.ValuesAs<float>("missing"); }), "PLY parser: element v does not have property missing");
}

TEST(PlyProperty, SlotsReadOneRecordAndReportShortInput)
{
    orrisk::ply::TypedProperty<std::uint16_t> scalar("s");
    std::istringstream bytes(std::string("\x01\x02\x03\x04\x05", 5));
    scalar.ReadLittleEndian(bytes);
    scalar.ReadBigEndian(bytes);
    EXPECT_EQ(scalar.values, (std::vector<std::uint16_t>{0x0201, 0x0304}));
    EXPECT_THROW(scalar.ReadLittleEndian(bytes), std::runtime_error);
    EXPECT_EQ(scalar.TypeName(), "ushort");

    orrisk::ply::TypedListProperty<std::int8_t> list("l", 1);
    EXPECT_EQ(list.RecordCount(), 0u);
    std::size_t cursor = 1;
    orrisk::ply::PlyLineTokens tokens("9 2 -1 300 7");
    list.ParseAsciiTokens(tokens, cursor);
    EXPECT_EQ(cursor, 4u);
    EXPECT_EQ(list.flatValues, (std::vector<std::int8_t>{-1, 44}));
    EXPECT_EQ(list.listStarts, (std::vector<std::uint64_t>{0, 2}));
    EXPECT_EQ(list.RecordCount(), 1u);
    EXPECT_EQ(list.TypeName(), "char");

    std::ostringstream header;
    list.WriteHeaderLine(header);
    scalar.WriteHeaderLine(header);
    EXPECT_EQ(header.str(), "property list uchar char l\nproperty ushort s\n");
}
