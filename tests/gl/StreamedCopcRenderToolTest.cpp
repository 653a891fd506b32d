// orrisk-render on COPC files, which it draws node by node.
#ifdef ORRISK_RENDER_TOOL

#include "capture/PngFile.h"
#include "support/TestData.h"
#include "support/ToolRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace {

using testsupport::RunTool;
using testsupport::ScratchDir;
using testsupport::TestDataFile;
using testsupport::ToolRun;

class StreamedCopcRenderTool : public ::testing::Test {
protected:
    // The picture orrisk-render draws of the file, or nothing (the test is then skipped or failed).
    std::optional<RgbImage> Render(const std::string& file, const std::string& name)
    {
        const std::filesystem::path out = scratch.File(name);
        const ToolRun run = RunTool(ORRISK_RENDER_TOOL, {file, "--size", "160x120", "--no-gizmo", "--out", out.string()});
        if (run.status == 1 && run.err.find("Failed to initialize OpenGL 4.5.") != std::string::npos) {
            skipReason = "no headless OpenGL 4.5 core context: " + run.err;
            return std::nullopt;
        }
        EXPECT_EQ(run.status, 0) << run.err;
        std::string error;
        std::optional<RgbImage> image = ReadPngFile(out, error);
        EXPECT_TRUE(image) << error;
        return image;
    }

    static int LitPixels(const RgbImage& image)
    {
        int lit = 0;
        for (std::size_t i = 0; i < image.pixels.size(); i += 3)
            lit += (image.pixels[i] | image.pixels[i + 1] | image.pixels[i + 2]) != 0 ? 1 : 0;
        return lit;
    }

    ScratchDir scratch;
    std::string skipReason;
};

TEST_F(StreamedCopcRenderTool, DrawsSimpleCopcTheSameEveryTime)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string file = TestDataFile("laz/simple.copc.laz").string();
    const std::optional<RgbImage> first = Render(file, "first.png");
    if (!skipReason.empty())
        GTEST_SKIP() << skipReason;
    const std::optional<RgbImage> second = Render(file, "second.png");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->width, 160);
    EXPECT_EQ(first->height, 120);
    EXPECT_GT(LitPixels(*first), 200);
    // The nodes the view selects are all loaded before the draw, however fast they arrive.
    EXPECT_TRUE(first->pixels == second->pixels);
}

}  // namespace

#endif
