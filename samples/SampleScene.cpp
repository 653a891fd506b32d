#include "samples/SampleScene.h"

#include "samples/SplatSurfaces.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using Eigen::Vector2f;
using Eigen::Vector3f;

constexpr float kPi = std::numbers::pi_v<float>;
constexpr std::uint32_t kSeed = 20240611u;

// Islet: an irregular shoreline around a flat grassy top.
constexpr float kIsletRadius = 1.5f;
constexpr float kIsletHeight = 0.42f;
constexpr float kPlateauShare = 0.66f;  // share of the radius that is flat

constexpr float kSeaRadius = 2.15f;

// Tower, from the ground up.
constexpr float kTowerFoot = 0.36f;
constexpr float kTowerTop = 3.02f;
constexpr float kTowerFootRadius = 0.40f;
constexpr float kTowerTopRadius = 0.27f;
constexpr int kTowerBands = 6;
constexpr float kGalleryTop = 3.09f;
constexpr float kGalleryRadius = 0.46f;
constexpr float kLanternTop = 3.42f;
constexpr float kLanternRadius = 0.22f;

Vector3f Mix(const Vector3f& a, const Vector3f& b, float t) { return a + (b - a) * t; }

Vector3f Shade(const Vector3f& colour, SampleRandom& random, float spread)
{
    return (colour * (1.0f + random.Between(-spread, spread))).cwiseMax(0.0f).cwiseMin(1.0f);
}

SplatLook Painted(SampleRandom& random, const Vector3f& colour, float spread, std::uint32_t id, float sheen)
{
    SplatLook look;
    look.objectId = id;
    look.sheen = sheen;
    look.colour = Shade(colour, random, spread);
    return look;
}

// One paint all over a surface.
LookAt Plain(SplatSceneBuilder& builder, const Vector3f& colour, float spread, std::uint32_t id, float sheen)
{
    return [&builder, colour, spread, id, sheen](float, float, const Vector3f&) {
        return Painted(builder.Random(), colour, spread, id, sheen);
    };
}

// Shoreline radius as a share of kIsletRadius, by angle (v = 0 faces +Z).
float ShoreScale(float v)
{
    const float a = 2.0f * kPi * v;
    return 1.0f + 0.07f * std::sin(3.0f * a + 0.5f) + 0.04f * std::sin(5.0f * a + 2.0f) + 0.025f * std::sin(11.0f * a);
}

void AddSea(SplatSceneBuilder& builder)
{
    // From the rim inwards to well under the islet.
    const SurfacePatch sea =
        Revolution(Vector3f::Zero(), [](float u) { return Vector2f(kSeaRadius - (kSeaRadius - 1.0f) * u, 0.0f); });
    CoverSurface(builder, sea, 0.032f, [&](float, float v, const Vector3f& p) {
        const float fromShore = std::hypot(p.x(), p.z()) - kIsletRadius * ShoreScale(v);
        SampleRandom& random = builder.Random();
        SplatLook look;
        look.objectId = kSea;
        look.sheen = 0.04f;
        look.glint = 0.05f;
        if (fromShore < 0.05f + 0.04f * random.Unit()) {
            look.colour = Shade(Vector3f(0.88f, 0.93f, 0.95f), random, 0.04f);  // surf
        } else {
            const float deep = std::clamp(fromShore / 0.8f, 0.0f, 1.0f);
            const float swell = 0.05f * std::sin(9.0f * p.x() + 3.0f * p.z()) * std::sin(7.0f * p.z() - 2.0f * p.x());
            look.colour = Shade(Mix(Vector3f(0.16f, 0.58f, 0.68f), Vector3f(0.05f, 0.2f, 0.5f), deep), random, 0.05f) +
                          Vector3f::Constant(swell);
        }
        return look;
    });
}

