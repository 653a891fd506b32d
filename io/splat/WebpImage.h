#pragma once

#include "io/ReadResult.h"
#include "io/splat/SplatBytes.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A decoded image, 4 bytes (R, G, B, A) a pixel, rows top to bottom.
struct RgbaImage {
    int width = 0;
    int height = 0;
    Bytes pixels;

    const std::uint8_t* Pixel(std::size_t index) const { return pixels.data() + 4 * index; }
};

// Decodes a WebP image after checking its size: at least minPixels and at most maxPixels
// pixels. `name` names the image in failure reasons.
ReadResult<RgbaImage> DecodeWebp(ByteSpan bytes, std::size_t minPixels, std::size_t maxPixels, const std::string& name);
