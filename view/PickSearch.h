#pragma once

#include <Eigen/Core>

#include <optional>
#include <vector>

// The square of pixels around the cursor that a pick reads back, clipped to the client area.
// Client pixels, y growing downwards; both corners inclusive.
struct PickWindow {
    int x0 = 0;
    int y0 = 0;
    int x1 = -1;
    int y1 = -1;

    int Width() const { return x1 - x0 + 1; }
    int Height() const { return y1 - y0 + 1; }
};

// How far from the cursor, in pixels along x and along y, a pick looks for a drawn point.
inline constexpr int kPickRadius = 18;

// The window around (cx, cy) in a client area of width x height pixels; the cursor must lie
// inside the client area.
PickWindow PickWindowAround(int cx, int cy, int width, int height);

struct PickHit {
    int x = 0;  // client pixel
    int y = 0;
    float depth = 1.0f;  // window depth, 0..1
};

// The drawn pixel nearest to the cursor among `depths`, the window's depth values as GL reads
// them (rows bottom-up: row r is client row window.y1 - r). A depth of 1.0 or more is
// background. Among pixels at the same distance the nearer depth wins, and at equal depth the
// first in reading order (top row first, left to right).
std::optional<PickHit> NearestDrawnPixel(const std::vector<float>& depths, const PickWindow& window, int cx, int cy);

// The world point drawn at a client pixel with the given window depth, for a client area of
// width x height pixels and the matrices the scene was drawn with. Empty when the matrices
// cannot be inverted or the point lies at infinity.
std::optional<Eigen::Vector3f> UnprojectPixel(const PickHit& hit, int width, int height,
                                              const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection);
