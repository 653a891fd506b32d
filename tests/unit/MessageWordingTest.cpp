#include "messages/OpenFailureWording.h"
#include "messages/Wording.h"

#include <gtest/gtest.h>

#include <string>

TEST(MessageWording, FillsEachMarkerFromItsArgumentOnce)
{
    struct Case {
        std::string pattern;
        std::string expected;
    };
    // Arguments are data: a marker inside one is not filled again.
    const Case cases[] = {
        {"Points: %1 / %2", "Points: a%2 / b"},
        {"%2%1", "ba%2"},
        {"%3 stays", "%3 stays"},
        {"100% and %", "100% and %"},
        {"%0 %a %1", "%0 %a a%2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FillMarkers(c.pattern, {"a%2", "b"}), c.expected) << c.pattern;
}

TEST(MessageWording, ToolsPrintTheSourceTextAndTheDesktopItsTranslation)
{
    EXPECT_EQ(Word(MessageId::FileCannotBeOpened, {"/tmp/a b.ply"}), "ファイル /tmp/a b.ply を開けませんでした。");
    EXPECT_EQ(Word(MessageId::CameraFrame, {"3", "67"}), "Frame: 3/67");
    const TranslateMessage english = [](const MessageSource& source) {
        return std::string(source.text) == "ファイル %1 を開けませんでした。" ? "The file %1 could not be opened."
                                                                               : std::string(source.text);
    };
    EXPECT_EQ(Word(MessageId::FileCannotBeOpened, {"x.las"}, english), "The file x.las could not be opened.");
}

TEST(MessageWording, AnOpenFailureIsToldByWhatWasBeingOpened)
{
    struct Case {
        OpenFailureKind kind;
        std::string text;
        std::string details;
    };
    const Case cases[] = {
        {OpenFailureKind::Unreadable, "ファイル /d/x.las を開けませんでした。", "why"},
        {OpenFailureKind::SplatScene, "Failed to load the 3D Gaussian Splatting file.\nPlease check the file contents.", "why"},
        {OpenFailureKind::PointCloud,
         "Failed to load the point cloud file.\nPlease check the file format (PLY / LAS) and its contents.", "why"},
        {OpenFailureKind::CameraPoses, "Failed to load the camera pose file (transforms.json).\nwhy", ""},
    };
    for (const Case& c : cases) {
        const UserMessage message = WordOpenFailure({c.kind, "/d/x.las", {ReadError::Malformed, "why"}});
        EXPECT_EQ(message.text, c.text);
        EXPECT_EQ(message.details, c.details);
    }
}
