#pragma once

#include "scene/GaussianData.h"

#include <Eigen/Core>

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

// Random numbers for generated scenes that are the same with every standard library:
// std::mt19937 is fully specified, and floats are made from its raw 32-bit outputs here
// rather than by the library's distributions, whose algorithms are left to each library.
class SampleRandom {
public:
    explicit SampleRandom(std::uint32_t seed) : m_engine(seed) {}

    // Uniform in [0, 1): the top 24 bits of one output, so every value is exact in float.
    float Unit() { return static_cast<float>(static_cast<std::uint32_t>(m_engine()) >> 8) * 0x1p-24f; }
    float Between(float lo, float hi) { return lo + (hi - lo) * Unit(); }

private:
    std::mt19937 m_engine;
};

// How the splats of one patch of surface look.
struct SplatLook {
    Eigen::Vector3f colour = Eigen::Vector3f::Constant(0.5f);  // displayed base colour, 0..1
    float opacity = 0.97f;
    std::uint32_t objectId = 0;
    float sheen = 0.05f;  // brightening when the surface faces the viewer (degree-1 SH)
    float glint = 0.0f;   // size of random degree-2 and degree-3 SH terms on some splats
};

// Collects flat splats into a display-space GaussianData with degree-3 SH and segment ids.
class SplatSceneBuilder {
public:
    static constexpr std::int32_t kShRestCount = 45;

    SplatSceneBuilder(GaussianData& data, SampleRandom& random);

    // One splat lying in the plane of the first two columns of frame (a rotation whose
    // third column is the surface normal); sigmas are the standard deviations along the
    // three columns.
    void AddSplat(const Eigen::Vector3f& position, const Eigen::Matrix3f& frame, const Eigen::Vector3f& sigmas,
                  const SplatLook& look);

    SampleRandom& Random() { return m_random; }

private:
    GaussianData& m_data;
    SampleRandom& m_random;
};

// A surface patch given by a point for each (u, v) in [0, 1]². Splats face
// dP/dv x dP/du, so parameterise with v running counter-clockwise as seen from outside.
// A closed patch wraps in v (v = 0 and v = 1 are the same points), as a surface of
// revolution does.
struct SurfacePatch {
    std::function<Eigen::Vector3f(float u, float v)> point;
    bool closedInV = false;
};

using LookAt = std::function<SplatLook(float u, float v, const Eigen::Vector3f& position)>;

// Covers the patch with splats about `spacing` apart: rows along u, each row as many
// splats along v as its length needs, jittered so no grid shows. Each splat is sized
// from the local spacing so that neighbours overlap and the surface looks closed.
void CoverSurface(SplatSceneBuilder& builder, const SurfacePatch& patch, float spacing, const LookAt& lookAt);

// Surface of revolution about the vertical line through centre: the profile gives
// (radius, height above centre) for u in [0, 1], radiusScale(v) may bulge it by angle
// (v = 0 faces +Z). Walk the profile upwards along walls and inwards along tops to
// have the splats face outwards.
SurfacePatch Revolution(const Eigen::Vector3f& centre, std::function<Eigen::Vector2f(float u)> profile,
                        std::function<float(float v)> radiusScale = {});

// The parallelogram origin + u·up + v·side; faces side x up.
SurfacePatch Quad(const Eigen::Vector3f& origin, const Eigen::Vector3f& side, const Eigen::Vector3f& up);

// The triangle with base from base0 to base1 (u = 0) and its apex at u = 1; faces
// (base1 - base0) x (apex - base0).
SurfacePatch Triangle(const Eigen::Vector3f& base0, const Eigen::Vector3f& base1, const Eigen::Vector3f& apex);

// A profile (radius, height) running along the polyline through the points, u being the
// share of its length walked.
std::function<Eigen::Vector2f(float u)> PolylineProfile(std::vector<Eigen::Vector2f> points);
