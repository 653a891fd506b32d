#include "io/CameraPoseReader.h"

#include <Eigen/LU>
#include <Eigen/SVD>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>

namespace {

// The value of a numeric key; a missing key, a non-object or a value of another JSON type
// all read as absent, so odd files never make the typed getters throw.
std::optional<double> NumberAt(const nlohmann::json& object, const char* key)
{
    if (!object.is_object())
        return std::nullopt;
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number())
        return std::nullopt;
    return it->get<double>();
}

std::optional<double> FiniteNumber(const nlohmann::json& value)
{
    if (!value.is_number())
        return std::nullopt;
    const double number = value.get<double>();
    if (!std::isfinite(number))
        return std::nullopt;
    return number;
}

bool ParseRows(const nlohmann::json& rows, Eigen::Matrix4d& matrix)
{
    for (int r = 0; r < 4; ++r) {
        const nlohmann::json& row = rows[static_cast<std::size_t>(r)];
        if (!row.is_array() || row.size() != 4)
            return false;
        for (int c = 0; c < 4; ++c) {
            const std::optional<double> number = FiniteNumber(row[static_cast<std::size_t>(c)]);
            if (!number)
                return false;
            matrix(r, c) = *number;
        }
    }
    return true;
}

bool ParseSixteen(const nlohmann::json& numbers, Eigen::Matrix4d& matrix)
{
    for (int i = 0; i < 16; ++i) {
        const std::optional<double> number = FiniteNumber(numbers[static_cast<std::size_t>(i)]);
        if (!number)
            return false;
        matrix(i / 4, i % 4) = *number;
    }
    return true;
}

bool ReadFrame(const nlohmann::json& element, double w, double h, CameraFrame& frame)
{
    if (!element.is_object())
        return false;
    const auto matrix = element.find("transform_matrix");
    if (matrix == element.end() || !ParseTransformMatrix(*matrix, frame.transform))
        return false;
    frame.transform.topLeftCorner<3, 3>() = NearestRotation(frame.transform.topLeftCorner<3, 3>());
    // Without any field-of-view key of its own this is 0, and the set's default applies.
    frame.fovY = ReadVerticalFov(element, w, h);
    return true;
}

// Far beyond any real pose file, yet it keeps a wrongly chosen huge file from growing a
// JSON tree many times its size in memory.
constexpr std::uintmax_t kMaxFileBytes = 256u << 20;

bool ReadPoses(const std::string& path, CameraPoseSet& set, std::string& errorText)
{
    // Only regular files: a directory opens as a stream but throws on the first read, and a
    // pipe could block forever.
    std::error_code ec;
    std::ifstream stream;
    if (std::filesystem::is_regular_file(path, ec))
        stream.open(path, std::ios::binary);
    if (!stream.is_open()) {
        errorText = "Cannot open file.";
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxFileBytes) {
        errorText = "File is too large.";
        return false;
    }

    const nlohmann::json root =
        nlohmann::json::parse(stream, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/false);
    if (root.is_discarded() || !root.is_object()) {
        errorText = "Invalid JSON format.";
        return false;
    }
    const auto frames = root.find("frames");
    if (frames == root.end() || !frames->is_array()) {
        errorText = "\"frames\" array not found.";
        return false;
    }

    const double w = NumberAt(root, "w").value_or(0.0);
    const double h = NumberAt(root, "h").value_or(0.0);
    set.defaultFovY = ReadVerticalFov(root, w, h);
    set.frames.reserve(frames->size());
    for (const nlohmann::json& element : *frames) {
        CameraFrame frame;
        if (ReadFrame(element, w, h, frame))
            set.frames.push_back(frame);
    }
    if (set.frames.empty()) {
        set.Clear();
        errorText = "No valid camera frames found.";
        return false;
    }
    return true;
}

}  // namespace

bool LoadCameraPoseFile(const std::string& path, CameraPoseSet& set, std::string& errorText)
{
    set.Clear();
    try {
        return ReadPoses(path, set, errorText);
    } catch (const std::bad_alloc&) {
        errorText = "Not enough memory to read the file.";
    } catch (...) {
        // Read errors surface as exceptions from the stream buffer.
        errorText = "Cannot read file.";
    }
    set.Clear();
    return false;
}

float ReadVerticalFov(const nlohmann::json& object, double defaultW, double defaultH)
{
    const double w = NumberAt(object, "w").value_or(defaultW);
    const double h = NumberAt(object, "h").value_or(defaultH);
    if (const std::optional<double> focal = NumberAt(object, "fl_y"); focal && h > 0) {
        if (*focal > 0)
            return static_cast<float>(2.0 * std::atan(0.5 * h / *focal));
    }
    if (const std::optional<double> angleY = NumberAt(object, "camera_angle_y")) {
        if (*angleY > 0)
            return static_cast<float>(*angleY);
    }
    if (const std::optional<double> angleX = NumberAt(object, "camera_angle_x"); angleX && w > 0 && h > 0) {
        if (*angleX > 0)
            return static_cast<float>(2.0 * std::atan(std::tan(0.5 * *angleX) * h / w));
    }
    return 0.0f;
}

bool ParseTransformMatrix(const nlohmann::json& value, Eigen::Matrix4d& matrix)
{
    matrix.setIdentity();
    if (!value.is_array())
        return false;
    Eigen::Matrix4d parsed = Eigen::Matrix4d::Identity();
    bool ok = false;
    if (value.size() == 4)
        ok = ParseRows(value, parsed);
    else if (value.size() == 16)
        ok = ParseSixteen(value, parsed);
    if (ok)
        matrix = parsed;
    return ok;
}

Eigen::Matrix3d NearestRotation(const Eigen::Matrix3d& block)
{
    if (!block.allFinite())
        return Eigen::Matrix3d::Identity();
    const Eigen::JacobiSVD<Eigen::Matrix3d> svd(block, Eigen::ComputeFullU | Eigen::ComputeFullV);
    const Eigen::Matrix3d& u = svd.matrixU();
    Eigen::Matrix3d v = svd.matrixV();
    Eigen::Matrix3d rotation = u * v.transpose();
    if (rotation.determinant() < 0) {
        v.col(2) = -v.col(2);
        rotation = u * v.transpose();
    }
    return rotation;
}
