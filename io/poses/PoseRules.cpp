#include "io/poses/PoseRules.h"

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
