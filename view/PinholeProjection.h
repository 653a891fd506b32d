#pragma once

#include <Eigen/Core>

// A pinhole camera's intrinsics in pixels of an image of width x height: focal lengths along x
// and y, and the principal point measured from the image's left and top edges (pixel (0, 0)
// covers [0, 1) x [0, 1)).
struct PinholeIntrinsics {
    float fx = 0.0f;
    float fy = 0.0f;
    float cx = 0.0f;
    float cy = 0.0f;
    int width = 0;
    int height = 0;
};

// Usable when every value is finite and the focal lengths and the size are positive.
bool IsUsable(const PinholeIntrinsics& intrinsics);

// The perspective projection (column-major, OpenGL clip space) of a camera looking along -Z with
// +Y up that puts a point at camera (x, y, z) on pixel (cx + fx x / -z, cy - fy y / -z) of an
// image whose top row is row 0. With the principal point in the middle and fx = fy it is the
// symmetric projection of the field of view 2 atan(height / (2 fy)).
Eigen::Matrix4f PinholeProjectionMatrix(const PinholeIntrinsics& intrinsics, float nearPlane, float farPlane);
