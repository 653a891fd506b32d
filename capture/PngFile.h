#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// An 8-bit RGB image: rows top-down, pixels left to right, 3 bytes a pixel.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// Writes the image as a PNG file. The file is written beside the target and renamed over it,
// so a failure leaves an existing file as it was. False, with the reason in `error`, when the
// image is inconsistent or the file cannot be written.
bool WritePngFile(const std::filesystem::path& path, const RgbImage& image, std::string& error);

// Reads a PNG file of any colour type as 8-bit RGB (alpha dropped, grey expanded). Empty,
// with the reason in `error`, when the file is missing or not a readable PNG.
std::optional<RgbImage> ReadPngFile(const std::filesystem::path& path, std::string& error);

// RGBA rows bottom-up, as GL reads a framebuffer back, turned into a top-down RGB image.
RgbImage RgbImageFromGlRgba(const std::vector<std::uint8_t>& rgba, int width, int height);
