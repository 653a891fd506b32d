#pragma once

#include <Eigen/Core>

#include <vector>

// One camera of a camera pose file (transforms.json layout).
struct CameraFrame {
    // Camera-to-world, column-major. The rotation block's columns are the camera's right,
    // up and backward axes (it looks along -z); the last column is its world position.
    Eigen::Matrix4d transform = Eigen::Matrix4d::Identity();
    float fovY = 0.0f;  // radians; 0 when the frame gives none and the set's default applies
};

struct CameraPoseSet {
    std::vector<CameraFrame> frames;  // in file order
    float defaultFovY = 0.0f;         // radians; 0 when the file gives none

    void Clear()
    {
        frames.clear();
        defaultFovY = 0.0f;
    }
};
