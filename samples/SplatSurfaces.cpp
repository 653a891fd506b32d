#include "samples/SplatSurfaces.h"

#include <Eigen/Geometry>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float kShC0 = 0.28209479177387814f;
constexpr float kShC1 = 0.4886025119029199f;

// Standard deviation of a splat as a share of the spacing to its neighbours: enough overlap
// for a closed surface without smearing edges.
constexpr float kOverlap = 0.7f;
// Thickness of a flat splat relative to its smaller in-surface standard deviation.
constexpr float kFlatness = 0.12f;
// Rows and columns are jittered by up to this share of their spacing.
constexpr float kJitter = 0.25f;
constexpr float kDerivativeStep = 1e-3f;
constexpr int kLengthSteps = 64;
// Share of the splats of a glinting surface that get random higher-order terms.
constexpr float kGlintShare = 0.3f;

float LengthAlongV(const SurfacePatch& patch, float u)
{
    float length = 0.0f;
    for (int step = 0; step < kLengthSteps; ++step)
        length += (patch.point(u, static_cast<float>(step + 1) / kLengthSteps) -
                   patch.point(u, static_cast<float>(step) / kLengthSteps))
                      .norm();
    return length;
}

float LongestAlongU(const SurfacePatch& patch)
{
    float longest = 0.0f;
    for (int column = 0; column <= 8; ++column) {
        const float v = static_cast<float>(column) / 8.0f;
        float length = 0.0f;
        for (int step = 0; step < kLengthSteps; ++step)
            length += (patch.point(static_cast<float>(step + 1) / kLengthSteps, v) -
                       patch.point(static_cast<float>(step) / kLengthSteps, v))
                          .norm();
        longest = std::max(longest, length);
    }
    return longest;
}

// Central difference, kept inside [0, 1] where the patch does not wrap.
Eigen::Vector3f Derivative(const std::function<Eigen::Vector3f(float)>& along, float t, bool wraps)
{
    const float lo = wraps ? t - kDerivativeStep : std::max(t - kDerivativeStep, 0.0f);
    const float hi = wraps ? t + kDerivativeStep : std::min(t + kDerivativeStep, 1.0f);
    return (along(hi) - along(lo)) / (hi - lo);
}

}  // namespace

SplatSceneBuilder::SplatSceneBuilder(GaussianData& data, SampleRandom& random) : m_data(data), m_random(random)
{
    m_data.Clear();
    m_data.shRestCount = kShRestCount;
    m_data.shDegree = ShDegreeForRestCount(kShRestCount);
    m_data.hasObjectIds = true;
}

void SplatSceneBuilder::AddSplat(const Eigen::Vector3f& position, const Eigen::Matrix3f& frame,
                                 const Eigen::Vector3f& sigmas, const SplatLook& look)
{
    m_data.positions.push_back(position);
    m_data.shDc.push_back((look.colour - Eigen::Vector3f::Constant(0.5f)) / kShC0);
    m_data.opacities.push_back(look.opacity);
    m_data.scales.push_back(sigmas);
    const Eigen::Quaternionf q = Eigen::Quaternionf(frame).normalized();
    m_data.rotations.emplace_back(q.w(), q.x(), q.y(), q.z());
    m_data.objectIds.push_back(look.objectId);

    // Degree 1 holds sheen·(n·toViewer): with d the direction from the camera to the
    // splat, the three degree-1 terms evaluate to -C1·d.y·s0 + C1·d.z·s1 - C1·d.x·s2.
    const Eigen::Vector3f normal = frame.col(2);
    constexpr int perChannel = kShRestCount / 3;
    const std::size_t first = m_data.shRest.size();
    m_data.shRest.resize(first + kShRestCount, 0.0f);
    float* rest = m_data.shRest.data() + first;
    const bool glints = look.glint > 0.0f && m_random.Unit() < kGlintShare;
    for (int channel = 0; channel < 3; ++channel) {
        float* coefficients = rest + channel * perChannel;
        coefficients[0] = look.sheen * normal.y() / kShC1;
        coefficients[1] = -look.sheen * normal.z() / kShC1;
        coefficients[2] = look.sheen * normal.x() / kShC1;
    }
    if (glints) {
        // The same higher-order terms on every channel: a white glint.
        for (int k = 3; k < perChannel; ++k) {
            const float value = look.glint * m_random.Between(-1.0f, 1.0f);
            for (int channel = 0; channel < 3; ++channel)
                rest[channel * perChannel + k] = value;
        }
    }
}

