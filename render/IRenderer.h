#pragma once

#include "scene/PointColoring.h"

#include <Eigen/Core>

// Point size, shape and colouring handed to renderers.
struct PointStyle {
    float size = 2.0f;  // pixels
    bool isRound = true;
    ColorMode colorMode = ColorMode::Rgb;  // drawn as RGB when the cloud lacks the attribute
    float edlStrength = 0.0f;              // eye-dome lighting; 0 is off
    float edlRadius = 1.4f;                // pixels
};

// What the view asks of its renderer, whichever it is: points (also for the empty scene) or
// Gaussian splats; each takes its own record through its own upload. Matrices are 4x4 float,
// column-major (Eigen's default storage, 16 consecutive floats). Every operation runs on the UI
// thread with the view's GL context current.
class IRenderer {
public:
    // Deletes any GL object still held; the context must then be current.
    virtual ~IRenderer() = default;
    virtual void Draw(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection) = 0;
    // Draws so that the depth buffer holds the nearest visible surface per pixel; the caller
    // has masked colour writes.
    virtual void DrawPick(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection) = 0;
    virtual void SetPointStyle(const PointStyle& style) = 0;
    virtual void Resize(int width, int height) = 0;
    virtual void ReleaseGpuResources() = 0;
};
