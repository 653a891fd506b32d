#include "HostileFixture.h"
#include "support/DocumentRecords.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using hostile::HostileDocument;
using hostile::kPointCloudFailed;
using testsupport::ReadWholeFile;
using testsupport::TestDataFile;

using HostileLaz = HostileDocument;

template <typename T>
std::string Patched(std::string bytes, std::size_t at, T value)
{
    if (at + sizeof value > bytes.size()) {
        ADD_FAILURE() << "patch at " << at << " outside " << bytes.size() << " bytes";
        return bytes;
    }
    std::memcpy(bytes.data() + at, &value, sizeof value);
    return bytes;
}

template <typename T>
T FieldOf(const std::string& bytes, std::size_t at)
{
    T value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// simple.laz: LAS 1.2, header of 227 bytes, one VLR (the LASzip record), points at 333.
constexpr std::size_t kPointCountAt = 107;
constexpr std::size_t kLaszipPayloadAt = 227 + 54;
constexpr std::size_t kFirstItemAt = kLaszipPayloadAt + 34;
constexpr std::size_t kPointDataAt = 333;

}  // namespace

TEST_F(HostileLaz, DamagedCorpusFilesFailOrGiveExactlyTheirPoints)
{
    ORRISK_REQUIRE_TESTDATA();
    ASSERT_TRUE(document.Open(TestDataFile("laz/autzen_trim.laz").string()));
    const LargeArray<Eigen::Vector3f> expected = testsupport::CloudOf(document).positions;
    ASSERT_EQ(expected.size(), 110000u);

    // Fixed-size chunks are walked without the table.
    for (const char* name : {"laz/broken_chunk_table_offset_negative.laz", "laz/broken_chunk_table_offset_past_end.laz"}) {
        const hostile::Cost cost = Open(TestDataFile(name));
        ASSERT_TRUE(cost.result) << name;
        EXPECT_TRUE(testsupport::CloudOf(document).positions == expected) << name;
    }
    for (const char* name : {"laz/broken_item_count_huge.laz", "laz/broken_no_laszip_vlr.laz",
                             "laz/broken_truncated_mid_chunk.laz", "laz/broken_unknown_compressor.laz"})
        ExpectOrdinaryFailure(TestDataFile(name), kPointCloudFailed);
}

TEST_F(HostileLaz, HeaderAndRecordClaimsThatDisagreeWithTheFileFail)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string simple = ReadWholeFile(TestDataFile("laz/simple.laz"));
    ASSERT_EQ(FieldOf<std::uint32_t>(simple, 96), kPointDataAt);
    ASSERT_EQ(FieldOf<std::uint16_t>(simple, kFirstItemAt), 6);

    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"count_max.laz", Patched(simple, kPointCountAt, std::uint32_t{0xFFFFFFFF})},
        {"count_doubled.laz", Patched(simple, kPointCountAt, std::uint32_t{2130})},
        {"compressor_none.laz", Patched(simple, kLaszipPayloadAt, std::uint16_t{0})},
        {"coder_unknown.laz", Patched(simple, kLaszipPayloadAt + 2, std::uint16_t{1})},
        {"chunk_size_zero.laz", Patched(simple, kLaszipPayloadAt + 12, std::uint32_t{0})},
        {"point_item_short.laz", Patched(simple, kFirstItemAt + 2, std::uint16_t{19})},
        {"point_item_version_9.laz", Patched(simple, kFirstItemAt + 4, std::uint16_t{9})},
        {"item_type_unknown.laz", Patched(simple, kFirstItemAt + 6, std::uint16_t{42})},
        {"items_mixed_versions.laz", Patched(simple, kFirstItemAt + 6 + 4, std::uint16_t{1})},
        {"record_length_long.laz", Patched(simple, 105, std::uint16_t{40})},
        {"format_layered.laz", Patched(simple, 104, std::uint8_t{0x86})},
        {"point_data_past_end.laz", Patched(simple, 96, std::uint32_t{0x7FFFFFFF})},
        {"vlr_count_max.laz", Patched(Patched(simple, 100, std::uint32_t{0xFFFFFFFF}), kLaszipPayloadAt - 36, std::uint16_t{1})},
        {"truncated_in_points.laz", simple.substr(0, kPointDataAt + 2000)},
        {"truncated_in_first_record.laz", simple.substr(0, kPointDataAt + 20)},
        {"points_ones.laz", simple.substr(0, kPointDataAt + 8 + 34) + std::string(simple.size() - kPointDataAt - 42, '\xff')},
    };
    for (const Case& c : cases)
        ExpectOrdinaryFailure(dir.Write(c.name, c.bytes), kPointCloudFailed);
}

