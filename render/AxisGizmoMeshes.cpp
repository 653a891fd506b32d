#include "render/AxisGizmoMeshes.h"

#include <Eigen/Geometry>

#include <array>
#include <cmath>
#include <numbers>

using Eigen::Vector2f;
using Eigen::Vector3f;

namespace {

constexpr float kLineLength = 0.78f;  // where the cone's base sits
constexpr float kTipDistance = 1.08f;
constexpr float kConeRadius = 0.13f;
constexpr float kLabelDistance = 1.3f;
constexpr int kConeSides = 16;
constexpr float kCapShade = 0.7f;

constexpr float kHalfSize = 1.7f;  // half the width of the orthographic square
constexpr float kNear = 0.1f;
constexpr float kFar = 10.0f;
constexpr float kEyeDistance = 3.0f;

Vector3f AlongAxis(int axis, float distance)
{
    Vector3f point = Vector3f::Zero();
    point[axis] = distance;
    return point;
}

struct Stroke {
    Vector2f from;
    Vector2f to;
};

// Stroke ends of each letter, in normalised device units around its anchor.
std::vector<Stroke> LetterStrokes(int axis)
{
    constexpr float s = 0.07f;
    switch (axis) {
    case 0:
        return {{{-s, s}, {s, -s}}, {{-s, -s}, {s, s}}};
    case 1:
        return {{{-s, s}, {0.0f, 0.0f}}, {{s, s}, {0.0f, 0.0f}}, {{0.0f, 0.0f}, {0.0f, -s}}};
    default:
        return {{{-s, s}, {s, s}}, {{s, s}, {-s, -s}}, {{-s, -s}, {s, -s}}};
    }
}

}  // namespace

Vector3f GizmoAxisColor(int axis)
{
    static const std::array<Vector3f, 3> colors = {
        Vector3f(0.95f, 0.25f, 0.25f),
        Vector3f(0.35f, 0.85f, 0.35f),
        Vector3f(0.3f, 0.5f, 0.95f),
    };
    return colors.at(static_cast<std::size_t>(axis));
}

void AddCone(std::vector<GizmoLineVertex>& mesh, const Vector3f& tip, const Vector3f& base, float radius,
             const Vector3f& color)
{
    Vector3f d = tip - base;
    if (d.norm() > 0.0f)
        d.normalize();
    const Vector3f a = std::abs(d.z()) < 0.9f ? Vector3f(0, 0, 1) : Vector3f(1, 0, 0);
    Vector3f u = d.cross(a);
    if (u.norm() > 0.0f)
        u.normalize();
    const Vector3f v = d.cross(u);
    const Vector3f capColor = color * kCapShade;

    const float step = 2.0f * std::numbers::pi_v<float> / kConeSides;
    for (int i = 0; i < kConeSides; ++i) {
        const float t0 = static_cast<float>(i) * step;
        const float t1 = static_cast<float>(i + 1) * step;
        const Vector3f p0 = base + (std::cos(t0) * u + std::sin(t0) * v) * radius;
        const Vector3f p1 = base + (std::cos(t1) * u + std::sin(t1) * v) * radius;
        mesh.insert(mesh.end(), {{tip, color}, {p0, color}, {p1, color}});
        mesh.insert(mesh.end(), {{base, capColor}, {p1, capColor}, {p0, capColor}});
    }
}

std::vector<GizmoLineVertex> BuildGizmoAxisLines()
{
    std::vector<GizmoLineVertex> lines;
    for (int axis = 0; axis < 3; ++axis) {
        lines.push_back({Vector3f::Zero(), GizmoAxisColor(axis)});
        lines.push_back({AlongAxis(axis, kLineLength), GizmoAxisColor(axis)});
    }
    return lines;
}

std::vector<GizmoLineVertex> BuildGizmoCones()
{
    std::vector<GizmoLineVertex> cones;
    cones.reserve(3 * kConeSides * 6);
    for (int axis = 0; axis < 3; ++axis)
        AddCone(cones, AlongAxis(axis, kTipDistance), AlongAxis(axis, kLineLength), kConeRadius,
                GizmoAxisColor(axis));
    return cones;
}

std::vector<GizmoLabelVertex> BuildGizmoLetters()
{
    std::vector<GizmoLabelVertex> letters;
    for (int axis = 0; axis < 3; ++axis) {
        const Vector3f anchor = AlongAxis(axis, kLabelDistance);
        for (const Stroke& stroke : LetterStrokes(axis)) {
            letters.push_back({anchor, stroke.from, GizmoAxisColor(axis)});
            letters.push_back({anchor, stroke.to, GizmoAxisColor(axis)});
        }
    }
    return letters;
}

Eigen::Matrix4f GizmoTransform(const Eigen::Matrix4f& view)
{
    Eigen::Matrix4f rotation = Eigen::Matrix4f::Identity();
    rotation.topLeftCorner<3, 3>() = view.topLeftCorner<3, 3>();

    Eigen::Matrix4f translation = Eigen::Matrix4f::Identity();
    translation(2, 3) = -kEyeDistance;

    Eigen::Matrix4f projection = Eigen::Matrix4f::Identity();
    projection(0, 0) = 2.0f / (2.0f * kHalfSize);
    projection(1, 1) = 2.0f / (2.0f * kHalfSize);
    projection(2, 2) = -2.0f / (kFar - kNear);
    projection(2, 3) = -(kFar + kNear) / (kFar - kNear);

    return projection * translation * rotation;
}
