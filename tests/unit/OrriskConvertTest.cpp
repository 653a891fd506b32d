#include "convert/PointRecordSource.h"
#include "support/RecordCollector.h"
#include "support/TestData.h"
#include "support/ToolRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using testsupport::RunTool;
using testsupport::ScratchDir;
using testsupport::TestDataFile;
using testsupport::ToolRun;

namespace {

ToolRun RunConvert(const std::vector<std::string>& arguments)
{
#ifdef ORRISK_CONVERT_TOOL
    return RunTool(ORRISK_CONVERT_TOOL, arguments);
#else
    (void)arguments;
    return {};
#endif
}

}  // namespace

// The exit status says what went wrong; OUT appears only on success.
TEST(OrriskConvert, ExitStatusSaysWhatHappened)
{
#ifndef ORRISK_CONVERT_TOOL
    GTEST_SKIP() << "orrisk-convert is not built";
#endif
    ORRISK_REQUIRE_TESTDATA();
    ScratchDir dir;
    const std::string las = TestDataFile("laz-write/stress_f7.las").string();
    struct Case {
        std::vector<std::string> arguments;
        int status;
    };
    const std::vector<Case> cases = {
        {{"--help"}, 0},
        {{}, 2},
        {{las}, 2},
        {{las, dir.File("x.ply").string()}, 2},
        {{las, dir.File("x.laz").string(), "--format", "zip"}, 2},
        {{las, dir.File("x.laz").string(), "--memory", "lots"}, 2},
        {{las, dir.File("x.laz").string(), "--scale", "0"}, 2},
        {{dir.File("missing.las").string(), dir.File("x.laz").string()}, 1},
        {{las, dir.File("no/such/folder/x.laz").string()}, 3},
        {{las, las, "--format", "las"}, 4},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunConvert(c.arguments);
        EXPECT_EQ(run.status, c.status) << (c.arguments.empty() ? "" : c.arguments.front()) << ": " << run.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));

    const std::string copc = dir.File("cloud.copc.laz").string();
    const ToolRun written = RunConvert({las, copc, "--memory", "1M", "--threads", "2", "--progress"});
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_NE(written.err.find("1\n"), std::string::npos) << written.err;
    EXPECT_EQ(SniffPointCloudFile(copc), PointCloudFileKind::Copc);
    testsupport::RecordCollector records;
    ASSERT_TRUE(StreamPointRecords(copc, records).Ok());
    EXPECT_EQ(records.count, 60000u);
}
