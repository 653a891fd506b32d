#include "io/splat/WebpImage.h"

#include <webp/decode.h>

ReadResult<RgbaImage> DecodeWebp(ByteSpan bytes, std::size_t minPixels, std::size_t maxPixels, const std::string& name)
{
    RgbaImage image;
    if (!WebPGetInfo(bytes.data(), bytes.size(), &image.width, &image.height))
        return Fail(ReadError::Malformed, "SOG: " + name + " is not a WebP image");
    const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    if (pixels < minPixels || pixels > maxPixels)
        return Fail(ReadError::Malformed, "SOG: " + name + " is " + std::to_string(image.width) + "x" +
                                              std::to_string(image.height) + ", which does not fit the " +
                                              std::to_string(minPixels) + " values it must hold");
    image.pixels.resize(pixels * 4);
    if (!WebPDecodeRGBAInto(bytes.data(), bytes.size(), image.pixels.data(), image.pixels.size(), image.width * 4))
        return Fail(ReadError::Malformed, "SOG: " + name + " cannot be decoded as WebP");
    return image;
}
