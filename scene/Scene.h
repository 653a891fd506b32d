#pragma once

#include "scene/GaussianData.h"
#include "scene/PointCloudData.h"

#include <variant>

// A loaded scene: a point cloud or a Gaussian splat scene.
using Scene = std::variant<PointCloudData, GaussianData>;
