#include "platform/ThreadPool.h"
#include "scene/GaussianData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

// The batch extents and the bounds over a pool must give exactly what one splat at a time and
// one pass give: a scene's bounds may not depend on how it was loaded.

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

bool SameBits(const Eigen::Vector3f& a, const Eigen::Vector3f& b)
{
    return std::memcmp(a.data(), b.data(), sizeof(float) * 3) == 0;
}

// The extent as the covariance R S (R S)^T defines it, through matrices.
Eigen::Vector3f ExtentFromCovariance(const Eigen::Vector3f& scale, const Eigen::Vector4f& rotation)
{
    const float lengthSquared = rotation.squaredNorm();
    if (!rotation.allFinite() || !(lengthSquared > 1e-12f) || !scale.allFinite())
        return Eigen::Vector3f::Zero();
    const Eigen::Matrix3f m =
        RotationMatrixFromQuaternion(rotation / std::sqrt(lengthSquared)) * scale.cwiseAbs().asDiagonal();
    const Eigen::Matrix3f covariance = m * m.transpose();
    Eigen::Vector3f extent;
    for (int axis = 0; axis < 3; ++axis)
        extent[axis] = kSplatExtentSigmas * std::sqrt(std::max(covariance(axis, axis), 0.0f));
    return extent.allFinite() ? extent : Eigen::Vector3f::Zero();
}

// Splat shapes of every kind: unit and unnormalised rotations, tiny, huge, zero and
// non-finite components, scales from denormal to overflowing.
struct Shapes {
    std::vector<Eigen::Vector3f> scales;
    std::vector<Eigen::Vector4f> rotations;
};

Shapes MixedShapes(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-70, 70);
    std::uniform_int_distribution<int> kind(0, 19);
    const float specials[] = {0.0f, -0.0f, kInf, -kInf, kNaN, 1e-45f, -1e-45f, 3.4e38f, 1e-20f, 1e20f, 1.0f, -1.0f};
    const auto value = [&] {
        const int k = kind(random);
        if (k == 0)
            return specials[random() % std::size(specials)];
        const float v = unit(random);
        return k < 4 ? std::ldexp(v, exponent(random)) : v;
    };
    Shapes shapes;
    for (std::size_t i = 0; i < count; ++i) {
        Eigen::Vector4f q(value(), value(), value(), value());
        if (kind(random) < 10 && q.allFinite() && q.squaredNorm() > 0)
            q = q.normalized() * (kind(random) < 4 ? std::ldexp(1.0f, exponent(random)) : 1.0f);
        Eigen::Vector3f s(value(), value(), value());
        if (kind(random) < 10)
            s = Eigen::Vector3f(std::exp(unit(random) * 6), std::exp(unit(random) * 6), std::exp(unit(random) * 6));
        shapes.scales.push_back(s);
        shapes.rotations.push_back(q);
    }
    return shapes;
}

// The bounds one pass over the splats gives, written out here.
std::pair<Eigen::Vector3f, Eigen::Vector3f> OnePassBounds(const GaussianData& data)
{
    Eigen::Vector3f low = data.positions.front();
    Eigen::Vector3f high = data.positions.front();
    for (std::size_t i = 0; i < data.positions.size(); ++i) {
        const Eigen::Vector3f extent = SplatExtent(data.scales[i], data.rotations[i]);
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = data.positions[i][axis] - extent[axis] < low[axis] ? data.positions[i][axis] - extent[axis] : low[axis];
            high[axis] = data.positions[i][axis] + extent[axis] > high[axis] ? data.positions[i][axis] + extent[axis] : high[axis];
        }
    }
    return {low, high};
}

}  // namespace

