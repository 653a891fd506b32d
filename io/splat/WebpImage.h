#pragma once

#include "io/core/ReadResult.h"
#include "io/splat/OverwriteBuffer.h"
#include "io/splat/SplatBytes.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A decoded image, 4 bytes (R, G, B, A) a pixel, rows top to bottom.
struct RgbaImage {
    int width = 0;
    int height = 0;
    OverwriteBuffer pixels;

    const std::uint8_t* Pixel(std::size_t index) const { return pixels.data() + 4 * index; }
};

struct WebpSize {
    int width = 0;
    int height = 0;
};

// A WebP image's size from its header, checked as DecodeWebp checks it.
ReadResult<WebpSize> ReadWebpSize(ByteSpan bytes, std::size_t minPixels, std::size_t maxPixels, const std::string& name);

// Decodes a WebP image after checking its size: at least minPixels and at most maxPixels
// pixels. `name` names the image in failure reasons.
ReadResult<RgbaImage> DecodeWebp(ByteSpan bytes, std::size_t minPixels, std::size_t maxPixels, const std::string& name);
