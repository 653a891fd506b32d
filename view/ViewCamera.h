#pragma once

#include "view/PinholeProjection.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <cstdint>
#include <optional>

// Stored in the settings file as raw integers, so the camera keeps them in int32 fields: a value
// outside the named ones stays representable and is drawn as a perspective view.
enum ProjectionMode : int32_t { Perspective = 0, Orthographic = 1 };
enum NavMode : int32_t { Orbit = 0, Fly = 1 };

// The view's camera: a look-at point, a distance behind it and a camera-to-world orientation.
// The camera looks along its local -Z with +Y up; the eye is target + distance x (orientation
// applied to +Z). All arithmetic is single precision; matrices are column-major (OpenGL order).
//
// Every motion ignores a call with a non-finite argument, so one bad value cannot leave the
// camera stuck at NaN.
struct ViewCamera {
    Eigen::Vector3f target = Eigen::Vector3f::Zero();
    float distance = 10.0f;  // kept within [minDistance, maxDistance] by every operation setting it
    Eigen::Quaternionf orientation = Eigen::Quaternionf::Identity();  // coeffs() in x, y, z, w order
    int32_t projection = ProjectionMode::Perspective;
    float fovY = 0.7853982f;       // vertical field of view, radians
    float orthoHalfHeight = 5.0f;  // <= 0: the orthographic size follows fovY and distance
    float nearPlane = 0.01f;
    float farPlane = 1000.0f;
    int32_t navMode = NavMode::Orbit;
    float minDistance = 0.001f;
    float maxDistance = 1000000.0f;
    // Set after a recorded camera pose was applied: rotation then turns about the eye and a
    // perspective zoom dollies eye and target together.
    bool eyeAnchored = false;
    // A recorded camera's own intrinsics, for a render at exactly their size: a perspective
    // projection then follows them instead of fovY and the aspect ratio. Never set by the
    // interactive view.
    std::optional<PinholeIntrinsics> pinhole;

    Eigen::Vector3f Right() const;
    Eigen::Vector3f Up() const;
    Eigen::Vector3f Forward() const;
    Eigen::Vector3f Eye() const;
    Eigen::Matrix4f ViewMatrix() const;
    Eigen::Matrix4f ProjectionMatrix(float aspect) const;

    // Rotates about the target: the eye swings around it.
    void Orbit(float yaw, float pitch);
    // Rotates about the eye: the target moves.
    void LookAround(float yaw, float pitch);
    // Like LookAround, but falls back to the world axes when the camera axes have degenerated.
    void FlyLook(float yaw, float pitch);
    // Moves target and eye together along Right and Up.
    void Pan(float dx, float dy);
    // factor < 1 zooms in; factors that are not finite and positive are ignored.
    void ZoomBy(float factor);
    void SetLookAt(const Eigen::Vector3f& eye, const Eigen::Vector3f& newTarget, const Eigen::Vector3f& up);
    // Keeps target and distance and puts the eye on the side that direction points to.
    void LookFromDirection(const Eigen::Vector3f& direction, const Eigen::Vector3f& up);
    // Frames the bounding sphere so that it fills the vertical field of view.
    void FitTo(const Eigen::Vector3f& center, float radius, const Eigen::Vector3f& boundsMin,
               const Eigen::Vector3f& boundsMax);
    // Switches perspective/orthographic, keeping the height visible at the target.
    void ToggleProjection();
    // Fits the near and far planes around the box as seen from the current eye.
    void UpdateClipPlanes(const Eigen::Vector3f& boundsMin, const Eigen::Vector3f& boundsMax);

    // A look-at distance for a camera placed at eye looking along direction: the middle of the
    // part of the scene box ahead of it, else the depth of the scene centre, else twice the
    // scene radius; always within a range scaled by the scene's size.
    static float FocusDistance(const Eigen::Vector3f& eye, const Eigen::Vector3f& direction, bool hasBounds,
                               const Eigen::Vector3f& boundsMin, const Eigen::Vector3f& boundsMax,
                               const Eigen::Vector3f& center, float radius);

private:
    void RotateAbout(const Eigen::Vector3f& upAxis, const Eigen::Vector3f& rightAxis, float yaw, float pitch);
    void AimFromEye(const Eigen::Vector3f& eye);
    void ScaleOrthoHalfHeight(float factor);
};

// Where the eye goes (direction from the target) and which way is up for the view commands.
struct ViewPreset {
    Eigen::Vector3f direction;
    Eigen::Vector3f up;
};

// The home view: slightly above the scene, looking along -Z with +Y up.
ViewPreset HomeViewPreset();
// Looking along an axis (0 = X, 1 = Y, 2 = Z) from its positive side, or from its negative side
// when reversed. Empty for an axis outside 0..2.
std::optional<ViewPreset> AxisViewPreset(int axis, bool reversed);
