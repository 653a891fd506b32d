#include "view/ViewCamera.h"

#include <algorithm>
#include <cmath>
#include <limits>

using Eigen::Matrix3f;
using Eigen::Matrix4f;
using Eigen::Quaternionf;
using Eigen::Vector3f;

namespace {

// NaN passes through unchanged, like the plain comparisons it is made of.
float Clamp(float x, float lo, float hi)
{
    if (x > hi)
        return hi;
    if (x < lo)
        return lo;
    return x;
}

// Unit axis, or the fallback when the axis has degenerated (non-finite or nearly zero).
Vector3f GuardedAxis(const Vector3f& axis, const Vector3f& fallback)
{
    if (!axis.allFinite() || axis.squaredNorm() < 1e-12f)
        return fallback;
    return axis.normalized();
}

struct RaySpan {
    float entry;
    float exit;
};

// Slab test of the ray eye + s * direction against the box; the span may start behind the eye.
std::optional<RaySpan> IntersectRayWithBox(const Vector3f& eye, const Vector3f& direction,
                                           const Vector3f& boxMin, const Vector3f& boxMax)
{
    float entry = -std::numeric_limits<float>::infinity();
    float exit = std::numeric_limits<float>::infinity();
    for (int axis = 0; axis < 3; ++axis) {
        if (std::abs(direction[axis]) < 1e-6f) {
            // Parallel to this slab: inside it everywhere or nowhere.
            if (eye[axis] < boxMin[axis] || eye[axis] > boxMax[axis])
                return std::nullopt;
            continue;
        }
        const float s1 = (boxMin[axis] - eye[axis]) / direction[axis];
        const float s2 = (boxMax[axis] - eye[axis]) / direction[axis];
        entry = std::max(entry, std::min(s1, s2));
        exit = std::min(exit, std::max(s1, s2));
    }
    if (entry > exit)
        return std::nullopt;
    return RaySpan{entry, exit};
}

}  // namespace

Vector3f ViewCamera::Right() const
{
    return orientation * Vector3f(1.0f, 0.0f, 0.0f);
}

Vector3f ViewCamera::Up() const
{
    return orientation * Vector3f(0.0f, 1.0f, 0.0f);
}

Vector3f ViewCamera::Forward() const
{
    return orientation * Vector3f(0.0f, 0.0f, -1.0f);
}

Vector3f ViewCamera::Eye() const
{
    return target + distance * (orientation * Vector3f(0.0f, 0.0f, 1.0f));
}

Matrix4f ViewCamera::ViewMatrix() const
{
    const Vector3f eye = Eye();
    const Vector3f f = (target - eye).normalized();
    const Vector3f s = f.cross(Up()).normalized();
    const Vector3f u = s.cross(f);

    Matrix4f view = Matrix4f::Identity();
    view.block<1, 3>(0, 0) = s.transpose();
    view.block<1, 3>(1, 0) = u.transpose();
    view.block<1, 3>(2, 0) = -f.transpose();
    view(0, 3) = -s.dot(eye);
    view(1, 3) = -u.dot(eye);
    view(2, 3) = f.dot(eye);
    return view;
}

Matrix4f ViewCamera::ProjectionMatrix(float aspect) const
{
    const float n = nearPlane;
    const float f = farPlane;
    Matrix4f proj = Matrix4f::Zero();  // Eigen's (row, column)
    if (projection == Orthographic) {
        const float h = orthoHalfHeight > 0.0f ? orthoHalfHeight : std::tan(fovY / 2.0f) * distance;
        const float l = -aspect * h;
        const float r = aspect * h;
        const float b = -h;
        const float t = h;
        proj(0, 0) = 2.0f / (r - l);
        proj(1, 1) = 2.0f / (t - b);
        proj(2, 2) = -2.0f / (f - n);
        proj(0, 3) = -(r + l) / (r - l);
        proj(1, 3) = -(t + b) / (t - b);
        proj(2, 3) = -(f + n) / (f - n);
        proj(3, 3) = 1.0f;
    } else if (pinhole && IsUsable(*pinhole)) {
        return PinholeProjectionMatrix(*pinhole, n, f);
    } else {
        const float t = std::tan(fovY / 2.0f);
        proj(0, 0) = 1.0f / (aspect * t);
        proj(1, 1) = 1.0f / t;
        proj(2, 2) = -(f + n) / (f - n);
        proj(3, 2) = -1.0f;
        proj(2, 3) = -(2.0f * f * n) / (f - n);
    }
    return proj;
}

