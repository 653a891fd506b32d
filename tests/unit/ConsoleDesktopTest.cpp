#include "capture/ConsoleDesktop.h"
#include "view/ViewStatus.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

TEST(ConsoleDesktop, PrintsMessageBoxesAndKeepsWhatAWindowWouldShow)
{
    std::ostringstream messages;
    ConsoleDesktop desktop(messages);
    desktop.ReportOpenFailure({OpenFailureKind::CameraPoses, "poses.json", {ReadError::Malformed, "Bad frame."}});
    desktop.ReportOpenFailure({OpenFailureKind::Unreadable, "/d/x.ply", {ReadError::CannotOpen, "the file does not exist"}});
    EXPECT_EQ(messages.str(), "Failed to load the camera pose file (transforms.json).\nBad frame.\n"
                              "ファイル /d/x.ply を開けませんでした。\nthe file does not exist\n");
    EXPECT_EQ(desktop.MessageBoxes(), (std::vector<std::string>{"Failed to load the camera pose file (transforms.json).\nBad frame.",
                                                                "ファイル /d/x.ply を開けませんでした。"}));
    EXPECT_EQ(desktop.MessageBoxDetails(), (std::vector<std::string>{"", "the file does not exist"}));

    ViewStatus status;
    status.scene = SceneKind::PointCloud;
    status.items = 4;
    status.drawnPoints = 3;
    status.colorMode = ColorMode::Intensity;
    status.eyeDomeLighting = true;
    status.frameNumber = 2;
    status.frameCount = 9;
    desktop.ShowStatus(status);
    EXPECT_EQ(desktop.StatusPanes(), (std::map<StatusPane, std::string>{{StatusPane::Count, "Points: 3 / 4"},
                                                                       {StatusPane::Mode, "Mode: Orbit | Persp | Intensity | EDL"},
                                                                       {StatusPane::Frame, "Frame: 2/9"}}));
    desktop.RefreshFrameTitle("/data/a.ply");
    EXPECT_EQ(desktop.TitlePath(), "/data/a.ply");
    desktop.InvalidateView();
    desktop.InvalidateView();
    EXPECT_EQ(desktop.InvalidationCount(), 2u);

    desktop.CaptureMouse();
    EXPECT_TRUE(desktop.ViewHasMouseCapture());
    desktop.ReleaseMouse();
    EXPECT_FALSE(desktop.ViewHasMouseCapture());
    desktop.SetClientSize({640, 480});
    EXPECT_EQ(desktop.ViewClientSize().width, 640);
}

TEST(ConsoleDesktop, WakeUpsPostedFromAnotherThreadWaitForDelivery)
{
    std::ostringstream messages;
    ConsoleDesktop desktop(messages);
    std::thread sorter([&] {
        for (int i = 0; i < 1000; ++i)
            desktop.PostWake();
    });
    sorter.join();
    int delivered = 0;
    EXPECT_EQ(desktop.DeliverPostedWakes([&] { ++delivered; }), 1000u);
    EXPECT_EQ(delivered, 1000);
    EXPECT_EQ(desktop.DeliverPostedWakes([&] { ++delivered; }), 0u);
}
