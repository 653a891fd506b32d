#include "BenchData.h"
#include "PeakMemory.h"

#include "io/las/LasReader.h"
#include "platform/ThreadPool.h"
#include "render/CloudReorder.h"
#include "render/OctreeSelection.h"
#include "render/PointOctree.h"
#include "scene/PointCloudData.h"

#include <Eigen/Geometry>

#include <sys/resource.h>

#include <memory>

namespace {

// The cloud is read once per process; every iteration works on a fresh copy of its arrays.
const PointCloudData* CachedCloud(benchmark::State& state, const char* name)
{
    static std::unique_ptr<PointCloudData> cloud;
    if (!cloud) {
        const auto path = BenchDataFile(name);
        if (!RequireBenchFile(state, path))
            return nullptr;
        ReadResult<PointCloudData> loaded = ReadLas(path.string());
        if (!loaded) {
            state.SkipWithError(loaded.Failure().reason.c_str());
            return nullptr;
        }
        cloud = std::make_unique<PointCloudData>(loaded.TakeValue());
    }
    return cloud.get();
}

// CPU seconds of every thread of the process so far: unlike the wall time, it does not grow
// when other work shares the cores.
double ProcessCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

double MiB(std::uint64_t bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

}  // namespace

// The octree build as the viewer runs it after a load: the tree on the shared pool, then
// positions and colours put into node order. tree_MiB is what the tree keeps (nodes and the
// order); build_peak_MiB what the build needed above the arrays at its peak; cpu_s the CPU time
// of all threads for one build.
static void BM_OctreeBuild(benchmark::State& state, const char* name)
{
    const PointCloudData* source = CachedCloud(state, name);
    if (!source)
        return;
    ThreadPool pool;
    std::size_t nodes = 0, treeBytes = 0;
    int depth = 0;
    std::uint64_t buildPeak = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PointCloudData cloud = *source;
        const std::uint64_t before = ResidentBytes();
        ResetPeakResidentBytes();
        const double cpuBefore = ProcessCpuSeconds();
        state.ResumeTiming();

        auto tree = BuildPointOctree(cloud.positions, CancellationToken(), &pool);
        if (!tree) {
            state.SkipWithError("build failed");
            return;
        }
        ReorderCloudToOctree(cloud, tree->order, &pool);
        benchmark::DoNotOptimize(cloud.positions.data());

        state.PauseTiming();
        cpuSeconds += ProcessCpuSeconds() - cpuBefore;
        buildPeak = PeakResidentBytes() - before;
        nodes = tree->nodes.size();
        treeBytes = tree->nodes.capacity() * sizeof(OctreeNode) + tree->order.capacity() * sizeof(std::uint32_t);
        depth = tree->nodes.empty() ? 0 : tree->nodes.back().depth + 1;
        state.ResumeTiming();
    }
    const std::uint64_t arrays = source->positions.size() * sizeof(Eigen::Vector3f) + source->colors.size() * sizeof(Eigen::Vector4f);
    state.counters["points"] = double(source->positions.size());
    state.counters["cpu_s"] = cpuSeconds / double(state.iterations());
    state.counters["nodes"] = double(nodes);
    state.counters["depth"] = depth;
    state.counters["arrays_MiB"] = MiB(arrays);
    state.counters["tree_MiB"] = MiB(treeBytes);
    state.counters["build_peak_MiB"] = MiB(buildPeak);
    state.SetItemsProcessed(static_cast<int64_t>(source->positions.size()) * state.iterations());
}
BENCHMARK_CAPTURE(BM_OctreeBuild, cloud_20m_f3, "cloud-20m-f3.las")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// One frame's node selection at the software renderer's budget, the whole cloud in view.
static void BM_OctreeSelect(benchmark::State& state, const char* name)
{
    const PointCloudData* source = CachedCloud(state, name);
    if (!source)
        return;
    ThreadPool pool;
    auto tree = BuildPointOctree(source->positions, CancellationToken(), &pool);
    if (!tree) {
        state.SkipWithError("build failed");
        return;
    }
    const Eigen::Vector3f center = tree->rootBounds.center();
    const float size = tree->rootBounds.sizes().maxCoeff();
    const Eigen::Vector3f eye = center + Eigen::Vector3f(0, -1.2f, 1.0f) * size;
    // A 60-degree perspective looking at the centre.
    const Eigen::Vector3f f = (center - eye).normalized(), s = f.cross(Eigen::Vector3f::UnitZ()).normalized(), u = s.cross(f);
    Eigen::Matrix4f view = Eigen::Matrix4f::Identity();
    view.block<1, 3>(0, 0) = s.transpose();
    view.block<1, 3>(1, 0) = u.transpose();
    view.block<1, 3>(2, 0) = -f.transpose();
    view.block<3, 1>(0, 3) = -view.block<3, 3>(0, 0) * eye;
    const float n = size * 0.01f, fa = size * 10, t = 1.0f / std::tan(0.5236f);
    Eigen::Matrix4f projection = Eigen::Matrix4f::Zero();
    projection(0, 0) = t / 1.5f;
    projection(1, 1) = t;
    projection(2, 2) = (fa + n) / (n - fa);
    projection(2, 3) = 2 * fa * n / (n - fa);
    projection(3, 2) = -1;
    const SelectionView selectionView{projection * view, 1080};
    OctreeSelection selection;
    for (auto _ : state) {
        selection = SelectOctreeNodes(*tree, selectionView, state.range(0));
        benchmark::DoNotOptimize(selection.firsts.data());
    }
    state.counters["drawn"] = double(selection.drawnPoints);
    state.counters["nodes_drawn"] = double(selection.nodesDrawn);
    state.counters["ranges"] = double(selection.firsts.size());
}
BENCHMARK_CAPTURE(BM_OctreeSelect, cloud_20m_f3, "cloud-20m-f3.las")->Arg(250'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