TEST_F(HostileLaz, DamagedChunkTablesFallBackToTheChunksThemselves)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string simple = ReadWholeFile(TestDataFile("laz/simple.laz"));
    ASSERT_TRUE(document.Open(TestDataFile("laz/simple.laz").string()));
    const LargeArray<Eigen::Vector3f> expected = testsupport::CloudOf(document).positions;
    const auto tableAt = FieldOf<std::int64_t>(simple, kPointDataAt);

    const std::string cases[] = {
        Patched(simple, static_cast<std::size_t>(tableAt) + 4, std::uint32_t{5000}),   // more chunks than points
        Patched(simple, static_cast<std::size_t>(tableAt), std::uint32_t{7}),          // unknown table version
        Patched(simple, kPointDataAt, std::int64_t{-7}),                              // negative offset
        Patched(simple, kPointDataAt, std::int64_t{kPointDataAt}),                    // offset inside the header
        simple.substr(0, static_cast<std::size_t>(tableAt)),                         // table cut off
    };
    for (const std::string& bytes : cases) {
        const auto path = dir.Write("table.laz", bytes);
        const hostile::Cost cost = Open(path);
        ASSERT_TRUE(cost.result);
        EXPECT_TRUE(testsupport::CloudOf(document).positions == expected);
        EXPECT_LE(cost.peakBytes, FileSize(path) + hostile::kSmallConstant);
    }
}

TEST_F(HostileLaz, DamagedLayeredChunksFail)
{
    ORRISK_REQUIRE_TESTDATA();
    // 1_4_w_evlr.laz: format 6, one chunk; after its first record come the point count and
    // the nine layer sizes of the point item.
    const std::string file = ReadWholeFile(TestDataFile("laz/1_4_w_evlr.laz"));
    const auto chunkAt = static_cast<std::size_t>(FieldOf<std::uint32_t>(file, 96)) + 8;
    const std::size_t countAt = chunkAt + 30;
    ASSERT_EQ(FieldOf<std::uint32_t>(file, countAt), 1000u);
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"layer_count_zero.laz", Patched(file, countAt, std::uint32_t{0})},
        {"layer_count_more.laz", Patched(file, countAt, std::uint32_t{1001})},
        {"layer_xy_huge.laz", Patched(file, countAt + 4, std::uint32_t{0x7FFFFFFF})},
        {"layer_z_short.laz", Patched(file, countAt + 8, std::uint32_t{3})},
        {"layer_sizes_shifted.laz", Patched(file, countAt + 4, std::uint32_t{1})},
        {"layered_truncated.laz", file.substr(0, countAt + 200)},
    };
    for (const auto& c : cases)
        ExpectOrdinaryFailure(dir.Write(c.name, c.bytes), kPointCloudFailed);
}

TEST_F(HostileLaz, CompressionIsTheFormatBytesAndTheRecordsBusinessNotTheName)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string simple = ReadWholeFile(TestDataFile("laz/simple.laz"));
    ASSERT_TRUE(document.Open(TestDataFile("laz/simple.laz").string()));
    const LargeArray<Eigen::Vector3f> expected = testsupport::CloudOf(document).positions;

    for (const char* name : {"compressed.las", "compressed.LAS", "compressed.LaZ"}) {
        ASSERT_TRUE(Open(dir.Write(name, simple)).result) << name;
        EXPECT_TRUE(testsupport::CloudOf(document).positions == expected) << name;
    }
    // A .laz file must say it is compressed; an uncompressed LAS file under that name fails.
    ExpectOrdinaryFailure(dir.Write("flag_cleared.laz", Patched(simple, 104, std::uint8_t{3})), kPointCloudFailed);
}
