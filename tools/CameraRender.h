#pragma once

#include "io/CameraPoseReader.h"
#include "tools/PngFile.h"

#include <functional>
#include <optional>

// Draws the scene from a recorded camera at the given size, the way a still is drawn; empty
// when the picture could not be made. fallbackFovY applies where the frame gives no field of
// view. The fly-through and the comparison are written against this, not against the view.
using CameraRender = std::function<std::optional<RgbImage>(const CameraFrame& frame, float fallbackFovY, int width, int height)>;
