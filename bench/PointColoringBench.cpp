#include "gl/GlSurface.h"
#include "gl/HeadlessEglBackend.h"
#include "io/las/LasReader.h"
#include "render/PointBudget.h"
#include "render/PointCloudRenderer.h"
#include "scene/PointCloudData.h"
#include "view/ViewCamera.h"

#include "BenchData.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

// Colour modes and eye-dome lighting on the 20M-point LAS cloud, drawn headless at 1280 x 720.
// Under Mesa's llvmpipe these are CPU figures; compare the rows of one run, not runs.

namespace {

const PointCloudData* BenchCloud()
{
    static std::unique_ptr<PointCloudData> cloud = [] {
        ReadResult<PointCloudData> read = ReadLas(BenchDataFile("cloud-20m-f3.las").string());
        return read ? std::make_unique<PointCloudData>(read.TakeValue()) : nullptr;
    }();
    return cloud.get();
}

// Every k-th point, attributes included: what a point budget of `budget` draws when the
// camera sees the whole cloud (the level-of-detail selection spreads its points evenly).
PointCloudData EvenSubset(const PointCloudData& cloud, std::size_t budget)
{
    const std::size_t stride = std::max<std::size_t>(1, (cloud.positions.size() + budget - 1) / budget);
    PointCloudData subset;
    subset.origin = cloud.origin;
    subset.hasColors = cloud.hasColors;
    subset.upAxis = cloud.upAxis;
    for (std::size_t i = 0; i < cloud.positions.size(); i += stride) {
        subset.positions.push_back(cloud.positions[i]);
        if (cloud.hasColors)
            subset.colors.push_back(cloud.colors[i]);
        if (!cloud.intensity.empty()) {
            subset.intensity.push_back(cloud.intensity[i]);
            subset.classification.push_back(cloud.classification[i]);
            subset.returnNumber.push_back(cloud.returnNumber[i]);
            subset.numberOfReturns.push_back(cloud.numberOfReturns[i]);
        }
    }
    subset.ComputeBounds();
    return subset;
}

ViewCamera CameraOn(const PointCloudData& cloud)
{
    ViewCamera camera;
    camera.fovY = 1.0471976f;
    const Eigen::Vector3f eye = cloud.center + Eigen::Vector3f(0.0f, -1.2f, 1.0f) * cloud.radius;
    camera.SetLookAt(eye, cloud.center, Eigen::Vector3f::UnitZ());
    camera.UpdateClipPlanes(cloud.boundsMin, cloud.boundsMax);
    return camera;
}

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

// Arguments: EDL strength x 10, points drawn (0: the software renderer's point budget).
void BM_PointFrame(benchmark::State& state)
{
    const PointCloudData* cloud = BenchCloud();
    if (!RequireBenchFile(state, BenchDataFile("cloud-20m-f3.las")) || !cloud)
        return;
    GlSurface surface;
    if (!CreateHeadlessGlSurface(surface, kWidth, kHeight)) {
        state.SkipWithError("no headless OpenGL 4.5 core context");
        return;
    }
    {
        const std::size_t budget = state.range(1) > 0 ? static_cast<std::size_t>(state.range(1)) : kSoftwarePointBudget;
        const PointCloudData drawn = budget >= cloud->positions.size() ? *cloud : EvenSubset(*cloud, budget);
        PointCloudRenderer renderer;
        PointStyle style;
        style.colorMode = ColorMode::Elevation;
        style.edlStrength = static_cast<float>(state.range(0)) / 10.0f;
        renderer.SetPointStyle(style);
        if (!renderer.UploadPoints(drawn)) {
            state.SkipWithError("upload refused");
        } else {
            const ViewCamera camera = CameraOn(*cloud);
            const Eigen::Matrix4f view = camera.ViewMatrix();
            const Eigen::Matrix4f projection = camera.ProjectionMatrix(float(kWidth) / float(kHeight));
            glFinish();
            for (auto _ : state) {
                glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                renderer.Draw(view, projection);
                glFinish();
            }
            state.counters["points"] = static_cast<double>(drawn.positions.size());
            state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
        }
        renderer.ReleaseGpuResources();
    }
    ReleaseGlSurface(surface);
}

// Switching the colour mode of the whole 20M-point cloud once it is uploaded: a uniform
// changes, nothing is uploaded (the position buffer stays the same object). Timed: the switch
// and the GL work it causes before the next frame (glFinish), not the frame itself. The
// counter attributeUploadMs is the one-off cost at upload of the attribute buffers and the
// percentile stretches.
void BM_ColorModeSwitch(benchmark::State& state)
{
    const PointCloudData* cloud = BenchCloud();
    if (!RequireBenchFile(state, BenchDataFile("cloud-20m-f3.las")) || !cloud)
        return;
    GlSurface surface;
    if (!CreateHeadlessGlSurface(surface, kWidth, kHeight)) {
        state.SkipWithError("no headless OpenGL 4.5 core context");
        return;
    }
    {
        PointCloudRenderer renderer;
        if (!renderer.UploadPoints(*cloud)) {
            state.SkipWithError("upload refused");
        } else {
            const GLuint positions = renderer.PositionBuffer();
            PointColorBuffers attributes;
            const auto start = std::chrono::steady_clock::now();
            attributes.Upload(*cloud, GlVertexArray::Create());
            glFinish();
            const double uploadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            attributes.ReleasePalette();
            std::size_t next = 0;
            PointStyle style;
            for (auto _ : state) {
                style.colorMode = kColorModes[next++ % kColorModes.size()];
                renderer.SetPointStyle(style);
                glFinish();
            }
            state.counters["attributeUploadMs"] = uploadMs;
            state.counters["positionsReuploaded"] = renderer.PositionBuffer() != positions ? 1.0 : 0.0;
            state.counters["points"] = static_cast<double>(cloud->positions.size());
        }
        renderer.ReleaseGpuResources();
    }
    ReleaseGlSurface(surface);
}

}  // namespace

BENCHMARK(BM_PointFrame)
    ->ArgNames({"edlX10", "points"})
    ->Args({0, 0})
    ->Args({10, 0})
    ->Args({0, 20000000})
    ->Args({10, 20000000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ColorModeSwitch)->Unit(benchmark::kMicrosecond)->UseRealTime();