void ViewCamera::RotateAbout(const Vector3f& upAxis, const Vector3f& rightAxis, float yaw, float pitch)
{
    const Quaternionf yawTurn(Eigen::AngleAxisf(yaw, upAxis));
    const Quaternionf pitchTurn(Eigen::AngleAxisf(pitch, rightAxis));
    orientation = (yawTurn * pitchTurn * orientation).normalized();
}

// Puts the target in front of a fixed eye after the orientation changed.
void ViewCamera::AimFromEye(const Vector3f& eye)
{
    distance = Clamp(distance, minDistance, maxDistance);
    target = eye + Forward() * distance;
}

void ViewCamera::Orbit(float yaw, float pitch)
{
    if (!std::isfinite(yaw) || !std::isfinite(pitch))
        return;
    RotateAbout(Up(), Right(), yaw, pitch);
}

void ViewCamera::LookAround(float yaw, float pitch)
{
    if (!std::isfinite(yaw) || !std::isfinite(pitch))
        return;
    const Vector3f eye = Eye();
    RotateAbout(Up(), Right(), yaw, pitch);
    AimFromEye(eye);
}

void ViewCamera::FlyLook(float yaw, float pitch)
{
    if (!std::isfinite(yaw) || !std::isfinite(pitch))
        return;
    const Vector3f eye = Eye();
    const Vector3f upAxis = GuardedAxis(Up(), Vector3f(0.0f, 1.0f, 0.0f));
    const Vector3f rightAxis = GuardedAxis(Right(), Vector3f(1.0f, 0.0f, 0.0f));
    RotateAbout(upAxis, rightAxis, yaw, pitch);
    AimFromEye(eye);
}

void ViewCamera::Pan(float dx, float dy)
{
    if (!std::isfinite(dx) || !std::isfinite(dy))
        return;
    target += Right() * dx + Up() * dy;
}

void ViewCamera::ScaleOrthoHalfHeight(float factor)
{
    if (!(orthoHalfHeight > 0.0f))
        return;
    const float lo = std::max(1e-6f, minDistance);
    const float hi = std::max(10.0f * lo, maxDistance);
    orthoHalfHeight = Clamp(orthoHalfHeight * factor, lo, hi);
}

void ViewCamera::ZoomBy(float factor)
{
    if (!std::isfinite(factor) || !(factor > 0.0f))
        return;
    if (!eyeAnchored) {
        // Distance and orthographic size change together, so a later projection switch matches.
        distance = Clamp(distance * factor, minDistance, maxDistance);
        ScaleOrthoHalfHeight(factor);
    } else if (projection == Orthographic) {
        ScaleOrthoHalfHeight(factor);
    } else {
        // Dolly: the target moves and the distance stays, so the eye moves by the same amount.
        float d = distance;
        if (!std::isfinite(d) || d <= 0.0f)
            d = 1.0f;
        d = Clamp(d, minDistance, maxDistance);
        target += Forward() * (1.0f - factor) * d;
    }
}

void ViewCamera::SetLookAt(const Vector3f& eye, const Vector3f& newTarget, const Vector3f& up)
{
    // A non-finite eye or target, or one so far off that the distance overflows, changes nothing.
    const Vector3f v = eye - newTarget;
    const float length = v.norm();
    if (!std::isfinite(length) || !up.allFinite())
        return;
    target = newTarget;
    if (length < 1e-6f)
        return;
    distance = Clamp(length, minDistance, maxDistance);

    const Vector3f z = v / length;
    Vector3f x = up.cross(z);
    if (x.squaredNorm() < 1e-10f) {
        // Looking along the up hint: keep the current right vector as far as it allows.
        const Vector3f right = Right();
        x = right - right.dot(z) * z;
        if (x.squaredNorm() < 1e-10f) {
            // The world X axis, made perpendicular to the view; world Y when X is the view axis.
            x = Vector3f(1.0f, 0.0f, 0.0f) - z.x() * z;
            if (x.squaredNorm() < 1e-10f)
                x = Vector3f(0.0f, 1.0f, 0.0f) - z.y() * z;
        }
    }
    x.normalize();
    const Vector3f y = z.cross(x);

    Matrix3f basis;
    basis.col(0) = x;
    basis.col(1) = y;
    basis.col(2) = z;
    orientation = Quaternionf(basis).normalized();
}

void ViewCamera::LookFromDirection(const Vector3f& direction, const Vector3f& up)
{
    if (!direction.allFinite() || !up.allFinite())
        return;
    SetLookAt(target + direction * distance, target, up);
    eyeAnchored = false;
}

