#include "BenchData.h"

// The plain read of every benchmark input, so each reader's figure has its floor beside it.
static void BM_PlainRead(benchmark::State& state, const char* name)
{
    const auto path = BenchDataFile(name);
    if (!RequireBenchFile(state, path))
        return;
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes = PlainReadIntoFreshBuffer(path);
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}
BENCHMARK_CAPTURE(BM_PlainRead, cloud_20m_f3, "cloud-20m-f3.las")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlainRead, cloud_10m_rgb, "cloud-10m-rgb.ply")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlainRead, splat_1m_sh3, "splat-1m-sh3.ply")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
