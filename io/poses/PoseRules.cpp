#include "io/poses/PoseRules.h"

#include <Eigen/LU>
#include <Eigen/SVD>
#include <nlohmann/json.hpp>

#include <cmath>

float VerticalFov(const FovKeys& keys, double defaultW, double defaultH)
{
    const double w = keys.w.value_or(defaultW);
    const double h = keys.h.value_or(defaultH);
    if (keys.flY && h > 0 && *keys.flY > 0)
        return static_cast<float>(2.0 * std::atan(0.5 * h / *keys.flY));
    if (keys.angleY && *keys.angleY > 0)
        return static_cast<float>(*keys.angleY);
    if (keys.angleX && w > 0 && h > 0 && *keys.angleX > 0)
        return static_cast<float>(2.0 * std::atan(std::tan(0.5 * *keys.angleX) * h / w));
    return 0.0f;
}

void TransformMatrixBuilder::AddElement(std::optional<double> number)
{
    m_rowsValid = false;
    if (!number || !std::isfinite(*number))
        m_numbersValid = false;
    else if (m_elements < 16)
        m_numbers(static_cast<Eigen::Index>(m_elements / 4), static_cast<Eigen::Index>(m_elements % 4)) = *number;
    ++m_elements;
}

void TransformMatrixBuilder::BeginRow()
{
    m_numbersValid = false;
    m_rowElements = 0;
}

void TransformMatrixBuilder::AddRowElement(std::optional<double> number)
{
    if (!number || !std::isfinite(*number))
        m_rowsValid = false;
    else if (m_elements < 4 && m_rowElements < 4)
        m_rows(static_cast<Eigen::Index>(m_elements), static_cast<Eigen::Index>(m_rowElements)) = *number;
    ++m_rowElements;
}

void TransformMatrixBuilder::EndRow()
{
    if (m_rowElements != 4)
        m_rowsValid = false;
    ++m_elements;
}

std::optional<Eigen::Matrix4d> TransformMatrixBuilder::Result() const
{
    if (m_elements == 4 && m_rowsValid)
        return m_rows;
    if (m_elements == 16 && m_numbersValid)
        return m_numbers;
    return std::nullopt;
}

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

}  // namespace

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
