#include "PeakMemory.h"
#include "document/Document.h"
#include "gl/HeadlessEglBackend.h"
#include "io/copc/CopcReader.h"
#include "io/laz/LazReader.h"
#include "platform/ThreadPool.h"
#include "scene/StreamedCloud.h"
#include "capture/ConsoleDesktop.h"
#include "view/SceneView.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

// Opening lone-star.copc.laz to its first complete frame (every node the view selects loaded
// and drawn, GL finished), read node by node through its hierarchy against read whole as LAZ.
// Under Mesa's llvmpipe the draw is a CPU figure. Run both in one process and compare them as
// a ratio: the machines are shared.

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

std::filesystem::path LoneStar()
{
    return std::filesystem::path(ORRISK_TESTDATA_DIR) / "laz" / "lone-star.copc.laz";
}

// A view as orrisk-render makes one: headless, sized, with the default display settings.
struct HeadlessView {
    ConsoleDesktop desktop;
    ThreadPool pool;
    Document document{desktop, &pool};
    SceneView view{desktop, [] { return std::make_unique<HeadlessEglBackend>(kWidth, kHeight); }};

    bool Create()
    {
        desktop.SetClientSize({kWidth, kHeight});
        view.SetDocument(&document);
        if (!view.Create())
            return false;
        view.OnSize(kWidth, kHeight);
        view.OnInitialUpdate();
        return true;
    }
    void DrawFinished()
    {
        view.OnDraw();
        glFinish();
    }
    ~HeadlessView() { view.OnDestroy(); }
};

void Report(benchmark::State& state, std::uint64_t peak, std::uint64_t before)
{
    state.counters["peakMiB"] = static_cast<double>(peak - before) / (1024.0 * 1024.0);
}

// waitForNodes false: the first frame the window shows, drawn with the root node alone while the
// others load; true: the first complete frame.
void BM_CopcFirstFrameStreamed(benchmark::State& state, bool waitForNodes)
{
    if (!std::filesystem::exists(LoneStar())) {
        state.SkipWithError("lone-star.copc.laz is not in ../shared/testdata");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<HeadlessView>();
        if (!view->Create()) {
            state.SkipWithError("no headless OpenGL 4.5 core context");
            return;
        }
        const std::uint64_t before = ResidentBytes();
        ResetPeakResidentBytes();
        state.ResumeTiming();
        if (!view->document.Open(LoneStar().string()) || !view->document.PointCloud() ||
            !view->document.PointCloud()->streamed) {
            state.SkipWithError("lone-star.copc.laz did not open streamed");
            return;
        }
        StreamedCloud& streamed = *view->document.PointCloud()->streamed;
        streamed.SetDrawWaitsForNodes(waitForNodes);
        view->DrawFinished();
        state.PauseTiming();
        Report(state, PeakResidentBytes(), before);
        state.counters["nodesLoaded"] = static_cast<double>(streamed.GetStats().loadedNodes);
        view.reset();
        state.ResumeTiming();
    }
}

void BM_CopcFirstFrameReadWhole(benchmark::State& state)
{
    if (!std::filesystem::exists(LoneStar())) {
        state.SkipWithError("lone-star.copc.laz is not in ../shared/testdata");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<HeadlessView>();
        if (!view->Create()) {
            state.SkipWithError("no headless OpenGL 4.5 core context");
            return;
        }
        const std::uint64_t before = ResidentBytes();
        ResetPeakResidentBytes();
        state.ResumeTiming();
        ReadResult<PointCloudData> whole = ReadLaz(LoneStar().string(), {{}, &view->pool});
        if (!whole) {
            state.SkipWithError(whole.Failure().reason.c_str());
            return;
        }
        view->document.SetScene(whole.TakeValue());
        view->DrawFinished();
        state.PauseTiming();
        Report(state, PeakResidentBytes(), before);
        view.reset();
        state.ResumeTiming();
    }
}

// The reads alone, without a view: the hierarchy and the root node against every point.
void BM_CopcReadStreamed(benchmark::State& state)
{
    ThreadPool pool;
    for (auto _ : state) {
        ReadResult<PointCloudData> read = ReadCopcStreamed(LoneStar().string(), {{}, &pool});
        if (!read) {
            state.SkipWithError(read.Failure().reason.c_str());
            return;
        }
        benchmark::DoNotOptimize(read.Value().streamed.get());
    }
}

void BM_CopcReadWhole(benchmark::State& state)
{
    ThreadPool pool;
    for (auto _ : state) {
        ReadResult<PointCloudData> read = ReadLaz(LoneStar().string(), {{}, &pool});
        if (!read) {
            state.SkipWithError(read.Failure().reason.c_str());
            return;
        }
        benchmark::DoNotOptimize(read.Value().positions.data());
    }
}

}  // namespace

BENCHMARK(BM_CopcReadStreamed)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_CopcReadWhole)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_CAPTURE(BM_CopcFirstFrameStreamed, rootOnly, false)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_CopcFirstFrameStreamed, complete, true)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CopcFirstFrameReadWhole)->Unit(benchmark::kMillisecond)->Iterations(5);