void AddIslet(SplatSceneBuilder& builder)
{
    // u walks from the shore (a little under water) in to the foot of the tower.
    const auto profile = [](float u) {
        const float w = 1.0f - 0.78f * u;  // share of the shore radius
        const float s = std::clamp((w - kPlateauShare) / (1.0f - kPlateauShare), 0.0f, 1.0f);
        return Vector2f(kIsletRadius * w, kIsletHeight * std::pow(1.0f - s * s, 0.6f) - 0.05f * s);
    };
    const auto lumpy = [](float v) {
        return ShoreScale(v) * (1.0f + 0.03f * std::sin(17.0f * 2.0f * kPi * v) * std::sin(5.0f * 2.0f * kPi * v));
    };
    const SurfacePatch islet = Revolution(Vector3f::Zero(), profile, lumpy);
    CoverSurface(builder, islet, 0.025f, [&](float u, float v, const Vector3f& p) {
        SampleRandom& random = builder.Random();
        const float w = 1.0f - 0.78f * u;
        const float grassEdge = kPlateauShare + 0.04f + 0.03f * std::sin(2.0f * kPi * v * 7.0f);
        Vector3f colour(0.30f, 0.52f, 0.20f);  // grass
        if (w >= grassEdge && p.y() < 0.07f) {
            colour = {0.24f, 0.23f, 0.22f};  // wet rock
        } else if (w >= grassEdge) {
            const float streak = 0.08f * std::sin(40.0f * p.y() + 3.0f * std::sin(6.0f * kPi * v));
            colour = Vector3f(0.50f, 0.46f, 0.41f) * (1.0f + streak);
        }
        return Painted(random, colour, 0.15f, kIslet, 0.03f);
    });

    // A few boulders at the waterline.
    const struct { Vector3f centre; float radius; } boulders[] = {
        {{-1.40f, -0.06f, 0.88f}, 0.18f}, {{1.05f, -0.05f, 1.22f}, 0.12f}, {{-0.45f, -0.05f, 1.62f}, 0.09f}};
    for (const auto& boulder : boulders) {
        const float r = boulder.radius;
        const SurfacePatch rock = Revolution(boulder.centre, [r](float u) {
            const float a = kPi * (0.3f + 0.7f * u);  // from below the water up to the top
            return Vector2f(r * std::sin(a), -0.75f * r * std::cos(a));
        });
        CoverSurface(builder, rock, 0.02f, Plain(builder, Vector3f(0.42f, 0.40f, 0.37f), 0.15f, kIslet, 0.03f));
    }
}

bool InWindow(float v, float y, float centreV, float centreY)
{
    const float dv = std::abs(std::remainder(v - centreV, 1.0f));
    return dv < 0.028f && std::abs(y - centreY) < 0.06f;
}

void AddTower(SplatSceneBuilder& builder)
{
    const SurfacePatch tower = Revolution(Vector3f::Zero(), [](float u) {
        return Vector2f(kTowerFootRadius + (kTowerTopRadius - kTowerFootRadius) * u,
                        kTowerFoot + (kTowerTop - kTowerFoot) * u);
    });
    CoverSurface(builder, tower, 0.022f, [&](float, float v, const Vector3f& p) {
        SampleRandom& random = builder.Random();
        const float y = p.y();
        const float bandHeight = (kTowerTop - kIsletHeight) / kTowerBands;
        const int band = std::clamp(static_cast<int>((y - kIsletHeight) / bandHeight), 0, kTowerBands - 1);
        const float fromFront = std::abs(std::remainder(v, 1.0f));
        const float doorTop = kIsletHeight + 0.30f + 0.03f * std::sqrt(std::max(0.0f, 1.0f - fromFront / 0.045f));
        if (fromFront < 0.045f && y < doorTop)  // a door with a rounded top
            return Painted(random, Vector3f(0.36f, 0.20f, 0.10f), 0.05f, kTower, 0.06f);
        if (InWindow(v, y, 0.0f, 1.30f) || InWindow(v, y, 0.5f, 1.75f) || InWindow(v, y, 0.0f, 2.20f) ||
            InWindow(v, y, 0.5f, 2.65f) || InWindow(v, y, 0.25f, 2.45f) || InWindow(v, y, 0.75f, 1.05f))
            return Painted(random, Vector3f(0.12f, 0.15f, 0.22f), 0.05f, kTower, 0.06f);
        if (band % 2 == 0)
            return Painted(random, Vector3f(0.80f, 0.10f, 0.09f), 0.04f, kTower, 0.06f);
        return Painted(random, Vector3f(0.94f, 0.93f, 0.90f), 0.03f, kTower, 0.06f);
    });
}

