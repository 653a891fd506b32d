#include "render/SplatDepthSort.h"

#include <benchmark/benchmark.h>

#include <Eigen/Core>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

// Back-to-front sorting of splat centres for one viewing direction, against std::sort of the
// same (key, index) pairs as a yardstick.

namespace {

// Splat centres spread through a 100 x 60 x 40 box, as a captured scene roughly is.
std::vector<Eigen::Vector3f> RandomCentres(std::size_t count)
{
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<Eigen::Vector3f> centres(count);
    for (auto& c : centres)
        c = Eigen::Vector3f(100.0f * unit(rng), 60.0f * unit(rng), 40.0f * unit(rng));
    return centres;
}

const Eigen::Vector3f kDirection = Eigen::Vector3f(0.3f, -0.5f, 0.8f).normalized();

void BM_SortByDepth(benchmark::State& state)
{
    const auto centres = RandomCentres(static_cast<std::size_t>(state.range(0)));
    std::vector<float> depthKeys;
    std::vector<uint32_t> radixKeys;
    std::vector<uint64_t> radixScratch;
    std::vector<uint32_t> order;
    // The renderer keeps its arrays between sorts: time the sorts after the first.
    SortSplatsByDepth(centres, kDirection, depthKeys, radixKeys, radixScratch, order);
    for (auto _ : state) {
        const bool sorted = SortSplatsByDepth(centres, kDirection, depthKeys, radixKeys, radixScratch, order);
        benchmark::DoNotOptimize(sorted);
        benchmark::DoNotOptimize(order.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_StdSortPairs(benchmark::State& state)
{
    const auto centres = RandomCentres(static_cast<std::size_t>(state.range(0)));
    std::vector<float> depthKeys;
    std::vector<uint32_t> radixKeys;
    std::vector<uint64_t> radixScratch;
    std::vector<uint32_t> order;
    SortSplatsByDepth(centres, kDirection, depthKeys, radixKeys, radixScratch, order);
    std::vector<std::pair<uint32_t, uint32_t>> unsorted(radixKeys.size());
    for (std::size_t j = 0; j < unsorted.size(); ++j)
        unsorted[j] = {radixKeys[j], static_cast<uint32_t>(j)};
    std::vector<std::pair<uint32_t, uint32_t>> pairs(unsorted.size());
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(unsorted.begin(), unsorted.end(), pairs.begin());
        state.ResumeTiming();
        std::sort(pairs.begin(), pairs.end());
        benchmark::DoNotOptimize(pairs.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_SortByDepth)->Arg(100000)->Arg(1000000)->Arg(6000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSortPairs)->Arg(100000)->Arg(1000000)->Arg(6000000)->Unit(benchmark::kMillisecond);
