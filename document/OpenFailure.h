#pragma once

#include "io/core/ReadResult.h"

#include <string>

// What was being opened when a file failed: it decides how the user is told.
enum class OpenFailureKind {
    Unreadable,   // turned away before any reader ran, or the read stopped on an exception
    SplatScene,   // a splat scene's reader failed
    PointCloud,   // a point cloud's reader failed, or no reader took the file
    CameraPoses,  // a camera pose file failed
};

// Why a file did not open, as data; the desktop words it for the user.
struct OpenFailure {
    OpenFailureKind kind = OpenFailureKind::PointCloud;
    std::string source;  // the path as given
    ReadFailure failure;
};
