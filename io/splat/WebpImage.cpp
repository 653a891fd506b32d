#include "io/splat/WebpImage.h"

#include <webp/decode.h>

ReadResult<WebpSize> ReadWebpSize(ByteSpan bytes, std::size_t minPixels, std::size_t maxPixels, const std::string& name)
{
    WebpSize size;
    if (!WebPGetInfo(bytes.data(), bytes.size(), &size.width, &size.height))
        return Fail(ReadError::Malformed, "SOG: " + name + " is not a WebP image");
    const std::size_t pixels = static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height);
    if (pixels < minPixels || pixels > maxPixels)
        return Fail(ReadError::Malformed, "SOG: " + name + " is " + std::to_string(size.width) + "x" +
                                              std::to_string(size.height) + ", which does not fit the " +
                                              std::to_string(minPixels) + " values it must hold");
    return size;
}

ReadResult<RgbaImage> DecodeWebp(ByteSpan bytes, std::size_t minPixels, std::size_t maxPixels, const std::string& name)
{
    ReadResult<WebpSize> size = ReadWebpSize(bytes, minPixels, maxPixels, name);
    if (!size)
        return size.Failure();
    RgbaImage image;
    image.width = size.Value().width;
    image.height = size.Value().height;
    image.pixels = OverwriteBuffer(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4);
    if (!WebPDecodeRGBAInto(bytes.data(), bytes.size(), image.pixels.data(), image.pixels.size(), image.width * 4))
        return Fail(ReadError::Malformed, "SOG: " + name + " cannot be decoded as WebP");
    return image;
}
