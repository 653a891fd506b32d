#include "platform/DebugOutput.h"

#include <gtest/gtest.h>

TEST(DebugOutput, CaptureCollectsPiecesAndSplitsLines)
{
    ScopedDebugOutputCapture capture;
    DebugOutput("[Tag] exception: ");
    DebugOutput("boom");
    DebugOutput("\n");
    DebugOutput("[Tag] second\n");
    EXPECT_EQ(capture.Text(), "[Tag] exception: boom\n[Tag] second\n");
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"[Tag] exception: boom", "[Tag] second"}));
}

TEST(DebugOutput, InnermostCaptureWinsAndOuterResumesAfterIt)
{
    ScopedDebugOutputCapture outer;
    {
        ScopedDebugOutputCapture inner;
        DebugOutput("inner\n");
        EXPECT_EQ(inner.Text(), "inner\n");
    }
    DebugOutput("outer\n");
    EXPECT_EQ(outer.Text(), "outer\n");
}
