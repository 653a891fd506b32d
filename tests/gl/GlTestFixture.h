#pragma once

#include "platform/Log.h"
#include "gl/GlSurface.h"
#include "gl/HeadlessEglBackend.h"

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// Makes `surface` a headless OpenGL 4.5 core surface of the given size. On failure returns
// null and puts the reason (the creation log) into `why`.
inline HeadlessEglBackend* TryCreateHeadlessSurface(GlSurface& surface, int width, int height, std::string& why)
{
    ScopedLogCapture capture;
    HeadlessEglBackend* headless = CreateHeadlessGlSurface(surface, width, height);
    why = capture.Text();
    return headless;
}

// Base fixture of the tests that draw: a current headless surface of InitialSize(). The test
// is skipped, with the reason, on a machine that cannot make an OpenGL 4.5 core context
// through EGL (no Mesa, no surfaceless platform).
class HeadlessGlTest : public ::testing::Test {
protected:
    struct Size {
        int width;
        int height;
    };
    virtual Size InitialSize() const { return {64, 48}; }

    void SetUp() override
    {
        const Size size = InitialSize();
        std::string why;
        headless = TryCreateHeadlessSurface(surface, size.width, size.height, why);
        if (!headless)
            GTEST_SKIP() << "no headless OpenGL 4.5 core context on this machine: " << why;
    }
    void TearDown() override { ReleaseGlSurface(surface); }

    GlSurface surface;
    HeadlessEglBackend* headless = nullptr;  // owned by surface
};

}  // namespace testsupport
