#pragma once

#include "scene/CameraPoses.h"
#include "scene/SceneBounds.h"
#include "view/ViewCamera.h"

#include <Eigen/Core>

// Puts the camera's eye exactly at a recorded frame's position, looking its way, with the
// pivot ahead of it in the scene and the frame's field of view (`fallbackFovY` where the
// frame gives none; either only when it is strictly between about 5 and 150 degrees).
// `sceneOrigin` is the origin the scene's positions are offsets from; `bounds` the scene's,
// null for a scene without points. False, leaving the camera as it is, when the pose does
// not fit in single precision.
bool PutCameraAtFrame(ViewCamera& camera, const CameraFrame& frame, float fallbackFovY,
                      const Eigen::Vector3d& sceneOrigin, const SceneBounds* bounds);