TEST(SplatExtent, EveryPathGivesTheCovarianceExtentBitForBit)
{
    const Shapes shapes = MixedShapes(200'003, 7);  // not a whole number of batches
    std::vector<Eigen::Vector3f> batch(shapes.scales.size());
    SplatExtents(shapes.scales.data(), shapes.rotations.data(), shapes.scales.size(), batch.data());
    std::size_t zeros = 0;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const Eigen::Vector3f reference = ExtentFromCovariance(shapes.scales[i], shapes.rotations[i]);
        const Eigen::Vector3f single = SplatExtent(shapes.scales[i], shapes.rotations[i]);
        ASSERT_TRUE(SameBits(single, reference)) << "splat " << i << ": " << single.transpose() << " vs "
                                                 << reference.transpose();
        ASSERT_TRUE(SameBits(batch[i], reference)) << "splat " << i << ": " << batch[i].transpose() << " vs "
                                                   << reference.transpose();
        zeros += reference.isZero();
    }
    // Both kinds were exercised: usable shapes and ones whose extent falls back to zero.
    EXPECT_GT(zeros, batch.size() / 20);
    EXPECT_LT(zeros, batch.size() / 2);
}

TEST(SplatExtent, BoundsOverAPoolAreThoseOfOnePass)
{
    constexpr std::size_t kCount = 150'001;  // several ranges, the last one short
    const Shapes shapes = MixedShapes(kCount, 11);
    std::mt19937 random(5);
    std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
    GaussianData data;
    for (std::size_t i = 0; i < kCount; ++i)
        data.positions.emplace_back(coordinate(random), coordinate(random), coordinate(random));
    data.scales.assign(shapes.scales.begin(), shapes.scales.end());
    data.rotations.assign(shapes.rotations.begin(), shapes.rotations.end());
    // Where ranges meet and end: NaN centres, and the extreme reached by both zeros, the
    // later one in another range, so that keeping the first of equals shows.
    const Eigen::Vector4f identity(1, 0, 0, 0);
    const Eigen::Vector3f flat = Eigen::Vector3f::Zero();
    for (std::size_t i : {std::size_t{1}, std::size_t{40'000}, kCount - 1})
        data.positions[i] = Eigen::Vector3f(kNaN, 3.0f, kNaN);
    // y stays far above zero for every splat but two, whatever its extent.
    for (std::size_t i = 0; i < kCount; ++i) {
        data.positions[i][1] = std::fabs(data.positions[i][1]) + 1e30f;
        if (!(SplatExtent(data.scales[i], data.rotations[i])[1] < 1e29f))
            data.scales[i] = Eigen::Vector3f::Ones();
    }
    data.positions[20'000] = Eigen::Vector3f(0.0f, -0.0f, 0.0f);
    data.positions[90'000] = Eigen::Vector3f(0.0f, 0.0f, 0.0f);
    for (std::size_t i : {std::size_t{20'000}, std::size_t{90'000}}) {
        data.scales[i] = flat;
        data.rotations[i] = identity;
    }

    const auto [low, high] = OnePassBounds(data);
    ASSERT_EQ(std::signbit(low[1]), true) << "the test's -0 must be the first minimum of y";
    GaussianData serial = data;
    serial.ComputeBounds();
    ThreadPool pool(3);
    GaussianData pooled = data;
    pooled.ComputeBounds(&pool);
    // Positions that a loader finishes range by range as they are measured: far outside
    // every true bound until prepared, so a range measured before its preparation shows.
    const auto preparedBy = [&](ThreadPool* on) {
        GaussianData prepared = data;
        std::fill(prepared.positions.begin(), prepared.positions.end(), Eigen::Vector3f::Constant(-3e38f));
        prepared.ComputeBounds(on, [&](std::size_t first, std::size_t end) {
            std::copy(data.positions.begin() + first, data.positions.begin() + end, prepared.positions.begin() + first);
        });
        return prepared;
    };
    GaussianData preparedSerial = preparedBy(nullptr);
    GaussianData preparedPooled = preparedBy(&pool);
    for (const GaussianData* result : {&serial, &pooled, &preparedSerial, &preparedPooled}) {
        EXPECT_TRUE(SameBits(result->boundsMin, low)) << result->boundsMin.transpose() << " vs " << low.transpose();
        EXPECT_TRUE(SameBits(result->boundsMax, high)) << result->boundsMax.transpose() << " vs " << high.transpose();
    }
}
