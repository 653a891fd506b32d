#include "render/SplatDepthSort.h"

#include <gtest/gtest.h>

#include <Eigen/Core>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <optional>
#include <random>
#include <vector>

namespace {

using Positions = std::vector<Eigen::Vector3f>;
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The order written out the plain way: every key computed on its own, then four stable
// 8-bit counting passes that read the keys through the index array.
std::optional<std::vector<uint32_t>> ReferenceOrder(const Positions& positions, const Eigen::Vector3f& d)
{
    const std::size_t n = positions.size();
    std::vector<float> depths(n);
    float lo = kInf, hi = -kInf;
    for (std::size_t j = 0; j < n; ++j) {
        const Eigen::Vector3f& p = positions[j];
        const float depth = d.x() * p.x() + d.y() * p.y() + d.z() * p.z();
        depths[j] = depth;
        if (std::isfinite(depth)) {
            lo = std::min(lo, depth);
            hi = std::max(hi, depth);
        }
    }
    if (n == 0 || lo > hi || hi - lo < 1e-12)
        return std::nullopt;

    const float span = hi - lo;
    std::vector<uint32_t> keys(n);
    for (std::size_t j = 0; j < n; ++j) {
        if (!std::isfinite(depths[j])) {
            keys[j] = 0;
            continue;
        }
        double t = std::isfinite(span)
                       ? static_cast<double>(depths[j] - lo) * (4294967295.0 / span)
                       : (static_cast<double>(depths[j]) - lo) * (4294967295.0 / (static_cast<double>(hi) - lo));
        t = std::clamp(t, 0.0, 4294967295.0);
        keys[j] = ~static_cast<uint32_t>(t);
    }

    std::vector<uint32_t> order(n), scratch(n);
    std::iota(order.begin(), order.end(), 0u);
    for (int shift = 0; shift < 32; shift += 8) {
        std::vector<uint32_t> counts(256, 0);
        for (uint32_t index : order)
            ++counts[(keys[index] >> shift) & 255];
        std::exclusive_scan(counts.begin(), counts.end(), counts.begin(), 0u);
        for (uint32_t index : order)
            scratch[counts[(keys[index] >> shift) & 255]++] = index;
        std::swap(order, scratch);
    }
    return order;
}

struct Sorter {
    std::vector<float> depthKeys;
    std::vector<uint32_t> radixKeys;
    std::vector<uint64_t> radixScratch;
    std::vector<uint32_t> order;

