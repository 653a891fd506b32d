#pragma once

#include <Eigen/Core>
#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <optional>

// The rules of a camera pose file that do not depend on how its JSON is read: what makes a
// field of view, a transform matrix and a rotation. The readers take the text event by event;
// the functions on a whole JSON tree apply the same rules to a parsed value.

// The numbers an object gives for its field of view; a key that is absent, or whose value is
// not a number, gives none.
struct FovKeys {
    std::optional<double> w;
    std::optional<double> h;
    std::optional<double> flY;
    std::optional<double> angleY;
    std::optional<double> angleX;
};

// Vertical field of view in radians from "fl_y" (with "h"), "camera_angle_y" or
// "camera_angle_x" (with "w" and "h"), tried in that order; 0 when none is usable. A missing
// "w" or "h" takes the default.
float VerticalFov(const FovKeys& keys, double defaultW, double defaultH);

// Collects a "transform_matrix" value element by element: four rows of four finite numbers,
// or sixteen finite numbers in row order. Anything else (a string, null, an object, a nested
// array, another count) spoils it.
class TransformMatrixBuilder {
public:
    // An element of the matrix array that is not an array: its number when it is a finite
    // number, nothing otherwise.
    void AddElement(std::optional<double> number);
    void BeginRow();
    // An element of the current row, as AddElement.
    void AddRowElement(std::optional<double> number);
    void EndRow();

    // The matrix, once the array has ended; nothing when it breaks the rules.
    std::optional<Eigen::Matrix4d> Result() const;

private:
    Eigen::Matrix4d m_rows = Eigen::Matrix4d::Identity();
    Eigen::Matrix4d m_numbers = Eigen::Matrix4d::Identity();
    std::size_t m_elements = 0;     // of the matrix array
    std::size_t m_rowElements = 0;  // of the current row
    bool m_rowsValid = true;        // every element so far a row of four finite numbers
    bool m_numbersValid = true;     // every element so far a finite number
};

// The proper rotation nearest to `block` (Frobenius norm): scale and shear are removed and a
// reflection is turned into a rotation by flipping the direction of least stretch.
Eigen::Matrix3d NearestRotation(const Eigen::Matrix3d& block);

// Vertical field of view in radians that a JSON object gives through "fl_y" (with "h"),
// "camera_angle_y" or "camera_angle_x" (with "w" and "h"), tried in that order; 0 when none
// is usable. Missing "w"/"h" take the defaults; keys that are not numbers count as missing.
float ReadVerticalFov(const nlohmann::json& object, double defaultW, double defaultH);

// Fills `matrix` from a "transform_matrix" value: four rows of four finite numbers, or
// sixteen finite numbers in row order. On failure returns false and leaves the identity.
bool ParseTransformMatrix(const nlohmann::json& value, Eigen::Matrix4d& matrix);
