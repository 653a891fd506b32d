#pragma once

#include <Eigen/Core>

#include <cstdint>
#include <span>
#include <vector>

// Back-to-front draw order of splats for one viewing direction.
//
// Each splat's depth is d.x * p.x + d.y * p.y + d.z * p.z (single precision, in that order).
// The finite depths are quantised over their range [lo, hi] to 32-bit keys,
//   t = double(depth - lo) * (4294967295.0 / (hi - lo)), clamped to [0, 4294967295],
//   key = ~uint32(t),
// and the splats are listed by ascending key: the farthest splat first, equal keys in
// ascending index order. A depth that is NaN or infinite (a non-finite position, or a dot
// product that overflows) gets key 0, the key of the farthest finite splat: such splats come
// first, as if they were the farthest.
// When hi - lo overflows single precision the key arithmetic is done in double precision.
//
// Returns false and leaves `order` as it was when there is nothing to order: no splats, no
// finite depth, every finite depth within 1e-12 of the others, or more splats than 32-bit
// indices can name. Otherwise `order` holds a permutation of 0 .. n-1.
//
// The three scratch arrays (and `order`) are only ever grown: a sorter that keeps them between
// sorts allocates nothing once they have reached the scene's size. `depthKeys` ends up holding
// the depths; `radixKeys` (keys) and `radixScratch` ((key, index) pairs) are working memory.
bool SortSplatsByDepth(std::span<const Eigen::Vector3f> positions, const Eigen::Vector3f& direction,
                       std::vector<float>& depthKeys, std::vector<uint32_t>& radixKeys,
                       std::vector<uint64_t>& radixScratch, std::vector<uint32_t>& order);
