#include "capture/FlyThrough.h"

#include "capture/VideoWriter.h"
#include "view/CameraPath.h"

#include <system_error>

namespace {

bool WriteVideo(const std::filesystem::path& path, const CameraPoseSet& poses, const FlyThroughOptions& options,
                const CameraRender& render, const FlyThroughProgress& progress, std::string& error)
{
    if (poses.frames.empty()) {
        error = "the pose file has no cameras";
        return false;
    }
    const int width = EvenSide(options.width);
    const int height = EvenSide(options.height);
    const CameraPath cameraPath(CameraPathKeys(poses, options.fallbackFovY), options.secondsPerCamera);
    const std::size_t total = cameraPath.FrameCount(options.fps);

    VideoWriter video;
    if (!video.Open(path, width, height, options.fps, error))
        return false;
    for (std::size_t f = 0; f < total; ++f) {
        const CameraFrame frame = CameraFrameAt(cameraPath.AtFrame(f, options.fps));
        const std::optional<RgbImage> image = render(frame, options.fallbackFovY, width, height, std::nullopt);
        if (!image) {
            error = "cannot draw frame " + std::to_string(f);
            return false;
        }
        if (!video.Write(*image, error))
            return false;
        if (progress && !progress(f + 1, total)) {
            error = "cancelled";
            return false;
        }
    }
    return video.Finish(error);
}

}  // namespace

bool WriteFlyThrough(const std::filesystem::path& path, const CameraPoseSet& poses, const FlyThroughOptions& options,
                     const CameraRender& render, const FlyThroughProgress& progress, std::string& error)
{
    // Written beside the target and renamed over it: a failed or cancelled video leaves no
    // broken file, and an earlier video stays as it was.
    std::filesystem::path partial = path;
    partial += ".part";
    std::error_code ec;
    if (WriteVideo(partial, poses, options, render, progress, error)) {
        std::filesystem::rename(partial, path, ec);
        if (!ec)
            return true;
        error = "cannot write " + path.string() + ": " + ec.message();
    }
    std::filesystem::remove(partial, ec);
    return false;
}
