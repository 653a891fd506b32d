#pragma once

#include <array>
#include <cstdint>

// Points are placed in the octree by a 63-bit Morton key: the point's cell at the finest level
// (kKeyLevels below the root cube), its x, y and z cell numbers interleaved with x in the
// lowest bit. A node at level l holds the points whose key starts with the node's 3 l bits, so
// sorting points by key lists every node's points side by side, children in COPC's order.
namespace octree {

inline constexpr int kKeyLevels = 21;
inline constexpr std::uint32_t kCellsPerAxis = 1u << kKeyLevels;

// The root cube in world coordinates and how a record's integer coordinates reach it.
struct CubeFrame {
    std::array<double, 3> minimum{};  // the cube's low corner
    double side = 1;
    std::array<double, 3> scale{1, 1, 1};
    std::array<double, 3> offset{};
};

// The smallest cube at the low corner of the points' bounds (world coordinates) that holds them.
CubeFrame CubeAround(const std::array<double, 3>& low, const std::array<double, 3>& high, const std::array<double, 3>& scale,
                     const std::array<double, 3>& offset);

inline std::uint64_t SpreadBits(std::uint32_t v)
{
    std::uint64_t x = v & 0x1FFFFF;
    x = (x | x << 32) & 0x1F00000000FFFFull;
    x = (x | x << 16) & 0x1F0000FF0000FFull;
    x = (x | x << 8) & 0x100F00F00F00F00Full;
    x = (x | x << 4) & 0x10C30C30C30C30C3ull;
    x = (x | x << 2) & 0x1249249249249249ull;
    return x;
}

inline std::uint32_t GatherBits(std::uint64_t x)
{
    x &= 0x1249249249249249ull;
    x = (x | x >> 2) & 0x10C30C30C30C30C3ull;
    x = (x | x >> 4) & 0x100F00F00F00F00Full;
    x = (x | x >> 8) & 0x1F0000FF0000FFull;
    x = (x | x >> 16) & 0x1F00000000FFFFull;
    x = (x | x >> 32) & 0x1FFFFF;
    return static_cast<std::uint32_t>(x);
}

inline std::uint64_t Interleave(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return SpreadBits(x) | SpreadBits(y) << 1 | SpreadBits(z) << 2;
}

inline std::array<std::uint32_t, 3> Deinterleave(std::uint64_t key)
{
    return {GatherBits(key), GatherBits(key >> 1), GatherBits(key >> 2)};
}

// The key of a LAS record (its X, Y and Z in the first 12 bytes, little-endian).
std::uint64_t RecordKey(const CubeFrame& frame, const unsigned char* record);

// The node at `level` that holds the point with this key, as the key's first 3 level bits.
inline std::uint64_t NodeOf(std::uint64_t key, int level)
{
    return level == 0 ? 0 : key >> (3 * (kKeyLevels - level));
}

// A node's cell numbers at its level (COPC's x, y and z of the key).
inline std::array<std::uint32_t, 3> NodeCell(std::uint64_t node)
{
    return Deinterleave(node);
}

}  // namespace octree
