// orrisk-render --point-budget and --stats on a corpus cloud larger than a small budget.
#ifdef ORRISK_RENDER_TOOL

#include "capture/PngFile.h"
#include "support/TestData.h"
#include "support/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using nlohmann::json;
using testsupport::RunTool;
using testsupport::ScratchDir;
using testsupport::TestDataFile;
using testsupport::ToolRun;

namespace {

const std::string kRenderTool = ORRISK_RENDER_TOOL;
constexpr std::uint64_t kCorpusPoints = 110000;  // las/autzen_trim.las

class RenderToolStatsTest : public ::testing::Test {
protected:
    // The tool's one JSON line; nothing (and the test skipped) without a headless context.
    std::optional<json> Stats(std::vector<std::string> arguments, const std::filesystem::path& out)
    {
        arguments.insert(arguments.begin(), TestDataFile("las/autzen_trim.las").string());
        arguments.insert(arguments.end(), {"--size", "320x240", "--stats", "--out", out.string()});
        const ToolRun run = RunTool(kRenderTool, arguments);
        if (run.status == 1 && run.err.find("Failed to initialize OpenGL 4.5.") != std::string::npos) {
            skipReason = run.err;
            return std::nullopt;
        }
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
        return json::parse(run.out);
    }

    static std::vector<std::uint8_t> Pixels(const std::filesystem::path& png)
    {
        std::string error;
        const std::optional<RgbImage> image = ReadPngFile(png, error);
        EXPECT_TRUE(image) << error;
        return image ? image->pixels : std::vector<std::uint8_t>{};
    }

    ScratchDir scratch;
    std::string skipReason;
};

TEST_F(RenderToolStatsTest, ASmallBudgetDrawsAtMostItThroughTheTreeTheSameEveryRun)
{
    ORRISK_REQUIRE_TESTDATA();
    const auto first = Stats({"--point-budget", "20000"}, scratch.File("a.png"));
    if (!skipReason.empty())
        GTEST_SKIP() << skipReason;
    ASSERT_TRUE(first);
    const json& stats = *first;
    EXPECT_EQ(stats["total"].get<std::uint64_t>(), kCorpusPoints);
    EXPECT_LE(stats["drawn"].get<std::uint64_t>(), 20000u);
    EXPECT_GT(stats["drawn"].get<std::uint64_t>(), 2000u);
    EXPECT_GE(stats["nodesDrawn"].get<std::uint64_t>(), 1u);
    EXPECT_GT(stats["nodesLoaded"].get<std::uint64_t>(), stats["nodesDrawn"].get<std::uint64_t>());
    EXPECT_GE(stats["drawMs"].get<double>(), 0.0);

    // The tree is built before the picture: the same picture and figures again.
    const auto second = Stats({"--point-budget", "20000"}, scratch.File("b.png"));
    ASSERT_TRUE(second);
    EXPECT_EQ((*second)["drawn"], stats["drawn"]);
    EXPECT_EQ((*second)["nodesDrawn"], stats["nodesDrawn"]);
    EXPECT_EQ(Pixels(scratch.File("a.png")), Pixels(scratch.File("b.png")));
}

TEST_F(RenderToolStatsTest, EveryPointAndTheAutomaticBudgetDrawTheWholeCloudWithoutATree)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* budget : {"0", "-1"}) {
        const auto stats = Stats({"--point-budget", budget}, scratch.File(std::string("all") + budget + ".png"));
        if (!skipReason.empty())
            GTEST_SKIP() << skipReason;
        ASSERT_TRUE(stats);
        EXPECT_EQ((*stats)["total"].get<std::uint64_t>(), kCorpusPoints) << budget;
        EXPECT_EQ((*stats)["drawn"].get<std::uint64_t>(), kCorpusPoints) << budget;
        EXPECT_EQ((*stats)["nodesDrawn"].get<std::uint64_t>(), 0u) << budget;
        EXPECT_EQ((*stats)["nodesLoaded"].get<std::uint64_t>(), 0u) << budget;
    }
    // Without the option the picture is the one every point gives.
    const auto plain = Stats({}, scratch.File("plain.png"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(Pixels(scratch.File("plain.png")), Pixels(scratch.File("all0.png")));
}

TEST_F(RenderToolStatsTest, BudgetsThatAreNoNumberAreUsageErrors)
{
    for (const char* budget : {"-2", "many", "1e6", ""}) {
        const ToolRun run = RunTool(kRenderTool, {"cloud.las", "--point-budget", budget});
        EXPECT_EQ(run.status, 2) << budget;
        EXPECT_NE(run.err.find("--point-budget"), std::string::npos) << run.err;
    }
}

}  // namespace

#endif
