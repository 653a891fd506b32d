#pragma once

#include "io/core/ReadResult.h"
#include "scene/CameraPoses.h"

#include <Eigen/Core>

#include <iosfwd>
#include <string>

// The camera list a Gaussian splatting trainer writes beside its point_cloud/ folder
// (cameras.json): a top-level array of {id, img_name, width, height, position, rotation, fx, fy},
// where position and rotation (three rows of three) are camera-to-world with x right, y down
// and z forward. The cameras come out in the view's convention (as transforms.json frames:
// y up, looking along -z), ordered by img_name; entries without a finite position and
// rotation are skipped, keys of the wrong type ignored.

// Whether the text starts, after white space, with '[': how a camera list differs from a
// transforms.json object. Leaves the stream at its start.
bool StartsWithJsonArray(std::istream& stream);

// Fails with NotRecognised when the text is not an array or no entry carries both
// "rotation" and "position", so that the caller may try another format.
ReadResult<CameraPoseSet> ReadTrainerCameraStream(std::istream& stream);

ReadResult<CameraPoseSet> ReadTrainerCameras(const std::string& path, const ReadOptions& options = {});

// One camera of the list in the view's convention; its vertical field of view is
// 2 atan(height / 2 fy) where both are positive, else 0. The rotation is made proper first,
// as transform matrices are. The photo's name and intrinsics go to CameraPoseSet::images.
CameraFrame TrainerCameraFrame(const Eigen::Matrix3d& rotation, const Eigen::Vector3d& position, const CameraImage& image);
