#pragma once

#include <Eigen/Core>

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
