#pragma once

#include <cstdint>

struct ViewCamera;

enum class DragMode : std::int32_t { Idle = 0, Rotate = 1, Pan = 2, Zoom = 3, Look = 4 };

// Mouse-drag state of the view: which drag is in progress and where the mouse was at the
// previous step. Drag steps move the camera.
struct CameraController {
    float rotateSpeed = 0.008f;    // radians per pixel
    float zoomDragSpeed = 0.005f;  // exponent per pixel
    float wheelBase = 0.9f;        // zoom factor per wheel notch
    ViewCamera* camera = nullptr;
    DragMode dragMode = DragMode::Idle;
    std::int32_t lastX = 0;
    std::int32_t lastY = 0;
    std::int32_t viewportHeight = 1;

    // One drag step to client position (x, y), y growing downwards. True when the camera
    // changed.
    bool OnDrag(int x, int y);
};
