#pragma once

#include "messages/Wording.h"
#include "view/ViewStatus.h"

#include <string>

// The texts of the main window's three information panes.
struct StatusPaneTexts {
    std::string count;  // "Points: 1234", "Points: 1000000 / 20000000" or "Splats: 1234"; empty without a scene
    std::string mode;   // "Mode: Orbit | Persp", with " | Intensity", " | EDL" where asked for
    std::string frame;  // "Frame: 3/67" once a camera frame is applied; else empty
};

StatusPaneTexts WordStatus(const ViewStatus& status, const TranslateMessage& translate = {});

// The name of a colour mode for the user ("Intensity").
std::string WordColorMode(ColorMode mode, const TranslateMessage& translate = {});
