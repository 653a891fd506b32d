#pragma once

#include <cstdint>
#include <string>

class Document;
struct ViewCamera;

// The texts of the main window's three information panes.
struct StatusTexts {
    std::string count;  // "Points: 1234" or "Splats: 1234"; empty without a scene
    std::string mode;   // "Mode: Orbit | Persp"
    std::string frame;  // "Frame: 3/67" once a camera frame is applied; else empty
};

// The point pane while the point budget binds: "Points: 1000000 / 20000000" (drawn / total).
std::string BudgetedPointCountText(std::uint64_t drawn, std::uint64_t total);

StatusTexts ComposeStatusTexts(const Document& document, const ViewCamera& camera, int frameIndex);
