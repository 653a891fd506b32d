// The record streams conversions read: counts and lengths at their type limits fail with a
// reason, cost memory in proportion to the file, and never reach the sink with a bad record.
#include "AllocationCounter.h"
#include "convert/PointRecordSource.h"
#include "unit/LasTestFile.h"
#include "support/RecordCollector.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

lastest::LasFile SmallFile()
{
    lastest::LasFile las;
    las.versionMinor = 4;
    las.headerSize = 375;
    las.formatByte = 6;
    las.recordLength = 30;
    las.points = lastest::MakePoints(20);
    return las;
}

}  // namespace

TEST(HostilePointRecords, CountsAndOffsetsAtTheirLimitsFailCheaply)
{
    testsupport::ScratchDir dir;
    constexpr std::uint32_t kMax32 = std::numeric_limits<std::uint32_t>::max();
    constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();
    struct Patch {
        std::size_t at;
        std::uint64_t value;
        int width;  // bytes
    };
    struct Case {
        const char* name;
        std::vector<Patch> patches;
    };
    const Case cases[] = {
        {"vlr_count_max.las", {{100, kMax32, 4}}},
        {"evlr_count_max.las", {{235, 375 + 20 * 30 - 10, 8}, {243, kMax32, 4}}},
        {"evlr_length_max.las", {{235, 375 + 20 * 30 - 60, 8}, {243, 1, 4}, {375 + 20 * 30 - 40, kMax64, 8}}},
        {"count_max.las", {{107, 0, 4}, {247, kMax64, 8}}},
        {"legacy_count_max.las", {{107, kMax32, 4}}},
        {"record_length_short.las", {{105, 12, 2}}},
        {"record_length_max.las", {{105, 65535, 2}}},
        {"format_99.las", {{104, 99, 1}}},
    };
    for (const Case& c : cases) {
        std::string bytes = SmallFile().Bytes();
        for (const Patch& patch : c.patches)
            for (int i = 0; i < patch.width; ++i)
                bytes[patch.at + static_cast<std::size_t>(i)] = static_cast<char>((patch.value >> (8 * i)) & 0xFF);
        testsupport::RecordCollector sink;
        hostile::PeakAllocation peak;
        const ReadResult<PointRecordFormat> read = StreamPointRecords(dir.Write(c.name, bytes).string(), sink);
        EXPECT_LT(peak.Bytes(), std::size_t{8} << 20) << c.name;
        ASSERT_FALSE(read.Ok()) << c.name;
        EXPECT_FALSE(read.Failure().reason.empty()) << c.name;
        EXPECT_NE(read.Failure().code, ReadError::Cancelled) << c.name;
        EXPECT_EQ(sink.count, 0u) << c.name;
    }
}
