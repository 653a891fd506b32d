#pragma once

#include "capture/PngFile.h"
#include "io/core/ReadResult.h"

#include <filesystem>

// Reads a baseline or progressive JPEG (any colour space libjpeg-turbo converts) as 8-bit RGB.
// Images beyond 16384 pixels a side or 2^26 pixels in all are turned away before decoding.
ReadResult<RgbImage> ReadJpegFile(const std::filesystem::path& path);

// A photo as PNG or JPEG, told apart by the first bytes of the file.
ReadResult<RgbImage> ReadPhotoFile(const std::filesystem::path& path);