void ViewCamera::FitTo(const Vector3f& center, float radius, const Vector3f& boundsMin,
                       const Vector3f& boundsMax)
{
    if (!center.allFinite())
        return;
    target = center;
    eyeAnchored = false;
    const float r = std::isfinite(radius) && radius > 1e-6f ? radius : 1.0f;
    distance = Clamp(r / std::sin(fovY / 2.0f), minDistance, maxDistance);
    orthoHalfHeight = r;
    UpdateClipPlanes(boundsMin, boundsMax);
}

void ViewCamera::ToggleProjection()
{
    const float t = std::tan(fovY / 2.0f);
    if (projection == Perspective) {
        orthoHalfHeight = std::max(1e-6f, t * distance);
        projection = Orthographic;
    } else {
        if (t > 1e-6f)
            distance = Clamp(orthoHalfHeight / t, minDistance, maxDistance);
        projection = Perspective;
    }
}

void ViewCamera::UpdateClipPlanes(const Vector3f& boundsMin, const Vector3f& boundsMax)
{
    const Vector3f eye = Eye();
    const Vector3f forward = GuardedAxis(Forward(), Vector3f(0.0f, 0.0f, -1.0f));

    float dmin = std::numeric_limits<float>::infinity();
    float dmax = -std::numeric_limits<float>::infinity();
    bool finite = true;
    for (int corner = 0; corner < 8; ++corner) {
        const Vector3f point((corner & 1) ? boundsMax.x() : boundsMin.x(),
                             (corner & 2) ? boundsMax.y() : boundsMin.y(),
                             (corner & 4) ? boundsMax.z() : boundsMin.z());
        const float depth = (point - eye).dot(forward);
        finite = finite && std::isfinite(depth);
        dmin = std::min(dmin, depth);
        dmax = std::max(dmax, depth);
    }
    // A box so large that its diagonal overflows cannot be bracketed either.
    const float margin = std::max(0.0001f, 0.02f * (boundsMax - boundsMin).norm());
    if (!finite || !std::isfinite(margin)) {
        nearPlane = 0.0001f;
        farPlane = 1000.0f;
        return;
    }

    float nearValue = 0.0001f;
    if (projection != Orthographic) {
        const float n = dmin > margin ? dmin - margin : 0.0001f;
        nearValue = std::max(0.0001f, n);
    }
    nearPlane = nearValue;
    farPlane = std::max(nearValue + std::max(0.001f, margin), dmax + margin);
}

float ViewCamera::FocusDistance(const Vector3f& eye, const Vector3f& direction, bool hasBounds,
                                const Vector3f& boundsMin, const Vector3f& boundsMax, const Vector3f& center,
                                float radius)
{
    float r = 1.0f;
    if (hasBounds) {
        r = std::max((boundsMax - boundsMin).norm() / 2.0f, radius);
        if (!std::isfinite(r) || r < 1e-6f)
            r = 1.0f;
    }
    const float lo = std::max(0.0001f, 0.02f * r);
    const float hi = std::max(10.0f * lo, 10.0f * r);
    const auto usable = [lo](float t) { return std::isfinite(t) && t > lo; };
    const float fallback = Clamp(2.0f * r, lo, hi);

    if (!hasBounds || direction.squaredNorm() < 1e-12f)
        return fallback;
    const Vector3f d = direction.normalized();

    // The middle of the part of the box in front of the eye.
    if (const auto span = IntersectRayWithBox(eye, d, boundsMin, boundsMax); span && span->exit > lo) {
        const float t = (std::max(lo, span->entry) + span->exit) / 2.0f;
        if (usable(t))
            return Clamp(t, lo, hi);
    }
    // The depth of the scene centre along the view.
    const float t = d.dot(center - eye);
    if (usable(t))
        return Clamp(t, lo, hi);
    return fallback;
}

ViewPreset HomeViewPreset()
{
    return {Vector3f(0.0f, 0.34f, 0.94f) / std::sqrt(0.9992f), Vector3f(0.0f, 1.0f, 0.0f)};
}

std::optional<ViewPreset> AxisViewPreset(int axis, bool reversed)
{
    if (axis < 0 || axis > 2)
        return std::nullopt;
    Vector3f direction = Vector3f::Zero();
    direction[axis] = reversed ? -1.0f : 1.0f;
    // Side views keep +Z up; the views along Z keep +Y up.
    const Vector3f up = axis == 2 ? Vector3f(0.0f, 1.0f, 0.0f) : Vector3f(0.0f, 0.0f, 1.0f);
    return ViewPreset{direction, up};
}
