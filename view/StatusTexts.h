#pragma once

#include <string>

class Document;
struct ViewCamera;

// The texts of the main window's three information panes.
struct StatusTexts {
    std::string count;  // "Points: 1234" or "Splats: 1234"; empty without a scene
    std::string mode;   // "Mode: Orbit | Persp"
    std::string frame;  // "Frame: 3/67" once a camera frame is applied; else empty
};

StatusTexts ComposeStatusTexts(const Document& document, const ViewCamera& camera, int frameIndex);
