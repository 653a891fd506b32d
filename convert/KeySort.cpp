#include "convert/KeySort.h"

#include <array>
#include <cstddef>
#include <utility>

namespace octree {

void SortByKey(std::vector<KeyedRow>& rows, std::vector<KeyedRow>& scratch)
{
    constexpr int kDigits = 8;
    const std::size_t n = rows.size();
    if (n < 2)
        return;
    // All histograms in one pass over the keys.
    std::vector<std::array<std::size_t, 256>> counts(kDigits);
    for (auto& histogram : counts)
        histogram.fill(0);
    for (const KeyedRow& row : rows)
        for (int digit = 0; digit < kDigits; ++digit)
            ++counts[digit][(row.key >> (8 * digit)) & 0xFF];

    scratch.resize(n);
    for (int digit = 0; digit < kDigits; ++digit) {
        auto& histogram = counts[digit];
        if (histogram[(rows[0].key >> (8 * digit)) & 0xFF] == n)
            continue;  // every key has this byte
        std::size_t start = 0;
        for (std::size_t& count : histogram)
            start += std::exchange(count, start);
        for (const KeyedRow& row : rows)
            scratch[histogram[(row.key >> (8 * digit)) & 0xFF]++] = row;
        rows.swap(scratch);
    }
}

}  // namespace octree
