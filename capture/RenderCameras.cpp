#include "capture/RenderCameras.h"

#include "capture/ConsoleDesktop.h"
#include "gl/HeadlessEglBackend.h"
#include "view/SceneView.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>

std::optional<RgbImage> DrawViewImage(ConsoleDesktop& desktop, SceneView& view, double* drawMilliseconds)
{
    auto* headless = dynamic_cast<HeadlessEglBackend*>(view.GlBackend());
    if (!headless)
        return std::nullopt;
    // The splats are ordered for exactly this camera before the frame is drawn, so Draw finds
    // the order current. A background sort that Draw might still start (when every splat
    // lies at one depth) could only change a later frame, and the next re-sort drops it.
    view.RequestSplatResort();

    const auto start = std::chrono::steady_clock::now();
    view.OnDraw();
    glFinish();
    const std::chrono::duration<double, std::milli> drawTime = std::chrono::steady_clock::now() - start;
    if (drawMilliseconds)
        *drawMilliseconds = drawTime.count();

    const ClientSize size = headless->DrawableSize();
    RgbImage image = RgbImageFromGlRgba(headless->ReadColorImage(), size.width, size.height);
    // Wake-ups of a sort thread have nothing to repaint here.
    desktop.DeliverPostedWakes([&view] { view.OnWake(); });
    if (image.pixels.empty())
        return std::nullopt;
    return image;
}

CameraRender ViewCameraRender(ConsoleDesktop& desktop, SceneView& view)
{
    return [&desktop, &view](const CameraFrame& frame, float fallbackFovY, int width, int height,
                             const std::optional<PinholeIntrinsics>& intrinsics) -> std::optional<RgbImage> {
        auto* headless = dynamic_cast<HeadlessEglBackend*>(view.GlBackend());
        if (!headless)
            return std::nullopt;
        const ClientSize size = headless->DrawableSize();
        if (size.width != width || size.height != height) {
            const ViewContext context = view.Context();
            if (!context || !headless->SetSize(width, height))
                return std::nullopt;
            desktop.SetClientSize({width, height});
            view.OnSize(width, height);
        }
        view.ApplyCameraPose(frame, fallbackFovY);
        view.SetPinhole(intrinsics);
        return DrawViewImage(desktop, view);
    };
}

bool RenderFlyThrough(ConsoleDesktop& desktop, SceneView& view, const CameraPoseSet& poses,
                      const std::filesystem::path& out, const FlyThroughOptions& options)
{
    const auto progress = [](std::size_t done, std::size_t total) {
        std::fprintf(stderr, "\rorrisk-render: frame %zu of %zu", done, total);
        if (done == total)
            std::fputc('\n', stderr);
        std::fflush(stderr);
        return true;
    };
    std::string error;
    if (!WriteFlyThrough(out, poses, options, ViewCameraRender(desktop, view), progress, error)) {
        std::cerr << "\norrisk-render: cannot write " << out.string() << ": " << error << "\n";
        return false;
    }
    std::printf("%s\n", out.string().c_str());
    return true;
}

bool RenderComparison(ConsoleDesktop& desktop, SceneView& view, const CameraPoseSet& poses,
                      const std::filesystem::path& csvPath, const CompareOptions& options)
{
    const auto onRow = [](const CompareRow& row, std::size_t total) {
        std::fprintf(stderr, "orrisk-render: camera %zu of %zu %s: ", row.index + 1, total, row.image.c_str());
        if (row.psnr && row.ssim)
            std::fprintf(stderr, "PSNR %.2f dB, SSIM %.4f%s%s\n", *row.psnr, *row.ssim, row.note.empty() ? "" : ", ",
                         row.note.c_str());
        else
            std::fprintf(stderr, "%s\n", row.note.c_str());
    };
    const std::vector<CompareRow> rows = CompareWithPhotos(poses, options, ViewCameraRender(desktop, view), onRow);
    const std::string csv = CompareCsv(rows);
    std::filesystem::path partial = csvPath;
    partial += ".part";
    {
        std::ofstream stream(partial, std::ios::binary | std::ios::trunc);
        stream << csv;
        if (!stream.flush()) {
            std::cerr << "orrisk-render: cannot write " << csvPath.string() << "\n";
            std::error_code ec;
            std::filesystem::remove(partial, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(partial, csvPath, ec);
    if (ec) {
        std::cerr << "orrisk-render: cannot write " << csvPath.string() << ": " << ec.message() << "\n";
        return false;
    }
    std::printf("%s\n", csvPath.string().c_str());
    return true;
}