void CoverSurface(SplatSceneBuilder& builder, const SurfacePatch& patch, float spacing, const LookAt& lookAt)
{
    SampleRandom& random = builder.Random();
    const int rows = std::max(1, static_cast<int>(std::ceil(LongestAlongU(patch) / spacing)));
    const float sigmaLo = 0.3f * kOverlap * spacing;
    const float sigmaHi = 1.6f * kOverlap * spacing;

    for (int row = 0; row < rows; ++row) {
        const float rowU = (static_cast<float>(row) + 0.5f) / static_cast<float>(rows);
        const int columns = std::max(1, static_cast<int>(std::lround(LengthAlongV(patch, rowU) / spacing)));
        const float start = patch.closedInV ? random.Unit() : 0.5f;
        for (int column = 0; column < columns; ++column) {
            const float u = std::clamp(rowU + random.Between(-kJitter, kJitter) / static_cast<float>(rows), 0.0f, 1.0f);
            float v = (static_cast<float>(column) + start + random.Between(-kJitter, kJitter)) /
                      static_cast<float>(columns);
            v = patch.closedInV ? v - std::floor(v) : std::clamp(v, 0.0f, 1.0f);

            const Eigen::Vector3f position = patch.point(u, v);
            const Eigen::Vector3f alongU =
                Derivative([&](float t) { return patch.point(t, v); }, u, false);
            const Eigen::Vector3f alongV =
                Derivative([&](float t) { return patch.point(u, t); }, v, patch.closedInV);
            Eigen::Vector3f normal = alongV.cross(alongU);
            if (!(normal.squaredNorm() > 1e-20f))
                continue;  // degenerate point of the parameterisation
            normal.normalize();
            const Eigen::Vector3f tangent = alongV.normalized();
            const Eigen::Vector3f bitangent = normal.cross(tangent);

            Eigen::Matrix3f frame;
            frame << tangent, bitangent, normal;
            const float spacingV = alongV.norm() / static_cast<float>(columns);
            const float spacingU = std::abs(alongU.dot(bitangent)) / static_cast<float>(rows);
            const float sigmaV = std::clamp(kOverlap * spacingV, sigmaLo, sigmaHi);
            const float sigmaU = std::clamp(kOverlap * spacingU, sigmaLo, sigmaHi);
            const Eigen::Vector3f sigmas(sigmaV, sigmaU, kFlatness * std::min(sigmaV, sigmaU));
            builder.AddSplat(position, frame, sigmas, lookAt(u, v, position));
        }
    }
}

SurfacePatch Revolution(const Eigen::Vector3f& centre, std::function<Eigen::Vector2f(float u)> profile,
                        std::function<float(float v)> radiusScale)
{
    return {[=](float u, float v) {
                const Eigen::Vector2f radiusHeight = profile(u);
                const float scale = radiusScale ? radiusScale(v) : 1.0f;
                const float angle = 2.0f * std::numbers::pi_v<float> * v;
                const float radius = radiusHeight.x() * scale;
                return Eigen::Vector3f(centre.x() + radius * std::sin(angle), centre.y() + radiusHeight.y(),
                                       centre.z() + radius * std::cos(angle));
            },
            true};
}

SurfacePatch Quad(const Eigen::Vector3f& origin, const Eigen::Vector3f& side, const Eigen::Vector3f& up)
{
    return {[=](float u, float v) -> Eigen::Vector3f { return origin + u * up + v * side; }, false};
}

SurfacePatch Triangle(const Eigen::Vector3f& base0, const Eigen::Vector3f& base1, const Eigen::Vector3f& apex)
{
    return {[=](float u, float v) -> Eigen::Vector3f {
                return (1.0f - u) * (base0 + v * (base1 - base0)) + u * apex;
            },
            false};
}

std::function<Eigen::Vector2f(float u)> PolylineProfile(std::vector<Eigen::Vector2f> points)
{
    std::vector<float> reach(points.size(), 0.0f);  // length walked up to each point
    for (std::size_t i = 1; i < points.size(); ++i)
        reach[i] = reach[i - 1] + (points[i] - points[i - 1]).norm();
    return [points = std::move(points), reach = std::move(reach)](float u) {
        const float target = std::clamp(u, 0.0f, 1.0f) * reach.back();
        std::size_t segment = 1;
        while (segment + 1 < points.size() && reach[segment] < target)
            ++segment;
        const float length = reach[segment] - reach[segment - 1];
        const float t = length > 0.0f ? (target - reach[segment - 1]) / length : 0.0f;
        return Eigen::Vector2f(points[segment - 1] + t * (points[segment] - points[segment - 1]));
    };
}
