#include "view/ConsoleDesktop.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

TEST(ConsoleDesktop, PrintsMessageBoxesAndKeepsWhatAWindowWouldShow)
{
    std::ostringstream messages;
    ConsoleDesktop desktop(messages);
    desktop.ShowMessageBox("Failed.\nTwo lines.");
    EXPECT_EQ(messages.str(), "Failed.\nTwo lines.\n");
    EXPECT_EQ(desktop.MessageBoxes(), std::vector<std::string>{"Failed.\nTwo lines."});

    EXPECT_TRUE(desktop.SetStatusPaneText(StatusPane::Count, "Points: 3"));
    EXPECT_TRUE(desktop.SetStatusPaneText(StatusPane::Count, "Points: 4"));
    EXPECT_EQ(desktop.StatusPanes(), (std::map<StatusPane, std::string>{{StatusPane::Count, "Points: 4"}}));
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
