#include "platform/LargeAllocation.h"

#include <Eigen/Core>
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

TEST(LargeAllocation, LargeBlocksAreHugePageAlignedAndWritable)
{
    const std::size_t bytes = 5 * kLargeAllocationThreshold + 123;
    auto* block = static_cast<unsigned char*>(AllocateLarge(bytes));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kLargeAllocationThreshold, 0u);
    block[0] = 1;
    block[bytes - 1] = 2;
    EXPECT_EQ(block[0] + block[bytes - 1], 3);
    FreeLarge(block, bytes);
}

TEST(LargeAllocation, SmallBlocksComeFromTheHeap)
{
    void* zero = AllocateLarge(0);
    EXPECT_NE(zero, nullptr);
    FreeLarge(zero, 0);
    auto* small = static_cast<int*>(AllocateLarge(64 * sizeof(int)));
    std::iota(small, small + 64, 0);
    EXPECT_EQ(small[63], 63);
    FreeLarge(small, 64 * sizeof(int));
}

TEST(LargeAllocation, ImpossibleSizesThrowInsteadOfWrapping)
{
    EXPECT_THROW(AllocateLarge(std::size_t(-1) - 16), std::bad_alloc);
    LargeArrayAllocator<Eigen::Vector4f> allocator;
    EXPECT_THROW(allocator.allocate(std::size_t(-1) / 8), std::bad_array_new_length);
}

TEST(LargeArray, BehavesAsAVectorAcrossTheThreshold)
{
    LargeArray<Eigen::Vector3f> positions;
    // Growth moves the elements from heap blocks into mapped blocks and between mapped blocks.
    const std::size_t count = 3 * kLargeAllocationThreshold / sizeof(Eigen::Vector3f);
    for (std::size_t i = 0; i < count; ++i)
        positions.push_back(Eigen::Vector3f(float(i), 0.0f, -float(i)));
    EXPECT_EQ(positions[count - 1].x(), float(count - 1));
    EXPECT_EQ(positions[12345].z(), -12345.0f);
    LargeArray<Eigen::Vector3f> copy = positions;
    EXPECT_EQ(copy, positions);
    positions.clear();
    positions.shrink_to_fit();
    EXPECT_EQ(copy.size(), count);
}

TEST(LargeArray, ValuesPassedToResizeAreStored)
{
    LargeArray<float> values;
    values.resize(10, 2.5f);
    EXPECT_EQ(std::accumulate(values.begin(), values.end(), 0.0f), 25.0f);
}
