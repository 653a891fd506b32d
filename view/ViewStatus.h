#pragma once

#include "document/Document.h"
#include "scene/PointColoring.h"

#include <cstdint>
#include <optional>

struct ViewCamera;

// What the main window's information panes tell about the view, as data; the desktop words it.
struct ViewStatus {
    SceneKind scene = SceneKind::None;
    std::uint64_t items = 0;                   // the scene's points or splats
    std::optional<std::uint64_t> drawnPoints;  // while the point budget leaves points out
    bool fly = false;
    bool orthographic = false;
    // Named only when asked for, so a view that never asks keeps its plain mode pane.
    std::optional<ColorMode> colorMode;  // a point cloud's mode other than RGB
    bool eyeDomeLighting = false;        // a point cloud drawn with eye-dome lighting
    std::int32_t frameNumber = 0;        // the camera frame the eye was put at, from 1; 0: none
    std::int32_t frameCount = 0;

    bool operator==(const ViewStatus&) const = default;
};

// The status of the document's scene seen through `camera`, with the camera frame `frameIndex`
// (from 0; -1: none). The drawing details (budget, colour mode, EDL) are the caller's to add.
ViewStatus ComposeViewStatus(const Document& document, const ViewCamera& camera, int frameIndex);
