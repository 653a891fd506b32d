#include "scene/GaussianData.h"
#include "gl/GlSurface.h"
#include "gl/HeadlessEglBackend.h"
#include "render/GaussianSplatRenderer.h"
#include "view/ViewCamera.h"

#include <benchmark/benchmark.h>

#include <Eigen/Core>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

// One frame of a synthetic splat scene drawn into a headless framebuffer, GL finished. Under
// Mesa's llvmpipe this is a CPU figure, useful for trends only.

namespace {

// Small splats of random size, turn, colour and opacity spread through a 10 x 6 x 4 box.
GaussianData SyntheticScene(std::size_t count, int shDegree)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    GaussianData data;
    data.positions.resize(count);
    data.shDc.resize(count);
    data.opacities.resize(count);
    data.scales.resize(count);
    data.rotations.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        data.positions[i] = Eigen::Vector3f(10.0f * unit(rng) - 5.0f, 6.0f * unit(rng) - 3.0f, 4.0f * unit(rng) - 2.0f);
        data.shDc[i] = Eigen::Vector3f(normal(rng), normal(rng), normal(rng));
        data.opacities[i] = 0.1f + 0.9f * unit(rng);
        for (int axis = 0; axis < 3; ++axis)
            data.scales[i][axis] = 0.01f * std::exp(2.0f * unit(rng));
        data.rotations[i] = Eigen::Vector4f(normal(rng), normal(rng), normal(rng), normal(rng)).normalized();
    }
    if (shDegree > 0) {
        data.shDegree = shDegree;
        data.shRestCount = 3 * ((shDegree + 1) * (shDegree + 1) - 1);
        data.shRest.resize(count * std::size_t(data.shRestCount));
        for (float& c : data.shRest)
            c = 0.1f * normal(rng);
    }
    data.ComputeBounds();
    return data;
}

// Looking at the box from slightly above, through the view's own camera.
ViewCamera CameraOnTheBox()
{
    ViewCamera camera;
    camera.fovY = 1.0471976f;
    camera.nearPlane = 0.1f;
    camera.farPlane = 100.0f;
    camera.SetLookAt(Eigen::Vector3f(0.0f, 1.0f, 10.0f), Eigen::Vector3f::Zero(), Eigen::Vector3f::UnitY());
    return camera;
}

bool IsSoftwareRenderer()
{
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return name && (std::strstr(name, "llvmpipe") || std::strstr(name, "softpipe"));
}

// Arguments: splat count, width, height, SH degree.
void DrawFrames(benchmark::State& state, bool hardwareOnly)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const int width = static_cast<int>(state.range(1));
    const int height = static_cast<int>(state.range(2));
    GlSurface surface;
    if (!CreateHeadlessGlSurface(surface, width, height)) {
        state.SkipWithError("no headless OpenGL 4.5 core context");
        return;
    }
    if (hardwareOnly && IsSoftwareRenderer()) {
        ReleaseGlSurface(surface);
        state.SkipWithError("needs a GPU");
        return;
    }
    {
        GaussianSplatRenderer renderer;
        if (!renderer.UploadSplats(SyntheticScene(count, static_cast<int>(state.range(3))))) {
            state.SkipWithError("upload refused");
        } else {
            const ViewCamera camera = CameraOnTheBox();
            const Eigen::Matrix4f view = camera.ViewMatrix();
            const Eigen::Matrix4f projection = camera.ProjectionMatrix(float(width) / float(height));
            renderer.SortNow(view);  // same view throughout: no re-sort while timing
            glFinish();
            for (auto _ : state) {
                glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                renderer.Draw(view, projection);
                glFinish();
            }
            state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
        }
        renderer.ReleaseGpuResources();
    }
    ReleaseGlSurface(surface);
}

void BM_SplatDraw(benchmark::State& state)
{
    DrawFrames(state, false);
}

void BM_SplatDrawGpu(benchmark::State& state)
{
    DrawFrames(state, true);
}

}  // namespace

// llvmpipe allows 128 MiB per storage buffer: degree-3 SH of 1M splats would not fit.
BENCHMARK(BM_SplatDraw)->Args({1000000, 1280, 720, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SplatDrawGpu)
    ->Args({1000000, 1920, 1080, 3})
    ->Args({6000000, 1920, 1080, 3})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
