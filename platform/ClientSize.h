#pragma once

// The size of a drawing surface.
struct ClientSize {
    int width = 0;   // pixels of the drawable (framebuffer pixels on high-DPI screens)
    int height = 0;
};
