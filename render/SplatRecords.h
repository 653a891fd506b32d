#pragma once

#include <Eigen/Core>

#include <array>
#include <cstddef>
#include <cstdint>

struct GaussianData;

// One splat as the splat shader reads it: four vec4 (64 bytes) of a std430 storage buffer.
//   0-2 position, 3 opacity, 4-6 degree-0 SH (R, G, B), 7 zero,
//   8-10 covariance xx, xy, xz, 11 zero, 12-14 covariance yy, yz, zz, 15 zero.
struct SplatRecord {
    std::array<float, 16> values{};
};
static_assert(sizeof(SplatRecord) == 64, "the shader reads 64-byte splat records");

// The splat's 3D covariance R S (R S)^T, R the rotation matrix of the quaternion as stored
// (w, x, y, z; not normalised again) and S = diag(scale).
Eigen::Matrix3f SplatCovariance(const Eigen::Vector3f& scale, const Eigen::Vector4f& rotationWxyz);

SplatRecord PackSplatRecord(const Eigen::Vector3f& position, float opacity, const Eigen::Vector3f& shDc,
                            const Eigen::Vector3f& scale, const Eigen::Vector4f& rotationWxyz);

// Records of splats first .. first + count - 1 of `data`, written to `out`. The caller has
// checked that the per-splat arrays cover them (SplatArraysConsistent).
void PackSplatRecords(const GaussianData& data, std::size_t first, std::size_t count, SplatRecord* out);

// True when shDc, opacities, scales and rotations have one entry per position.
bool SplatArraysConsistent(const GaussianData& data);

// The highest SH degree, at most `degree`, whose coefficients a block of `restCount` values
// (three channels) holds: degree 1 needs 3 per channel, 2 needs 8, 3 needs 15.
int32_t ShDegreeSupportedBy(int32_t degree, int32_t restCount);
