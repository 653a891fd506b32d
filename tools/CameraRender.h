#pragma once

#include "io/poses/PoseReader.h"
#include "tools/PngFile.h"
#include "view/PinholeProjection.h"

#include <functional>
#include <optional>

// Draws the scene from a recorded camera at the given size, the way a still is drawn; empty
// when the picture could not be made. fallbackFovY applies where the frame gives no field of
// view; intrinsics, when given (for this size), replace the symmetric projection. The
// fly-through and the comparison are written against this, not against the view.
using CameraRender = std::function<std::optional<RgbImage>(const CameraFrame& frame, float fallbackFovY, int width,
                                                           int height, const std::optional<PinholeIntrinsics>& intrinsics)>;
