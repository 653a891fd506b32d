#pragma once

#include "capture/CameraRender.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

struct FlyThroughOptions {
    int width = 1280;  // rounded up to even for the video
    int height = 720;
    int fps = 30;
    double secondsPerCamera = 1.0;
    float fallbackFovY = 0.7853982f;  // for cameras and files that give none
};

// Called after each frame with the frames done and the frames in all; false stops the video.
using FlyThroughProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Writes the video of a camera path through the cameras of `poses` in order. False, with the
// reason in `error`, when a frame cannot be drawn or the video cannot be written, or the
// progress callback stopped it.
bool WriteFlyThrough(const std::filesystem::path& path, const CameraPoseSet& poses, const FlyThroughOptions& options,
                     const CameraRender& render, const FlyThroughProgress& progress, std::string& error);

// A picture side rounded up to the next even number, as 4:2:0 video needs.
inline int EvenSide(int side)
{
    return side + (side & 1);
}
