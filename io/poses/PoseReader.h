#pragma once

#include "io/core/ReadResult.h"
#include "scene/CameraPoses.h"

#include <Eigen/Core>
#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <string>

// Reads a camera pose file (path in UTF-8): a transforms.json, or a trainer's cameras.json,
// told apart by content; the frames that could be read, in file order. A
// failure's reason is a short English sentence ("Cannot open file.") that the document
// shows after its own first line, so it does not name the format. Never throws.
ReadResult<CameraPoseSet> ReadCameraPoses(const std::string& path, const ReadOptions& options = {});

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
