#include "capture/JpegFile.h"

#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr JDIMENSION kMaxSide = 16384;
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 26;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to
// the decoder's entry with the message kept.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void IgnoreJpegWarning(j_common_ptr, int) {}

// Everything between setjmp and longjmp lives in C structures or storage owned outside, so
// the jump skips no destructor.
bool Decode(std::FILE* file, RgbImage& image, std::string& error, ReadError& code)
{
    jpeg_decompress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnJpegError;
    errors.manager.emit_message = IgnoreJpegWarning;
    errors.message[0] = '\0';
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        error = std::string("JPEG: ") + errors.message;
        code = ReadError::Malformed;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    if (info.image_width > kMaxSide || info.image_height > kMaxSide ||
        std::uint64_t{info.image_width} * info.image_height > kMaxPixels) {
        error = "JPEG: " + std::to_string(info.image_width) + "x" + std::to_string(info.image_height) +
                " pixels is more than this reader takes";
        code = ReadError::TooLarge;
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        error = "JPEG: the colour space cannot be turned into RGB";
        code = ReadError::Unsupported;
        return false;
    }
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    const std::size_t stride = static_cast<std::size_t>(info.output_width) * 3;
    image.pixels.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.pixels.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

ReadResult<RgbImage> ReadJpegFile(const std::filesystem::path& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return Fail(ReadError::CannotOpen, "JPEG: cannot open " + path.string());
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return Fail(ReadError::CannotOpen, "JPEG: cannot open " + path.string());
    RgbImage image;
    std::string error;
    ReadError code = ReadError::Malformed;
    if (!Decode(file.get(), image, error, code))
        return Fail(code, error);
    return image;
}

ReadResult<RgbImage> ReadPhotoFile(const std::filesystem::path& path)
{
    std::array<char, 8> start{};
    std::ifstream stream(path, std::ios::binary);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || !stream)
        return Fail(ReadError::CannotOpen, "cannot open " + path.string());
    stream.read(start.data(), start.size());
    const auto byte = [&start](std::size_t i) { return static_cast<unsigned char>(start[i]); };
    if (stream.gcount() >= 3 && byte(0) == 0xFF && byte(1) == 0xD8 && byte(2) == 0xFF)
        return ReadJpegFile(path);
    if (stream.gcount() == 8 && byte(0) == 0x89 && start[1] == 'P' && start[2] == 'N' && start[3] == 'G') {
        std::string error;
        std::optional<RgbImage> png = ReadPngFile(path, error);
        if (!png)
            return Fail(ReadError::Malformed, "PNG: " + error);
        return std::move(*png);
    }
    return Fail(ReadError::NotRecognised, path.filename().string() + " is neither PNG nor JPEG");
}
