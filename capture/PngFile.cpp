#include "capture/PngFile.h"

#include <png.h>

#include <cstring>
#include <limits>
#include <system_error>

namespace {

bool SizeUsable(int width, int height)
{
    return width > 0 && height > 0 &&
           static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4u <=
               static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
}

}  // namespace

bool WritePngFile(const std::filesystem::path& path, const RgbImage& image, std::string& error)
{
    if (!SizeUsable(image.width, image.height) ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3u) {
        error = "the image has no pixels or does not match its size";
        return false;
    }

    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;

    std::filesystem::path partial = path;
    partial += ".partial";
    const bool written = png_image_write_to_file(&png, partial.c_str(), 0, image.pixels.data(), 0, nullptr) != 0;
    if (!written) {
        error = png.message[0] != '\0' ? png.message : "cannot write the file";
        png_image_free(&png);
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        return false;
    }
    std::error_code renameError;
    std::filesystem::rename(partial, path, renameError);
    if (renameError) {
        error = renameError.message();
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        return false;
    }
    return true;
}

std::optional<RgbImage> ReadPngFile(const std::filesystem::path& path, std::string& error)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = png.message[0] != '\0' ? png.message : "cannot read the file";
        png_image_free(&png);
        return std::nullopt;
    }
    const int width = static_cast<int>(png.width);
    const int height = static_cast<int>(png.height);
    if (png.width > static_cast<png_uint_32>(std::numeric_limits<int>::max()) ||
        png.height > static_cast<png_uint_32>(std::numeric_limits<int>::max()) || !SizeUsable(width, height)) {
        error = "the image is too large";
        png_image_free(&png);
        return std::nullopt;
    }
    png.format = PNG_FORMAT_RGB;
    RgbImage image{width, height, std::vector<std::uint8_t>(PNG_IMAGE_SIZE(png))};
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        error = png.message[0] != '\0' ? png.message : "cannot decode the file";
        png_image_free(&png);
        return std::nullopt;
    }
    return image;
}

RgbImage RgbImageFromGlRgba(const std::vector<std::uint8_t>& rgba, int width, int height)
{
    RgbImage image;
    if (width <= 0 || height <= 0 ||
        rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u)
        return image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3u);
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* source = rgba.data() + static_cast<std::size_t>(height - 1 - row) * width * 4u;
        std::uint8_t* target = image.pixels.data() + static_cast<std::size_t>(row) * width * 3u;
        for (int x = 0; x < width; ++x) {
            target[3 * x + 0] = source[4 * x + 0];
            target[3 * x + 1] = source[4 * x + 1];
            target[3 * x + 2] = source[4 * x + 2];
        }
    }
    return image;
}
