#include "view/CameraController.h"

#include "view/ViewCamera.h"

#include <algorithm>
#include <cmath>

namespace {

// World units one pixel of drag covers at the look-at distance, so that panning keeps the
// point under the cursor at that distance under the cursor.
float WorldUnitsPerPixel(const ViewCamera& camera, int viewportHeight)
{
    float d = camera.distance;
    if (!std::isfinite(d) || d <= 0.0f)
        d = 1.0f;
    d = std::clamp(d, camera.minDistance, camera.maxDistance);
    const float halfHeight = camera.projection == Orthographic && camera.orthoHalfHeight > 0.0f
                                 ? camera.orthoHalfHeight
                                 : std::tan(camera.fovY / 2.0f) * d;
    return 2.0f * halfHeight / static_cast<float>(viewportHeight);
}

}  // namespace

bool CameraController::OnDrag(int x, int y)
{
    if (!camera || dragMode == DragMode::Idle)
        return false;
    const int oldX = lastX;
    const int oldY = lastY;
    lastX = x;
    lastY = y;
    if (x == oldX && y == oldY)
        return false;

    // Differences in float: a pointer can jump by any amount between two events.
    const float dx = static_cast<float>(oldX) - static_cast<float>(x);
    const float dy = static_cast<float>(oldY) - static_cast<float>(y);
    switch (dragMode) {
    case DragMode::Rotate:
        if (camera->eyeAnchored)
            camera->LookAround(dx * rotateSpeed, dy * rotateSpeed);
        else
            camera->Orbit(dx * rotateSpeed, dy * rotateSpeed);
        return true;
    case DragMode::Pan: {
        const float s = WorldUnitsPerPixel(*camera, std::max(1, viewportHeight));
        camera->Pan(dx * s, -dy * s);
        return true;
    }
    case DragMode::Zoom:
        camera->ZoomBy(std::exp(-dy * zoomDragSpeed));
        return true;
    case DragMode::Look:
        camera->FlyLook(dx * rotateSpeed, dy * rotateSpeed);
        return true;
    default:
        return false;
    }
}
