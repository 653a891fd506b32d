#include "platform/Log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Log, LinesCarryTheirComponentTagAndEndWithOneNewline)
{
    ScopedLogCapture capture;
    Log(LogLevel::Error, "Tag", "exception: boom");
    Log(LogLevel::Info, "Tag", "second\n");
    Log(LogLevel::Error, "", "Failed without a tag.");
    EXPECT_EQ(capture.Text(), "[Tag] exception: boom\n[Tag] second\nFailed without a tag.\n");
    EXPECT_EQ(capture.Lines(),
              (std::vector<std::string>{"[Tag] exception: boom", "[Tag] second", "Failed without a tag."}));
    EXPECT_EQ(capture.Levels(), (std::vector<LogLevel>{LogLevel::Error, LogLevel::Info, LogLevel::Error}));
}

TEST(Log, ATextOfSeveralLinesIsWrittenAsGiven)
{
    ScopedLogCapture capture;
    Log(LogLevel::Error, "ShaderProgram", "compile error:\n0:1(1): error: one\n0:2(1): error: two");
    EXPECT_EQ(capture.Text(), "[ShaderProgram] compile error:\n0:1(1): error: one\n0:2(1): error: two\n");
    EXPECT_EQ(capture.Lines().size(), 3u);
    capture.Clear();
    EXPECT_EQ(capture.Text(), "");
    EXPECT_TRUE(capture.Levels().empty());
}

TEST(Log, InnermostCaptureWinsAndOuterResumesAfterIt)
{
    ScopedLogCapture outer;
    {
        ScopedLogCapture inner;
        Log(LogLevel::Info, "", "inner");
        EXPECT_EQ(inner.Text(), "inner\n");
    }
    Log(LogLevel::Info, "", "outer");
    EXPECT_EQ(outer.Text(), "outer\n");
}
