#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

// Read-back of a rectangle of a framebuffer (0: the window system's own buffers, read from
// the current read buffer, the back buffer of a double-buffered window). (x, y) is the
// rectangle's lower-left pixel, counted from the framebuffer's bottom-left corner. Rows come
// bottom-up as GL gives them: the first row is row y, the next row y + 1. The framebuffer's
// context must be current; the read-framebuffer binding is restored afterwards. A rectangle
// with no pixels, or larger than one read can return (2 GiB), gives an empty result; pixels outside the framebuffer keep the fill value.

// RGBA8, 4 bytes a pixel, filled with 0.
std::vector<std::uint8_t> ReadFramebufferColor(GLuint framebuffer, int x, int y, int width, int height);

// Depth as floats in 0..1, filled with 1.0 (the cleared depth).
std::vector<float> ReadFramebufferDepth(GLuint framebuffer, int x, int y, int width, int height);
