#include "BenchData.h"
#include "BenchPool.h"
#include "PeakMemory.h"

#include "io/ply/PlyFile.h"
#include "io/ply/PlyReader.h"
#include "scene/PointCloudData.h"

#include <algorithm>
#include <vector>

namespace {

// Reports the file's size as the bytes processed and the most memory one iteration held
// beyond what the process had before it.
class MemoryAndThroughput {
public:
    explicit MemoryAndThroughput(const std::filesystem::path& path) : m_fileBytes(std::filesystem::file_size(path)) {}

    void BeginIteration()
    {
        m_before = ResidentBytes();
        ResetPeakResidentBytes();
    }
    void EndIteration() { m_peakExtra = std::max(m_peakExtra, PeakResidentBytes() - std::min(m_before, PeakResidentBytes())); }

    void Report(benchmark::State& state) const
    {
        state.SetBytesProcessed(static_cast<int64_t>(m_fileBytes) * state.iterations());
        state.counters["file_MB"] = static_cast<double>(m_fileBytes) / 1e6;
        state.counters["peak_MB"] = static_cast<double>(m_peakExtra) / 1e6;
    }

private:
    std::uintmax_t m_fileBytes;
    std::uint64_t m_before = 0;
    std::uint64_t m_peakExtra = 0;
};

}  // namespace

// The Gaussian splat reader's pattern: read the file, then take every property as float
// (the results are kept until the end of the iteration, as a reader keeps them).
static void BM_PlyParseAndValuesAsFloat(benchmark::State& state, const char* name)
{
    const auto path = BenchDataFile(name);
    if (!RequireBenchFile(state, path))
        return;
    MemoryAndThroughput meter(path);
    for (auto _ : state) {
        meter.BeginIteration();
        {
            const orrisk::ply::PlyFile ply(path.string());
            std::vector<std::vector<float>> columns;
            for (const orrisk::ply::PlyElement& element : ply.elements)
                for (const auto& property : element.properties)
                    columns.push_back(element.ValuesAs<float>(property->name));
            benchmark::DoNotOptimize(columns.data());
            meter.EndIteration();
        }
    }
    meter.Report(state);
}
BENCHMARK_CAPTURE(BM_PlyParseAndValuesAsFloat, splat_1m_sh3, "splat-1m-sh3.ply")->Unit(benchmark::kMillisecond);

// A point cloud opened as the document opens it (a fresh record, as on a first open).
static void BM_LoadPly(benchmark::State& state, const char* name, bool onPool)
{
    const auto path = BenchDataFile(name);
    if (!RequireBenchFile(state, path))
        return;
    MemoryAndThroughput meter(path);
    for (auto _ : state) {
        meter.BeginIteration();
        {
            ReadResult<PointCloudData> result = ReadPly(path.string(), BenchReadOptions(onPool));
            if (!result) {
                state.SkipWithError(result.Failure().reason.c_str());
                return;
            }
            const PointCloudData cloud = result.TakeValue();
            benchmark::DoNotOptimize(cloud.positions.data());
            meter.EndIteration();
        }
    }
    meter.Report(state);
}
BENCHMARK_CAPTURE(BM_LoadPly, cloud_10m_rgb, "cloud-10m-rgb.ply", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadPly, cloud_10m_rgb_pool, "cloud-10m-rgb.ply", true)->Unit(benchmark::kMillisecond);
