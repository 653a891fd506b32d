#include "HostileFixture.h"
#include "io/ply/PlyFile.h"
#include "support/PlyBytes.h"
#include "support/DocumentRecords.h"

#include <cstdint>
#include <string>

namespace {

using hostile::HostileDocument;
using hostile::kPointCloudFailed;
using hostile::kSplatFailed;
using testsupport::PlyBytes;

using HostilePly = HostileDocument;

constexpr const char* kEncodings[] = {"ascii", "binary_little_endian", "binary_big_endian"};
constexpr const char* kSplatProperties =
    "property float x\nproperty float y\nproperty float z\nproperty float f_dc_0\nproperty float f_dc_1\n"
    "property float f_dc_2\nproperty float opacity\nproperty float scale_0\nproperty float scale_1\n"
    "property float scale_2\nproperty float rot_0\nproperty float rot_1\nproperty float rot_2\nproperty float rot_3\n";

std::string Header(const std::string& encoding, const std::string& elements)
{
    return "ply\nformat " + encoding + " 1.0\n" + elements + "end_header\n";
}

// `records` records of `values` numbers each (1.0f), in the encoding.
std::string Body(const std::string& encoding, std::size_t records, std::size_t values)
{
    PlyBytes body;
    for (std::size_t r = 0; r < records; ++r) {
        for (std::size_t v = 0; v < values; ++v) {
            if (encoding == "ascii")
                body.Text(v + 1 == values ? "1\n" : "1 ");
            else if (encoding == "binary_little_endian")
                body.Le(1.0f);
            else
                body.Be(1.0f);
        }
    }
    return body.Bytes();
}

}  // namespace

TEST_F(HostilePly, ElementCountsAtTheirTypeLimitsFail)
{
    const char* counts[] = {"18446744073709551615", "18446744073709551614", "9223372036854775808",
                            "4294967297", "99999999999999999999999"};
    for (const std::string encoding : kEncodings) {
        for (const std::string count : counts) {
            SCOPED_TRACE(encoding + " " + count);
            const std::string cloud = Header(encoding, "element vertex " + count + "\nproperty float x\n"
                                                       "property float y\nproperty float z\n") + Body(encoding, 4, 3);
            ExpectOrdinaryFailure(dir.Write("count.ply", cloud), kPointCloudFailed);
            const std::string splats = Header(encoding, "element vertex " + count + "\n" + kSplatProperties) +
                                       Body(encoding, 4, 14);
            ExpectOrdinaryFailure(dir.Write("count_splat.ply", splats), kSplatFailed);
            // An element of list records before the points: read record by record.
            const std::string mesh = Header(encoding, "element face " + count + "\nproperty list uchar int idx\n"
                                                      "element vertex 1\nproperty float x\nproperty float y\n"
                                                      "property float z\n") + Body(encoding, 4, 3);
            ExpectOrdinaryFailure(dir.Write("count_faces.ply", mesh), kPointCloudFailed);
        }
    }
}

TEST_F(HostilePly, AsciiCountsBeyondTheBodyReserveNoMoreThanTheBodyHolds)
{
    // The body is large but holds no record: whatever is reserved for the claimed records
    // must stay within what the body could hold.
    for (const char* properties : {"property double x\nproperty double y\nproperty double z\n",
                                   "property double x\nproperty double y\nproperty double z\n"
                                   "property list uchar double l\n"}) {
        const std::string text = Header("ascii", std::string("element vertex 18446744073709551615\n") + properties) +
                                 std::string(std::size_t{4} << 20, '\n');
        ExpectOrdinaryFailure(dir.Write("blank_body.ply", text), kPointCloudFailed);
    }
}

