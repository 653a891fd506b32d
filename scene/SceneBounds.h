#pragma once

#include <Eigen/Core>

// Where a loaded scene lies, shared by both records so the view can fit either kind of scene
// the same way. Positions are single-precision offsets from the double-precision origin.
struct SceneBounds {
    Eigen::Vector3d origin = Eigen::Vector3d::Zero();
    Eigen::Vector3f boundsMin = Eigen::Vector3f::Zero();
    Eigen::Vector3f boundsMax = Eigen::Vector3f::Zero();
    Eigen::Vector3f center = Eigen::Vector3f::Zero();
    float radius = 1.0f;

    // Back to the values of an empty scene.
    void ClearBounds() { *this = SceneBounds{}; }
};