SplatLook Ironwork(SampleRandom& random, std::uint32_t id)
{
    return Painted(random, Vector3f(0.13f, 0.13f, 0.15f), 0.05f, id, 0.08f);
}

void AddGallery(SplatSceneBuilder& builder)
{
    const auto ironwork = [&](float, float, const Vector3f&) { return Ironwork(builder.Random(), kGallery); };
    // The deck: underside, rim and top, walked outwards, up and inwards.
    CoverSurface(builder,
                 Revolution(Vector3f::Zero(), PolylineProfile({{kTowerTopRadius - 0.01f, kTowerTop},
                                                               {kGalleryRadius, kTowerTop},
                                                               {kGalleryRadius, kGalleryTop},
                                                               {kLanternRadius - 0.02f, kGalleryTop}})),
                 0.018f, ironwork);

    // Railing: posts and a round top rail.
    constexpr float railRadius = kGalleryRadius - 0.02f;
    constexpr float railHeight = 0.18f;
    constexpr int posts = 16;
    for (int post = 0; post < posts; ++post) {
        const float a = 2.0f * kPi * (static_cast<float>(post) + 0.5f) / posts;
        const Vector3f foot(railRadius * std::sin(a), kGalleryTop, railRadius * std::cos(a));
        CoverSurface(builder, Revolution(foot, [](float u) { return Vector2f(0.011f, railHeight * u); }), 0.011f,
                     ironwork);
    }
    const SurfacePatch rail = Revolution(Vector3f(0.0f, kGalleryTop + railHeight, 0.0f), [](float u) {
        const float a = 2.0f * kPi * u;
        return Vector2f(railRadius + 0.013f * std::cos(a), 0.013f * std::sin(a));
    });
    CoverSurface(builder, rail, 0.012f, ironwork);
}

void AddLanternAndRoof(SplatSceneBuilder& builder)
{
    const SurfacePatch glass = Revolution(Vector3f::Zero(), [](float u) {
        return Vector2f(kLanternRadius, kGalleryTop + (kLanternTop - kGalleryTop) * u);
    });
    CoverSurface(builder, glass, 0.014f, [&](float, float v, const Vector3f& p) {
        SampleRandom& random = builder.Random();
        const float pane = v * 8.0f - std::floor(v * 8.0f);
        const bool transom = std::abs(p.y() - 0.5f * (kGalleryTop + kLanternTop)) < 0.012f;
        const bool frame = pane < 0.07f || pane > 0.93f || transom;
        if (frame)
            return Ironwork(random, kLantern);
        SplatLook look;
        look.objectId = kLantern;
        look.opacity = 0.92f;
        look.sheen = 0.12f;
        look.glint = 0.06f;
        look.colour = Shade(Vector3f(1.0f, 0.86f, 0.42f), random, 0.04f);
        return look;
    });

    const LookAt red = Plain(builder, Vector3f(0.72f, 0.10f, 0.08f), 0.04f, kRoof, 0.08f);
    constexpr float eave = 0.30f;
    constexpr float domeHeight = 0.26f;
    // Underside of the eave, then the dome up to its top.
    CoverSurface(builder,
                 Revolution(Vector3f::Zero(), PolylineProfile({{kLanternRadius - 0.02f, kLanternTop},
                                                               {eave, kLanternTop}})),
                 0.014f, red);
    CoverSurface(builder, Revolution(Vector3f::Zero(), [](float u) {
                     const float a = 0.5f * kPi * u;
                     return Vector2f(eave * std::cos(a), kLanternTop + domeHeight * std::sin(a));
                 }),
                 0.014f, red);
    constexpr float ball = 0.035f;
    CoverSurface(builder, Revolution(Vector3f(0.0f, kLanternTop + domeHeight + ball * 0.8f, 0.0f), [](float u) {
                     return Vector2f(ball * std::sin(kPi * u), -ball * std::cos(kPi * u));
                 }),
                 0.008f, [&](float, float, const Vector3f&) { return Ironwork(builder.Random(), kRoof); });
}

