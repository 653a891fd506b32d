#include "capture/CompareRenders.h"

#include "capture/ImageMetrics.h"
#include "capture/JpegFile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>
#include <system_error>

namespace {

// Each side of a render; what the GL implementation allows may be less.
constexpr int kMaxSide = 16384;
// A cfg_args is one line of Python's Namespace repr; anything much larger is not one.
constexpr std::uintmax_t kMaxConfigBytes = 64 * 1024;

bool IsFile(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::optional<std::filesystem::path> WithImageExtension(const std::filesystem::path& base)
{
    if (IsFile(base))
        return base;
    for (const char* extension : {".png", ".jpg", ".jpeg", ".PNG", ".JPG", ".JPEG"}) {
        std::filesystem::path candidate = base;
        candidate += extension;
        if (IsFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

// The value of key='...' (or "...") in a Namespace repr.
std::optional<std::string> QuotedValue(const std::string& text, const std::string& key)
{
    const std::regex pattern("(^|[ (,])" + key + "=(['\"])([^'\"]*)\\2");
    std::smatch match;
    if (!std::regex_search(text, match, pattern))
        return std::nullopt;
    return match[3].str();
}

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\n\r") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string Number(double value)
{
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

std::string SizeText(double width, double height)
{
    return std::to_string(static_cast<long long>(width)) + "x" + std::to_string(static_cast<long long>(height));
}

// Why a photo cannot stand for the camera, or empty when it can: its shape must be the
// camera's, to a pixel of rounding where the photo is a scaled copy.
std::string SizeMismatch(const CameraImage& camera, const RgbImage& photo)
{
    if (photo.width > kMaxSide || photo.height > kMaxSide)
        return "image is " + SizeText(photo.width, photo.height) + ", more than a render may be";
    if (camera.width <= 0 || camera.height <= 0)
        return {};
    const double expectedHeight = camera.height * photo.width / camera.width;
    if (std::abs(expectedHeight - photo.height) > 1.0)
        return "image is " + SizeText(photo.width, photo.height) + ", the camera " + SizeText(camera.width, camera.height);
    return {};
}

}  // namespace

std::optional<std::filesystem::path> DatasetImagesDir(const std::filesystem::path& poseFile)
{
    const std::filesystem::path config = poseFile.parent_path() / "cfg_args";
    std::error_code ec;
    if (!IsFile(config) || std::filesystem::file_size(config, ec) > kMaxConfigBytes || ec)
        return std::nullopt;
    std::ifstream stream(config, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    const std::optional<std::string> source = QuotedValue(text, "source_path");
    if (!source || source->empty())
        return std::nullopt;
    const std::string images = QuotedValue(text, "images").value_or("images");
    return std::filesystem::path(*source) / (images.empty() ? std::string("images") : images);
}

std::optional<std::filesystem::path> FindTrainingImage(const std::string& name, const std::filesystem::path& poseFile,
                                                       const std::filesystem::path& imagesDir)
{
    if (name.empty())
        return std::nullopt;
    const std::filesystem::path given(name);
    const std::filesystem::path fileName = given.filename();
    if (fileName.empty())
        return std::nullopt;
    if (!imagesDir.empty())
        return WithImageExtension(imagesDir / fileName);
    const std::filesystem::path folder = poseFile.parent_path();
    if (std::optional<std::filesystem::path> found = WithImageExtension(folder / given))
        return found;
    if (std::optional<std::filesystem::path> found = WithImageExtension(folder / "images" / fileName))
        return found;
    if (const std::optional<std::filesystem::path> dataset = DatasetImagesDir(poseFile))
        return WithImageExtension(*dataset / fileName);
    return std::nullopt;
}

float PhotoFovY(const CameraFrame& frame, const CameraImage& camera, int photoWidth, int photoHeight)
{
    if (camera.fy > 0 && camera.width > 0 && photoWidth > 0 && photoHeight > 0) {
        const double fy = camera.fy * photoWidth / camera.width;
        return static_cast<float>(2.0 * std::atan(0.5 * photoHeight / fy));
    }
    return frame.fovY;
}

std::optional<PinholeIntrinsics> PhotoIntrinsics(const CameraImage& camera, int photoWidth, int photoHeight)
{
    if (camera.fy <= 0 || camera.width <= 0 || photoWidth <= 0 || photoHeight <= 0)
        return std::nullopt;
    const double scale = photoWidth / camera.width;
    PinholeIntrinsics intrinsics;
    intrinsics.width = photoWidth;
    intrinsics.height = photoHeight;
    intrinsics.fy = static_cast<float>(camera.fy * scale);
    intrinsics.fx = static_cast<float>((camera.fx > 0 ? camera.fx : camera.fy) * scale);
    intrinsics.cx = camera.cx > 0 ? static_cast<float>(camera.cx * scale) : 0.5f * static_cast<float>(photoWidth);
    intrinsics.cy = camera.cy > 0 ? static_cast<float>(camera.cy * scale) : 0.5f * static_cast<float>(photoHeight);
    if (!IsUsable(intrinsics))
        return std::nullopt;
    return intrinsics;
}

RgbImage SideBySide(const RgbImage& render, const RgbImage& photo)
{
    RgbImage joined;
    if (render.width != photo.width || render.height != photo.height)
        return joined;
    joined.width = render.width * 3;
    joined.height = render.height;
    const std::size_t row = static_cast<std::size_t>(render.width) * 3;
    joined.pixels.resize(row * 3 * static_cast<std::size_t>(render.height));
    for (std::size_t y = 0; y < static_cast<std::size_t>(render.height); ++y) {
        std::uint8_t* out = joined.pixels.data() + y * row * 3;
        const std::uint8_t* r = render.pixels.data() + y * row;
        const std::uint8_t* p = photo.pixels.data() + y * row;
        std::copy(r, r + row, out);
        std::copy(p, p + row, out + row);
        for (std::size_t i = 0; i < row; ++i)
            out[2 * row + i] = static_cast<std::uint8_t>(std::min(255, 4 * std::abs(int{r[i]} - int{p[i]})));
    }
    return joined;
}

std::vector<CompareRow> CompareWithPhotos(const CameraPoseSet& poses, const CompareOptions& options,
                                          const CameraRender& render,
                                          const std::function<void(const CompareRow&, std::size_t total)>& onRow)
{
    std::vector<CompareRow> rows;
    for (std::size_t i = 0; i < poses.frames.size(); ++i) {
        const CameraFrame& frame = poses.frames[i];
        const CameraImage& camera = poses.ImageOf(i);
        CompareRow& row = rows.emplace_back();
        row.index = i;
        row.image = camera.path;
        const auto report = [&] {
            if (onRow)
                onRow(row, poses.frames.size());
        };
        const std::optional<std::filesystem::path> found =
            FindTrainingImage(camera.path, options.poseFile, options.imagesDir);
        if (!found) {
            row.note = camera.path.empty() ? "the camera names no image" : "image not found";
            report();
            continue;
        }
        ReadResult<RgbImage> photo = ReadPhotoFile(*found);
        if (!photo) {
            row.note = photo.Failure().reason;
            report();
            continue;
        }
        if (std::string mismatch = SizeMismatch(camera, photo.Value()); !mismatch.empty()) {
            row.note = std::move(mismatch);
            report();
            continue;
        }
        CameraFrame atPhotoSize = frame;
        atPhotoSize.fovY = PhotoFovY(frame, camera, photo.Value().width, photo.Value().height);
        const float fallback = poses.defaultFovY > 0.0f ? poses.defaultFovY : options.fallbackFovY;
        const std::optional<RgbImage> drawn =
            render(atPhotoSize, fallback, photo.Value().width, photo.Value().height,
                   PhotoIntrinsics(camera, photo.Value().width, photo.Value().height));
        if (!drawn || drawn->width != photo.Value().width || drawn->height != photo.Value().height) {
            row.note = "cannot render at " + SizeText(photo.Value().width, photo.Value().height);
            report();
            continue;
        }
        row.psnr = PeakSignalToNoise(drawn->pixels, photo.Value().pixels);
        row.ssim = StructuralSimilarity(drawn->pixels, photo.Value().pixels, drawn->width, drawn->height);
        if (!options.sideBySideDir.empty()) {
            char number[32];
            std::snprintf(number, sizeof number, "%04zu_", i);
            const std::filesystem::path picture =
                options.sideBySideDir / (number + std::filesystem::path(camera.path).filename().stem().string() + ".png");
            std::string error;
            if (!WritePngFile(picture, SideBySide(*drawn, photo.Value()), error))
                row.note = "side by side not written: " + error;
        }
        report();
    }
    return rows;
}

std::string CompareCsv(const std::vector<CompareRow>& rows)
{
    std::ostringstream csv;
    csv << "index,image,psnr_db,ssim,note\n";
    double psnrSum = 0.0;
    double ssimSum = 0.0;
    std::size_t compared = 0;
    for (const CompareRow& row : rows) {
        csv << row.index << "," << CsvField(row.image) << "," << (row.psnr ? Number(*row.psnr) : "") << ","
            << (row.ssim ? Number(*row.ssim) : "") << "," << CsvField(row.note) << "\n";
        if (row.psnr && row.ssim) {
            psnrSum += *row.psnr;
            ssimSum += *row.ssim;
            ++compared;
        }
    }
    csv << "mean,," << (compared ? Number(psnrSum / compared) : "") << "," << (compared ? Number(ssimSum / compared) : "")
        << "," << compared << " of " << rows.size() << " cameras compared\n";
    return csv.str();
}
