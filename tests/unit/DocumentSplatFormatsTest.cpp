#include "document/Document.h"
#include "support/DocumentRecords.h"
#include "platform/Log.h"
#include "support/RecordingDesktop.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using testsupport::TestDataFile;

const std::string kSplatFailed = "Failed to load the 3D Gaussian Splatting file.\nPlease check the file contents.";

class DocumentSplatFormats : public ::testing::Test {
protected:
    bool Open(const std::filesystem::path& path) { return document.Open(path.string()); }

    testsupport::RecordingDesktop desktop;
    Document document{desktop};
    testsupport::ScratchDir dir;
    ScopedLogCapture log;
};

TEST_F(DocumentSplatFormats, EveryFormatOpensAsASplatScene)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* name : {"donut.spz", "donut_v3.spz", "donut.compressed.ply", "donut.sog", "donut.splat",
                             "sh3_5k_sog/meta.json"}) {
        ASSERT_TRUE(Open(TestDataFile(std::string("splat-formats/") + name))) << name;
        EXPECT_EQ(document.Kind(), SceneKind::GaussianSplats) << name;
        EXPECT_FALSE(testsupport::SplatsOf(document).positions.empty()) << name;
    }
    EXPECT_TRUE(desktop.messageBoxes.empty());
}

TEST_F(DocumentSplatFormats, ContentWinsOverTheName)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* name : {"donut.spz", "donut_v3.spz", "donut.compressed.ply", "donut.sog"}) {
        const std::string bytes = testsupport::ReadWholeFile(TestDataFile(std::string("splat-formats/") + name));
        ASSERT_TRUE(Open(dir.Write("renamed.las", bytes))) << name;
        EXPECT_EQ(document.Kind(), SceneKind::GaussianSplats) << name;
        EXPECT_EQ(testsupport::SplatsOf(document).positions.size(), 45624u) << name;
    }
}

TEST_F(DocumentSplatFormats, BrokenFilesShowTheSplatMessageWithTheReason)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* name : {"broken_spz_v4_truncated.spz", "broken_spz_v3_truncated.spz",
                             "broken_spz_v3_count_too_large.spz", "broken_spz_v3_not_gzip.spz",
                             "broken_sog_without_meta.sog", "broken_compressed_ply_truncated.compressed.ply",
                             "broken_splat_partial_record.splat"}) {
        desktop.messageBoxes.clear();
        desktop.messageBoxDetails.clear();
        EXPECT_FALSE(Open(TestDataFile(std::string("splat-formats/") + name))) << name;
        EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{kSplatFailed}) << name;
        EXPECT_EQ(document.Kind(), SceneKind::None) << name;
        ASSERT_EQ(desktop.messageBoxDetails.size(), 1u) << name;
        EXPECT_FALSE(desktop.messageBoxDetails.front().empty()) << name;
    }
    EXPECT_EQ(desktop.messageBoxDetails.front().rfind(".splat: the file size 3217 is not a multiple", 0), 0u)
        << desktop.messageBoxDetails.front();
}

}  // namespace
