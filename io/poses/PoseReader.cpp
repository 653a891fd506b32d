#include "io/poses/PoseReader.h"

#include "io/poses/PoseRules.h"
#include "io/poses/TransformsJson.h"
#include "io/poses/TrainerCameras.h"

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

std::optional<double> NumberOf(const nlohmann::json& value)
{
    return value.is_number() ? std::optional<double>(value.get<double>()) : std::nullopt;
}

// Far beyond any real pose file; a wrongly chosen huge file is turned away before it is read.
constexpr std::uintmax_t kMaxFileBytes = 256u << 20;

bool ReadPoses(const std::string& path, CameraPoseSet& set, std::string& errorText, ReadError& code)
{
    // Only regular files: a directory opens as a stream but throws on the first read, and a
    // pipe could block forever.
    std::error_code ec;
    std::ifstream stream;
    if (std::filesystem::is_regular_file(path, ec))
        stream.open(path, std::ios::binary);
    if (!stream.is_open()) {
        errorText = "Cannot open file.";
        code = ReadError::CannotOpen;
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxFileBytes) {
        errorText = "File is too large.";
        code = ReadError::TooLarge;
        return false;
    }
    // A trainer's cameras.json is a list where a transforms.json is an object; a list of
    // anything else is left to the transforms.json rules, which turn it away.
    if (StartsWithJsonArray(stream)) {
        ReadResult<CameraPoseSet> cameras = ReadTrainerCameraStream(stream);
        if (cameras) {
            set = cameras.TakeValue();
            return true;
        }
        if (cameras.Failure().code != ReadError::NotRecognised) {
            errorText = cameras.Failure().reason;
            code = cameras.Failure().code;
            return false;
        }
        stream.clear();
        stream.seekg(0);
    }
    return ReadCameraPoseStream(stream, set, errorText);
}

}  // namespace

ReadResult<CameraPoseSet> ReadCameraPoses(const std::string& path, const ReadOptions& options)
{
    if (!ReportProgress(options, 0.0))
        return Fail(ReadError::Cancelled, "Cancelled.");
    std::string errorText;
    ReadError code = ReadError::Malformed;
    try {
        CameraPoseSet set;
        if (ReadPoses(path, set, errorText, code)) {
            if (!ReportProgress(options, 1.0))
                return Fail(ReadError::Cancelled, "Cancelled.");
            set.sourcePath = path;
            return set;
        }
    } catch (const std::bad_alloc&) {
        errorText = "Not enough memory to read the file.";
        code = ReadError::TooLarge;
    } catch (...) {
        // Read errors surface as exceptions from the stream buffer.
        errorText = "Cannot read file.";
        code = ReadError::CannotOpen;
    }
    return Fail(code, errorText);
}

float ReadVerticalFov(const nlohmann::json& object, double defaultW, double defaultH)
{
    const FovKeys keys{NumberAt(object, "w"), NumberAt(object, "h"), NumberAt(object, "fl_y"),
                       NumberAt(object, "camera_angle_y"), NumberAt(object, "camera_angle_x")};
    return VerticalFov(keys, defaultW, defaultH);
}

bool ParseTransformMatrix(const nlohmann::json& value, Eigen::Matrix4d& matrix)
{
    matrix.setIdentity();
    if (!value.is_array())
        return false;
    TransformMatrixBuilder builder;
    for (const nlohmann::json& element : value) {
        if (!element.is_array()) {
            builder.AddElement(NumberOf(element));
            continue;
        }
        builder.BeginRow();
        for (const nlohmann::json& entry : element)
            builder.AddRowElement(NumberOf(entry));
        builder.EndRow();
    }
    const std::optional<Eigen::Matrix4d> parsed = builder.Result();
    if (parsed)
        matrix = *parsed;
    return parsed.has_value();
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
