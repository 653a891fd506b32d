#pragma once

#include <Eigen/Core>
#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <string>
#include <vector>

// The photo a camera was trained on and the pinhole camera that took it, where the file says:
// what renders are compared with. Sizes and focal lengths in pixels, 0 where the file gives none.
struct CameraImage {
    std::string path;  // as the file names it: relative to the file, or a name without extension
    double width = 0.0;
    double height = 0.0;
    double fx = 0.0;
    double fy = 0.0;
    double cx = 0.0;
    double cy = 0.0;
};

// One camera of a camera pose file (transforms.json or the trainer's cameras.json).
struct CameraFrame {
    // Camera-to-world, column-major. The rotation block's columns are the camera's right,
    // up and backward axes (it looks along -z); the last column is its world position.
    Eigen::Matrix4d transform = Eigen::Matrix4d::Identity();
    float fovY = 0.0f;  // radians; 0 when the frame gives none and the set's default applies
};

struct CameraPoseSet {
    std::vector<CameraFrame> frames;  // in file order
    float defaultFovY = 0.0f;         // radians; 0 when the file gives none
    // The photo of each frame, index for index, where the file names photos or gives frames
    // intrinsics of their own (the file's intrinsics filled in); empty otherwise, and every
    // frame has defaultImage. Kept apart so that files of poses alone cost no more per frame.
    std::vector<CameraImage> images;
    CameraImage defaultImage;  // the file's own intrinsics; no path
    std::string sourcePath;    // the file read, where relative photo names start

    const CameraImage& ImageOf(std::size_t frame) const
    {
        return frame < images.size() ? images[frame] : defaultImage;
    }

    void Clear()
    {
        frames.clear();
        defaultFovY = 0.0f;
        images.clear();
        defaultImage = CameraImage();
        sourcePath.clear();
    }
};

// Reads a camera pose file (path in UTF-8): a transforms.json, or a trainer's cameras.json,
// told apart by content. `set` is emptied first and filled only with the
// frames that could be read. On failure returns false and puts a short English message in
// errorText (left untouched on success). Never throws.
bool LoadCameraPoseFile(const std::string& path, CameraPoseSet& set, std::string& errorText);

// Vertical field of view in radians that a JSON object gives through "fl_y" (with "h"),
// "camera_angle_y" or "camera_angle_x" (with "w" and "h"), tried in that order; 0 when none
// is usable. Missing "w"/"h" take the defaults; keys that are not numbers count as missing.
float ReadVerticalFov(const nlohmann::json& object, double defaultW, double defaultH);

// Fills `matrix` from a "transform_matrix" value: four rows of four finite numbers, or
// sixteen finite numbers in row order. On failure returns false and leaves the identity.
bool ParseTransformMatrix(const nlohmann::json& value, Eigen::Matrix4d& matrix);

// The proper rotation nearest to `block` (Frobenius norm): scale and shear are removed and a
// reflection is turned into a rotation by flipping the direction of least stretch.
Eigen::Matrix3d NearestRotation(const Eigen::Matrix3d& block);