void AddCottage(SplatSceneBuilder& builder)
{
    constexpr float x0 = 0.45f, x1 = 0.83f, z0 = -0.12f, z1 = 0.18f;
    constexpr float foot = 0.38f, wallTop = 0.66f, ridge = 0.84f, overhang = 0.04f;
    constexpr float ridgeZ = 0.5f * (z0 + z1);
    const Vector3f up(0.0f, wallTop - foot, 0.0f);

    const auto walls = [&](float, float, const Vector3f& p) {
        SampleRandom& random = builder.Random();
        const bool front = p.z() > z1 - 0.005f;
        if (front && p.x() > 0.55f && p.x() < 0.63f && p.y() < 0.59f)
            return Painted(random, Vector3f(0.40f, 0.22f, 0.12f), 0.05f, kCottage, 0.04f);  // door
        if ((front && p.x() > 0.68f && p.x() < 0.77f && p.y() > 0.48f && p.y() < 0.59f) ||
            (p.x() > x1 - 0.005f && p.z() > -0.01f && p.z() < 0.09f && p.y() > 0.48f && p.y() < 0.59f))
            return Painted(random, Vector3f(0.22f, 0.32f, 0.44f), 0.05f, kCottage, 0.04f);  // windows
        return Painted(random, Vector3f(0.93f, 0.91f, 0.84f), 0.03f, kCottage, 0.04f);
    };
    constexpr float spacing = 0.016f;
    CoverSurface(builder, Quad({x0, foot, z1}, {x1 - x0, 0, 0}, up), spacing, walls);  // front, facing +Z
    CoverSurface(builder, Quad({x1, foot, z0}, {x0 - x1, 0, 0}, up), spacing, walls);  // back
    CoverSurface(builder, Quad({x1, foot, z1}, {0, 0, z0 - z1}, up), spacing, walls);  // right, facing +X
    CoverSurface(builder, Quad({x0, foot, z0}, {0, 0, z1 - z0}, up), spacing, walls);  // left
    CoverSurface(builder, Triangle({x1, wallTop, z1}, {x1, wallTop, z0}, {x1, ridge - 0.02f, ridgeZ}), spacing, walls);
    CoverSurface(builder, Triangle({x0, wallTop, z0}, {x0, wallTop, z1}, {x0, ridge - 0.02f, ridgeZ}), spacing, walls);

    const LookAt roof = Plain(builder, Vector3f(0.55f, 0.17f, 0.11f), 0.06f, kCottage, 0.06f);
    const float eaveY = wallTop - overhang * (ridge - wallTop) / (ridgeZ - z0);
    const Vector3f length(x1 - x0 + 2.0f * overhang, 0.0f, 0.0f);
    const Vector3f frontSlope(0.0f, ridge - eaveY, ridgeZ - z1 - overhang);
    const Vector3f backSlope(0.0f, ridge - eaveY, ridgeZ - z0 + overhang);
    CoverSurface(builder, Quad({x0 - overhang, eaveY, z1 + overhang}, length, frontSlope), spacing, roof);
    CoverSurface(builder, Quad({x1 + overhang, eaveY, z0 - overhang}, -length, backSlope), spacing, roof);
}

}  // namespace

GaussianData MakeLighthouseScene()
{
    GaussianData data;
    SampleRandom random(kSeed);
    SplatSceneBuilder builder(data, random);
    AddSea(builder);
    AddIslet(builder);
    AddTower(builder);
    AddGallery(builder);
    AddLanternAndRoof(builder);
    AddCottage(builder);
    data.ComputeBounds();
    return data;
}
