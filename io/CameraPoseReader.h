#pragma once

#include "scene/CameraPoses.h"

#include <Eigen/Core>
#include <nlohmann/json_fwd.hpp>

#include <string>

// Reads a camera pose file (path in UTF-8). `set` is emptied first and filled only with the
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
