#include "HostileFixture.h"
#include "unit/LasTestFile.h"
#include "support/DocumentRecords.h"

#include <cstdint>
#include <limits>

namespace {

using hostile::HostileDocument;
using hostile::kPointCloudFailed;
using lastest::LasFile;

using HostileLas = HostileDocument;

constexpr std::uint32_t kMax32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

LasFile ColourFile()
{
    LasFile las;
    las.versionMinor = 4;
    las.headerSize = 375;
    las.formatByte = 3;
    las.recordLength = 34;
    las.colourOffset = 28;
    las.points = lastest::MakePoints(30);
    return las;
}

}  // namespace

TEST_F(HostileLas, CountsLengthsAndOffsetsAtTheirTypeLimitsFail)
{
    struct Case {
        const char* name;
        std::uint32_t legacyCount;
        std::uint64_t count64;
        std::uint16_t recordLength;
        std::uint32_t pointDataOffset;
    };
    const Case cases[] = {
        {"count64_max.las", 0, kMax64, 34, 375},
        {"count64_max_long_records.las", 0, kMax64, 65535, 375},
        {"count64_2_63.las", 0, std::uint64_t{1} << 63, 65535, 375},
        {"legacy_max.las", kMax32, 0, 34, 375},
        {"legacy_max_long_records.las", kMax32, 0, 65535, 375},
        {"long_records_beyond_file.las", 30, 0, 65535, 375},
        {"offset_max.las", 30, 0, 34, kMax32},
        {"offset_at_end.las", 30, 0, 34, 375 + 30 * 34},
        {"offset_past_end.las", 30, 0, 34, 375 + 30 * 34 + 1},
    };
    for (const Case& c : cases) {
        LasFile las = ColourFile();  // 30 records of 34 bytes
        las.legacyCount = c.legacyCount;
        las.count64 = c.count64;
        std::string bytes = lastest::Patched(las.Bytes(), 105, c.recordLength);
        bytes = lastest::Patched(bytes, 96, c.pointDataOffset);
        ExpectOrdinaryFailure(dir.Write(c.name, bytes), kPointCloudFailed);
    }
}

TEST_F(HostileLas, LongestRecordsAndHeaderSizeFieldLoadWhatTheFileHolds)
{
    LasFile las = ColourFile();
    las.recordLength = 65535;
    las.points.resize(3);
    const auto path = dir.Write("longest_records.las", las.Bytes());
    const hostile::Cost cost = Open(path);
    ASSERT_TRUE(cost.result);
    EXPECT_EQ(testsupport::CloudOf(document).positions.size(), 3u);
    EXPECT_LE(cost.peakBytes, FileSize(path) + hostile::kSmallConstant);

    // A header size field of 65535 reads no more than the 375 bytes the reader knows.
    LasFile header = ColourFile();
    const std::string bytes = lastest::Patched(header.Bytes(), 94, std::uint16_t{65535});
    EXPECT_TRUE(Open(dir.Write("header_size_max.las", bytes)).result);
    EXPECT_EQ(testsupport::CloudOf(document).positions.size(), 30u);
}
