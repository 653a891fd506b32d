#pragma once

#include <cstdint>
#include <vector>

namespace octree {

// A point's key and where its record is.
struct KeyedRow {
    std::uint64_t key = 0;
    std::uint32_t row = 0;
};

// Sorts by key, keeping the given order among equal keys (a byte-wise radix sort; bytes that
// every key shares cost one counting pass). scratch is resized as needed and can be reused.
void SortByKey(std::vector<KeyedRow>& rows, std::vector<KeyedRow>& scratch);

}  // namespace octree