TEST_F(HostilePly, ListCountsOfTwoToThe32MinusOneFail)
{
    const std::string header = "element vertex 1\nproperty float x\nproperty float y\nproperty float z\n"
                               "property list uint float values\n";
    ExpectOrdinaryFailure(dir.Write("list_le.ply", PlyBytes(Header("binary_little_endian", header))
                                                       .Le(1.0f).Le(2.0f).Le(3.0f).Le(0xFFFFFFFFu).Le(1.0f).Bytes()),
                          kPointCloudFailed);
    ExpectOrdinaryFailure(dir.Write("list_be.ply", PlyBytes(Header("binary_big_endian", header))
                                                       .Be(1.0f).Be(2.0f).Be(3.0f).Be(0xFFFFFFFFu).Be(1.0f).Bytes()),
                          kPointCloudFailed);
    ExpectOrdinaryFailure(dir.Write("list_ascii.ply", Header("ascii", header) + "1 2 3 4294967295 1 2 3\n"),
                          kPointCloudFailed);
    // A list count that outgrows a 64-bit number in an ASCII body.
    ExpectOrdinaryFailure(dir.Write("list_ascii_huge.ply", Header("ascii", header) + "1 2 3 99999999999999999999999 1\n"),
                          kPointCloudFailed);
}

TEST_F(HostilePly, HeadersThatNeverEndFail)
{
    const std::string start = "ply\nformat binary_little_endian 1.0\n";
    std::string comments = start;
    while (comments.size() < (std::size_t{8} << 20))
        comments += "comment x\n";
    ExpectOrdinaryFailure(dir.Write("endless_comments.ply", comments), kPointCloudFailed);

    std::string elements = start;
    while (elements.size() < (std::size_t{8} << 20))
        elements += "element e 1\nproperty char p\n";
    ExpectOrdinaryFailure(dir.Write("endless_elements.ply", elements), kPointCloudFailed);

    // One header line of 8 MiB without a line end, in several guises.
    for (const std::string keyword : {"comment ", "element vertex ", "property float ", "bogus "}) {
        std::string line = start + keyword;
        line.resize(std::size_t{8} << 20, 'a');
        for (std::size_t i = line.size() / 2; i < line.size(); i += 2)
            line[i] = ' ';  // half of it a run of one-letter tokens
        ExpectOrdinaryFailure(dir.Write("endless_line.ply", line), kPointCloudFailed);
    }
}

TEST_F(HostilePly, HeaderOfAHundredThousandLines)
{
    std::string elements = "element vertex 1\n";
    elements += kSplatProperties;
    for (int i = 0; i < 100000; ++i)
        elements += "property float f_rest_" + std::to_string(i) + "\n";
    for (int i = 0; i < 100000; ++i)
        elements += "comment line " + std::to_string(i) + "\n";
    for (const std::string encoding : kEncodings) {
        SCOPED_TRACE(encoding);
        ExpectOrdinaryFailure(dir.Write("long_header.ply", Header(encoding, elements) + Body(encoding, 1, 100014)),
                              kSplatFailed);
    }
}

TEST_F(HostilePly, LongestHeaderIsReadInLinearTime)
{
    // As many properties as the longest header holds, every one of them looked up by name.
    std::string elements = "element vertex 2\n";
    elements += kSplatProperties;
    int rest = 0;
    while (elements.size() < orrisk::ply::kMaxPlyHeaderBytes - 64)
        elements += "property float f_rest_" + std::to_string(rest++) + "\n";
    for (const std::string encoding : kEncodings) {
        SCOPED_TRACE(encoding);
        const std::string text = Header(encoding, elements) + Body(encoding, 2, 14 + static_cast<std::size_t>(rest));
        const hostile::Cost cost = Open(dir.Write("longest_header.ply", text));
        EXPECT_TRUE(cost.result);
        EXPECT_EQ(testsupport::SplatsOf(document).shRestCount, rest);
    }
}

TEST_F(HostilePly, LongAsciiLinesCostNoMoreThanWhatIsReadFromThem)
{
    // The record line goes on for 8 MiB after the three values the points take.
    std::string line = Header("ascii", "element vertex 2\nproperty float x\nproperty float y\nproperty float z\n") +
                       "1 2 3";
    while (line.size() < (std::size_t{8} << 20))
        line += " 4";
    // The line is held whole while its record is read, and growing it to its length may
    // briefly take twice that again.
    const auto path = dir.Write("long_line.ply", line + "\n");
    const hostile::Cost cost = Open(path);
    EXPECT_FALSE(cost.result);  // the second record is missing
    EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{kPointCloudFailed});
    EXPECT_LE(cost.peakBytes, 3 * line.size() + hostile::kSmallConstant);
}
