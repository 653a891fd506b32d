#pragma once

#include "gl/HeadlessEglBackend.h"

#include <Eigen/Core>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace testsupport {

using Rgba8 = HeadlessEglBackend::Rgba8;

// 8-bit value of a colour component in 0..1, as the framebuffer stores it.
inline Rgba8 ToRgba8(const Eigen::Vector4f& color)
{
    Rgba8 bytes{};
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(std::lround(std::clamp(color[i], 0.0f, 1.0f) * 255.0f));
    return bytes;
}

inline ::testing::AssertionResult ColorNear(const std::optional<Rgba8>& actual, const Rgba8& expected,
                                            int tolerance = 2)
{
    if (!actual)
        return ::testing::AssertionFailure() << "pixel outside the framebuffer";
    for (std::size_t i = 0; i < 4; ++i) {
        if (std::abs(int((*actual)[i]) - int(expected[i])) > tolerance)
            return ::testing::AssertionFailure()
                   << "pixel (" << int((*actual)[0]) << ", " << int((*actual)[1]) << ", " << int((*actual)[2]) << ", "
                   << int((*actual)[3]) << "), expected (" << int(expected[0]) << ", " << int(expected[1]) << ", "
                   << int(expected[2]) << ", " << int(expected[3]) << ")";
    }
    return ::testing::AssertionSuccess();
}

inline void ClearFramebuffer(float depth = 1.0f)
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(depth);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0f);
}

}  // namespace testsupport