    std::optional<std::vector<uint32_t>> Sort(const Positions& positions, const Eigen::Vector3f& d)
    {
        if (!SortSplatsByDepth(positions, d, depthKeys, radixKeys, radixScratch, order))
            return std::nullopt;
        return order;
    }
};

Positions AlongZ(std::initializer_list<float> depths)
{
    Positions positions;
    for (float z : depths)
        positions.emplace_back(0.0f, 0.0f, z);
    return positions;
}

const Eigen::Vector3f kAlongZ(0.0f, 0.0f, 1.0f);

TEST(SplatDepthSort, ListsTheFarthestSplatFirst)
{
    Sorter sorter;
    EXPECT_EQ(sorter.Sort(AlongZ({1.0f, 3.0f, 2.0f}), kAlongZ), (std::vector<uint32_t>{1, 2, 0}));
    // Looking the other way reverses the order.
    EXPECT_EQ(sorter.Sort(AlongZ({1.0f, 3.0f, 2.0f}), -kAlongZ), (std::vector<uint32_t>{0, 2, 1}));
}

TEST(SplatDepthSort, EqualDepthsKeepIndexOrder)
{
    Sorter sorter;
    EXPECT_EQ(sorter.Sort(AlongZ({2.0f, 5.0f, 2.0f, 5.0f, 2.0f}), kAlongZ), (std::vector<uint32_t>{1, 3, 0, 2, 4}));
}

TEST(SplatDepthSort, NothingToOrderLeavesTheOrderAlone)
{
    Sorter sorter;
    sorter.order = {7, 7};
    EXPECT_FALSE(sorter.Sort({}, kAlongZ));
    EXPECT_FALSE(sorter.Sort(AlongZ({4.0f}), kAlongZ));
    EXPECT_FALSE(sorter.Sort(AlongZ({4.0f, 4.0f, 4.0f}), kAlongZ));
    EXPECT_FALSE(sorter.Sort(AlongZ({kNaN, kInf, -kInf}), kAlongZ));
    // One finite depth among non-finite ones spans no range either.
    EXPECT_FALSE(sorter.Sort(AlongZ({kNaN, 1.0f, kInf}), kAlongZ));
    EXPECT_EQ(sorter.order, (std::vector<uint32_t>{7, 7}));
}

// Non-finite depths share key 0 with the farthest finite splat, so index order decides
// among them.
TEST(SplatDepthSort, NonFiniteDepthsComeFirstAsTheFarthest)
{
    Sorter sorter;
    EXPECT_EQ(sorter.Sort(AlongZ({1.0f, kNaN, 3.0f, -kInf, 2.0f, kInf}), kAlongZ),
              (std::vector<uint32_t>{1, 2, 3, 5, 4, 0}));
    // A dot product that overflows counts as non-finite; finite ones keep their order.
    Positions positions = AlongZ({1.0f, 2.0f});
    positions.emplace_back(3e38f, 3e38f, 0.0f);
    EXPECT_EQ(sorter.Sort(positions, Eigen::Vector3f(0.7071068f, 0.7071068f, 0.0f) + kAlongZ),
              (std::vector<uint32_t>{1, 2, 0}));
}

TEST(SplatDepthSort, DepthRangeBeyondSinglePrecisionStillOrders)
{
    Sorter sorter;
    // hi - lo overflows a float here.
    const Positions positions = AlongZ({-3e38f, 3e38f, 0.0f, 1e38f, -2e38f});
    EXPECT_EQ(sorter.Sort(positions, kAlongZ), (std::vector<uint32_t>{1, 3, 2, 4, 0}));
    EXPECT_EQ(sorter.Sort(positions, kAlongZ), ReferenceOrder(positions, kAlongZ));
}

// Random scenes of many shapes, each compared with the reference bit for bit. One sorter is
// reused throughout, so stale scratch from a larger or smaller sort would show.
TEST(SplatDepthSort, MatchesThePlainAlgorithmExactly)
{
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
    std::uniform_int_distribution<int> gridStep(-3, 3);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    Sorter sorter;

    const std::size_t sizes[] = {2, 3, 7, 8, 9, 15, 16, 17, 100, 2047, 2048, 2049, 5000, 70001, 300000, 33};
    int scene = 0;
    for (std::size_t n : sizes) {
        for (int shape = 0; shape < 4; ++shape, ++scene) {
            Positions positions(n);
            for (auto& p : positions) {
                if (shape == 1)  // few distinct depths: long runs of equal keys
                    p = Eigen::Vector3f(float(gridStep(rng)), float(gridStep(rng)), float(gridStep(rng)));
                else if (shape == 3)  // a tight cluster with far outliers
                    p = Eigen::Vector3f(coordinate(rng), coordinate(rng), coordinate(rng)) * (rng() % 100 == 0 ? 1e6f : 1e-3f);
                else
                    p = Eigen::Vector3f(coordinate(rng), coordinate(rng), coordinate(rng));
            }
            if (shape == 2) {  // non-finite coordinates sprinkled in
                for (std::size_t k = 0; k < n / 10 + 1; ++k)
                    positions[rng() % n][rng() % 3] = (k % 3 == 0) ? kNaN : (k % 3 == 1 ? kInf : -kInf);
            }
            const Eigen::Vector3f d = Eigen::Vector3f(unit(rng), unit(rng), unit(rng)).normalized();
            const auto expected = ReferenceOrder(positions, d);
            ASSERT_EQ(sorter.Sort(positions, d), expected) << "scene " << scene << ", " << n << " splats, shape " << shape;
        }
    }
}

// Up to 2^22 splats the last pass reads index and digit packed into one word; one more
// splat takes the other road. Long runs of ties show whether every index bit survives.
TEST(SplatDepthSort, MatchesThePlainAlgorithmOnBothSidesOfThePackedIndexLimit)
{
    Sorter sorter;
    for (std::size_t n : {std::size_t{1} << 22, (std::size_t{1} << 22) + 1}) {
        // Scattered over a small grid by a multiplicative hash (cheap in sanitizer builds).
        Positions positions(n);
        for (std::size_t i = 0; i < n; ++i) {
            const uint32_t h = static_cast<uint32_t>(i) * 2654435761u;
            positions[i] = Eigen::Vector3f(float(h % 81), float((h >> 8) % 81), float((h >> 16) % 81));
        }
        positions[n - 1].x() = kNaN;
        const Eigen::Vector3f d = Eigen::Vector3f(0.2f, -0.7f, 0.4f).normalized();
        ASSERT_EQ(sorter.Sort(positions, d), ReferenceOrder(positions, d)) << n << " splats";
    }
}

TEST(SplatDepthSort, RepeatedSortsOfOneSceneReuseTheirArrays)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coordinate(0.0f, 10.0f);
    Positions positions(50000);
    for (auto& p : positions)
        p = Eigen::Vector3f(coordinate(rng), coordinate(rng), coordinate(rng));

    Sorter sorter;
    ASSERT_TRUE(sorter.Sort(positions, kAlongZ));
    const void* arrays[] = {sorter.depthKeys.data(), sorter.radixKeys.data(), sorter.radixScratch.data(),
                            sorter.order.data()};
    ASSERT_TRUE(sorter.Sort(positions, Eigen::Vector3f(1.0f, 0.0f, 0.0f)));
    ASSERT_TRUE(sorter.Sort(Positions(positions.begin(), positions.begin() + 1000), kAlongZ));
    const void* after[] = {sorter.depthKeys.data(), sorter.radixKeys.data(), sorter.radixScratch.data(),
                           sorter.order.data()};
    EXPECT_TRUE(std::equal(std::begin(arrays), std::end(arrays), std::begin(after)));
}

}  // namespace
