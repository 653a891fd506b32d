#pragma once

#include "capture/CameraRender.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Renders compared with the photos the cameras were trained on.

struct CompareOptions {
    std::filesystem::path poseFile;       // where relative image names start
    std::filesystem::path imagesDir;      // empty: images/ beside the pose file, then the trainer's dataset
    std::filesystem::path sideBySideDir;  // empty: no pictures
    float fallbackFovY = 0.7853982f;
};

// One camera's result. Without a photo, or with one that does not fit the camera, the
// numbers are empty and the note says why.
struct CompareRow {
    std::size_t index = 0;
    std::string image;  // as the pose file names it
    std::optional<double> psnr;
    std::optional<double> ssim;
    std::string note;
};

// Where a camera's photo is: the name as given, else with .png, .jpg or .jpeg added, in the
// folder `imagesDir` names; without one, relative to the pose file, in images/ beside it, then
// in the images folder of the dataset its cfg_args names. Empty when none is found.
std::optional<std::filesystem::path> FindTrainingImage(const std::string& name, const std::filesystem::path& poseFile,
                                                       const std::filesystem::path& imagesDir);

// The images folder of the dataset a trainer's cfg_args (beside the pose file) names through
// source_path (and images, default "images"). Empty when there is none.
std::optional<std::filesystem::path> DatasetImagesDir(const std::filesystem::path& poseFile);

// The vertical field of view that shows a photo of the given size as the camera saw it: the
// focal length scaled by photo width over camera width. Zero when the frame says nothing.
float PhotoFovY(const CameraFrame& frame, const CameraImage& camera, int photoWidth, int photoHeight);

// The camera's pinhole intrinsics at the photo's size, scaled like the focal length in
// PhotoFovY: fx (fy where the file gives no fx), fy, and the principal point where given, the
// photo's middle otherwise. Empty without a focal length and a camera width to scale by.
std::optional<PinholeIntrinsics> PhotoIntrinsics(const CameraImage& camera, int photoWidth, int photoHeight);

// Render, photo and their absolute difference x4 side by side; the two must be of one size.
RgbImage SideBySide(const RgbImage& render, const RgbImage& photo);

// Compares every camera that has its photo; called back after each camera. A camera whose
// photo is missing, unreadable or of another shape than the camera's is reported in its row
// and the run goes on.
std::vector<CompareRow> CompareWithPhotos(const CameraPoseSet& poses, const CompareOptions& options,
                                          const CameraRender& render,
                                          const std::function<void(const CompareRow&, std::size_t total)>& onRow);

// The rows as CSV with a header and a final row of means over the cameras compared.
std::string CompareCsv(const std::vector<CompareRow>& rows);
