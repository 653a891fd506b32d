#include "io/ply/PlyRecordReader.h"
#include "support/PlyBytes.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

using orrisk::ply::PlyRecordReader;
using testsupport::PlyBytes;

namespace {

const std::string kTwoElements = "element extra 2\nproperty uchar flag\nproperty double weight\n"
                                 "element vertex 3\nproperty float x\nproperty short s\nend_header\n";

PlyBytes TwoElements(const char* format)
{
    return PlyBytes(std::string("ply\nformat ") + format + " 1.0\n" + kTwoElements);
}

}  // namespace

TEST(PlyRecordReader, ReadsAnElementsRecordsAsTheyLieInTheFile)
{
    testsupport::ScratchDir dir;
    const PlyBytes bytes = TwoElements("binary_big_endian")
                               .Be<std::uint8_t>(1).Be(0.5).Be<std::uint8_t>(2).Be(0.25)
                               .Be(1.0f).Be<std::int16_t>(-1).Be(2.0f).Be<std::int16_t>(-2).Be(3.0f).Be<std::int16_t>(-3);
    PlyRecordReader reader(dir.Write("file.ply", bytes).string());
    ASSERT_TRUE(reader.HasFixedSizeRecords());
    EXPECT_TRUE(reader.SwapsBytes());
    const orrisk::ply::PlyElement& vertex = reader.Header().ElementNamed("vertex");
    EXPECT_EQ(reader.RecordBytes(vertex), 6u);
    EXPECT_EQ(reader.OffsetOf(vertex, "s"), 4u);
    EXPECT_EQ(reader.RecordBytes(reader.Header().elements[0]), 9u);

    std::string seen;
    reader.ReadRecords(vertex, [&](const std::byte* records, std::size_t count) {
        seen.append(reinterpret_cast<const char*>(records), count * 6);
    });
    EXPECT_EQ(seen, bytes.Bytes().substr(bytes.Bytes().size() - 18));
    EXPECT_EQ(vertex.properties[0]->RecordCount(), 0u);  // nothing is stored
}

TEST(PlyRecordReader, OnlyBinaryFilesWithoutListsHaveFixedSizeRecords)
{
    testsupport::ScratchDir dir;
    EXPECT_FALSE(PlyRecordReader(dir.Write("a.ply", TwoElements("ascii")).string()).HasFixedSizeRecords());
    EXPECT_FALSE(PlyRecordReader(dir.Write("l.ply", "ply\nformat binary_little_endian 1.0\nelement face 0\n"
                                                    "property list uchar int i\nend_header\n")
                                     .string())
                     .HasFixedSizeRecords());
    EXPECT_TRUE(PlyRecordReader(dir.Write("e.ply", "ply\nformat binary_little_endian 1.0\nend_header\n").string())
                    .HasFixedSizeRecords());
}

TEST(PlyRecordReader, ABodyShortOfAnyElementIsTheErrorAPlyFileGives)
{
    testsupport::ScratchDir dir;
    const PlyBytes complete = TwoElements("binary_little_endian")
                                  .Le<std::uint8_t>(1).Le(0.5).Le<std::uint8_t>(2).Le(0.25)
                                  .Le(1.0f).Le<std::int16_t>(-1).Le(2.0f).Le<std::int16_t>(-2).Le(3.0f).Le<std::int16_t>(-3);
    const std::string& all = complete.Bytes();
    struct Case {
        std::size_t dropped;
        std::string message;
    };
    for (const Case& c : {Case{0, ""}, Case{1, "PLY parser: unexpected end of file in element vertex"},
                          Case{18, "PLY parser: unexpected end of file in element vertex"},
                          Case{19, "PLY parser: unexpected end of file in element extra"}}) {
        const std::string path = dir.Write("file.ply", all.substr(0, all.size() - c.dropped)).string();
        std::string readerMessage;
        std::string fileMessage;
        try {
            PlyRecordReader(path).RequireCompleteBody();
        } catch (const std::runtime_error& error) {
            readerMessage = error.what();
        }
        try {
            orrisk::ply::PlyFile file(path);
        } catch (const std::runtime_error& error) {
            fileMessage = error.what();
        }
        EXPECT_EQ(readerMessage, c.message) << c.dropped;
        EXPECT_EQ(fileMessage, c.message) << c.dropped;
    }
    const std::string huge = "ply\nformat binary_little_endian 1.0\nelement vertex 3074457345618258603\n"
                             "property float x\nproperty float y\nproperty float z\nend_header\n";
    EXPECT_THROW(PlyRecordReader(dir.Write("huge.ply", huge).string()).RequireCompleteBody(), std::runtime_error);
}

TEST(PlyRecordReader, HeaderErrorsAreThoseOfPlyFile)
{
    testsupport::ScratchDir dir;
    const std::string path = dir.Write("bad.ply", "ply\nformat binary 1.0\n").string();
    EXPECT_THROW(
        {
            try {
                PlyRecordReader reader(path);
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ(error.what(), "PLY parser: bad format line");
                throw;
            }
        },
        std::runtime_error);
}
