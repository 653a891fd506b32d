// orrisk-render: draws a scene file the way the viewer shows it and writes the picture as PNG,
// for thumbnails, figures and batch checks; with a pose file also a fly-through video through
// its cameras, or renders compared with the cameras' training photos. It runs the viewer's own document and view on a
// headless OpenGL surface; it neither reads nor writes the viewer's settings file.

#include "capture/PngFile.h"
#include "capture/RenderCameras.h"
#include "capture/VideoWriter.h"
#include "document/Document.h"
#include "gl/HeadlessEglBackend.h"
#include "platform/ThreadPool.h"
#include "scene/StreamedCloud.h"
#include "scene/PointColoring.h"
#include "settings/AppSettings.h"
#include "settings/ColoringSettings.h"
#include "capture/ConsoleDesktop.h"
#include "view/SceneView.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Each side of the picture; what the GL implementation allows may be less.
constexpr int kMaxImageSide = 16384;

constexpr const char* kUsage =
    "usage: orrisk-render FILE [--poses POSES (--frame K | --all-frames | --video OUT.mp4 |\n"
    "                                          --compare OUT.csv)]\n"
    "                    [--view home|x|-x|y|-y|z|-z] [--ortho] [--size WxH]\n"
    "                    [--point-size S] [--square] [--background R,G,B]\n"
    "                    [--seg-blend B] [--seg-seed N] [--no-gizmo] [--out PATH]\n"
    "                    [--color-by rgb|intensity|classification|elevation|return]\n"
    "                    [--edl STRENGTH] [--edl-radius PIXELS]\n"
    "                    [--point-budget N] [--stats]\n"
    "\n"
    "Draws FILE (PLY, LAS or LAZ point cloud, Gaussian splat scene) as the viewer shows it and\n"
    "writes an 8-bit RGB PNG (default 1280x720, render.png).\n"
    "  --poses POSES     camera pose file (transforms.json or a trainer's cameras.json)\n"
    "  --frame K         the frame to use, counted from 0\n"
    "  --all-frames      one picture per frame: PATH with _K inserted before the extension\n"
    "  --video OUT.mp4   fly-through of the cameras in order as H.264 MP4 (size rounded to even)\n"
    "  --fps F           video frames a second, 1 to 240 (default 30)\n"
    "  --seconds-per-camera S  time from one camera to the next, 0.01 to 3600 (default 1)\n"
    "  --compare OUT.csv render every camera at its training image's size and write PSNR and\n"
    "                    SSIM a camera (no gizmo)\n"
    "  --images DIR      where the training images are (default: as the pose file says)\n"
    "  --compare-images DIR  also write render | photo | difference x4 pictures there\n"
    "  --view V          home view (default) or a view along an axis\n"
    "  --ortho           orthographic projection\n"
    "  --size WxH        picture size in pixels\n"
    "  --point-size S    point size in pixels, 1 to 32 (default 2)\n"
    "  --square          square points instead of round ones\n"
    "  --background RGB  background colour, three integers 0-255 (default 0,0,0)\n"
    "  --seg-blend B     segment colour blend 0..1 of splat scenes with segments (default 0.5)\n"
    "  --seg-seed N      segment colour seed (default 1)\n"
    "  --no-gizmo        leave out the axis gizmo\n"
    "  --color-by MODE   what a point cloud's colours show (default rgb: the file's colours);\n"
    "                    a cloud without that attribute is drawn as rgb, with a warning\n"
    "  --edl STRENGTH    eye-dome lighting, 0 (off, the default) to 10; 1 is moderate\n"
    "  --edl-radius PX   eye-dome lighting radius in pixels, 1 to 10 (default 1.4)\n"
    "  --point-budget N  points a picture may draw: -1 automatic (default), 0 every point; a\n"
    "                    larger cloud is drawn through its level-of-detail octree\n"
    "  --stats           print a JSON line a picture instead of its path: total, drawn,\n"
    "                    nodesDrawn, nodesLoaded, drawMs\n"
    "  --out PATH        where to write the picture\n";

struct AxisView {
    int axis = 0;
    bool reversed = false;
};

struct Options {
    std::string file;
    std::string poses;
    std::optional<int> frame;
    bool allFrames = false;
    std::optional<AxisView> axisView;  // empty: the home view
    bool viewGiven = false;
    bool ortho = false;
    int width = 1280;
    int height = 720;
    std::optional<float> pointSize;
    bool square = false;
    std::optional<Eigen::Vector3f> background;
    std::optional<float> segBlend;
    std::optional<std::uint32_t> segSeed;
    bool noGizmo = false;
    std::optional<ColorMode> colorMode;
    std::optional<float> edlStrength;
    std::optional<float> edlRadius;
    std::optional<std::int64_t> pointBudget;
    bool stats = false;
    std::filesystem::path out = "render.png";
    std::filesystem::path video;
    int fps = 30;
    double secondsPerCamera = 1.0;
    std::filesystem::path compare;
    std::filesystem::path images;
    std::filesystem::path compareImages;
};

class UsageError {
public:
    explicit UsageError(std::string text) : m_text(std::move(text)) {}
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

template <typename T>
std::optional<T> ParseNumber(std::string_view text)
{
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::optional<float> ParseFiniteFloat(std::string_view text)
{
    const std::optional<float> value = ParseNumber<float>(text);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

// "home" leaves axisView empty; x, -x, y, -y, z and -z name an axis view. False for anything else.
bool ParseView(std::string_view text, std::optional<AxisView>& axisView)
{
    axisView.reset();
    if (text == "home")
        return true;
    const bool reversed = text.size() == 2 && text[0] == '-';
    const std::string_view name = reversed ? text.substr(1) : text;
    if (name != "x" && name != "y" && name != "z")
        return false;
    axisView = AxisView{name[0] - 'x', reversed};
    return true;
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> std::string_view {
            if (i + 1 >= argc)
                throw UsageError(std::string(arg) + " needs a value");
            return argv[++i];
        };
        const auto bad = [&](std::string_view given) {
            return UsageError("invalid value for " + std::string(arg) + ": '" + std::string(given) + "'");
        };

        if (arg == "--poses") {
            options.poses = value();
        } else if (arg == "--frame") {
            const std::string_view given = value();
            options.frame = ParseNumber<int>(given);
            if (!options.frame || *options.frame < 0)
                throw bad(given);
        } else if (arg == "--all-frames") {
            options.allFrames = true;
        } else if (arg == "--view") {
            const std::string_view given = value();
            options.viewGiven = true;
            if (!ParseView(given, options.axisView))
                throw bad(given);
        } else if (arg == "--ortho") {
            options.ortho = true;
        } else if (arg == "--size") {
            const std::string_view given = value();
            const std::vector<std::string_view> parts = Split(given, 'x');
            const std::optional<int> w = parts.size() == 2 ? ParseNumber<int>(parts[0]) : std::nullopt;
            const std::optional<int> h = parts.size() == 2 ? ParseNumber<int>(parts[1]) : std::nullopt;
            if (!w || !h || *w < 1 || *h < 1 || *w > kMaxImageSide || *h > kMaxImageSide)
                throw bad(given);
            options.width = *w;
            options.height = *h;
        } else if (arg == "--point-size") {
            const std::string_view given = value();
            options.pointSize = ParseFiniteFloat(given);
            if (!options.pointSize)
                throw bad(given);
        } else if (arg == "--square") {
            options.square = true;
        } else if (arg == "--background") {
            const std::string_view given = value();
            const std::vector<std::string_view> parts = Split(given, ',');
            if (parts.size() != 3)
                throw bad(given);
            Eigen::Vector3f color;
            for (int c = 0; c < 3; ++c) {
                const std::optional<int> channel = ParseNumber<int>(parts[static_cast<std::size_t>(c)]);
                if (!channel || *channel < 0 || *channel > 255)
                    throw bad(given);
                color[c] = static_cast<float>(*channel) / 255.0f;
            }
            options.background = color;
        } else if (arg == "--seg-blend") {
            const std::string_view given = value();
            options.segBlend = ParseFiniteFloat(given);
            if (!options.segBlend)
                throw bad(given);
        } else if (arg == "--seg-seed") {
            const std::string_view given = value();
            options.segSeed = ParseNumber<std::uint32_t>(given);
            if (!options.segSeed)
                throw bad(given);
        } else if (arg == "--point-budget") {
            const std::string_view given = value();
            options.pointBudget = ParseNumber<std::int64_t>(given);
            if (!options.pointBudget || *options.pointBudget < kAutomaticPointBudgetSetting)
                throw bad(given);
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--no-gizmo") {
            options.noGizmo = true;
        } else if (arg == "--color-by") {
            const std::string_view given = value();
            options.colorMode = ColorModeFromKey(given);
            if (!options.colorMode)
                throw bad(given);
        } else if (arg == "--edl") {
            const std::string_view given = value();
            options.edlStrength = ParseFiniteFloat(given);
            if (!options.edlStrength || *options.edlStrength < 0.0f || *options.edlStrength > kMaxEdlStrength)
                throw bad(given);
        } else if (arg == "--edl-radius") {
            const std::string_view given = value();
            options.edlRadius = ParseFiniteFloat(given);
            if (!options.edlRadius || *options.edlRadius < kMinEdlRadius || *options.edlRadius > kMaxEdlRadius)
                throw bad(given);
        } else if (arg == "--out") {
            const std::string_view given = value();
            if (given.empty())
                throw bad(given);
            options.out = std::filesystem::path(std::string(given));
        } else if (arg == "--video" || arg == "--compare" || arg == "--images" || arg == "--compare-images") {
            const std::string_view given = value();
            if (given.empty())
                throw bad(given);
            std::filesystem::path& target = arg == "--video"     ? options.video
                                            : arg == "--compare" ? options.compare
                                            : arg == "--images"  ? options.images
                                                                 : options.compareImages;
            target = std::filesystem::path(std::string(given));
        } else if (arg == "--fps") {
            const std::string_view given = value();
            const std::optional<int> fps = ParseNumber<int>(given);
            if (!fps || *fps < 1 || *fps > 240)
                throw bad(given);
            options.fps = *fps;
        } else if (arg == "--seconds-per-camera") {
            const std::string_view given = value();
            const std::optional<float> seconds = ParseFiniteFloat(given);
            if (!seconds || *seconds < 0.01f || *seconds > 3600.0f)
                throw bad(given);
            options.secondsPerCamera = *seconds;
        } else if (arg == "--help" || arg == "-h") {
            throw UsageError("");
        } else if (arg.starts_with("--")) {
            throw UsageError("unknown option " + std::string(arg));
        } else if (haveFile) {
            throw UsageError("more than one FILE given");
        } else {
            options.file = arg;
            haveFile = true;
        }
    }

    if (!haveFile)
        throw UsageError("no FILE given");
    const bool video = !options.video.empty();
    const bool compare = !options.compare.empty();
    if (options.poses.empty() && (options.frame || options.allFrames || video || compare))
        throw UsageError("--frame, --all-frames, --video and --compare need --poses");
    if (!options.poses.empty() && int{options.frame.has_value()} + int{options.allFrames} + int{video} + int{compare} != 1)
        throw UsageError("--poses needs exactly one of --frame K, --all-frames, --video and --compare");
    if (!compare && (!options.images.empty() || !options.compareImages.empty()))
        throw UsageError("--images and --compare-images go with --compare");
    if (!options.poses.empty() && options.viewGiven)
        throw UsageError("--view cannot be combined with --poses: the camera frame decides the view");
    return options;
}

// render.png with frame 7 of 67 gives render_07.png.
std::filesystem::path FramePath(const std::filesystem::path& out, int frame, std::size_t frameCount)
{
    const std::size_t digits = std::to_string(frameCount > 0 ? frameCount - 1 : 0).size();
    std::string number = std::to_string(frame);
    if (number.size() < digits)
        number.insert(0, digits - number.size(), '0');
    std::filesystem::path path = out;
    path.replace_filename(out.stem().string() + "_" + number + out.extension().string());
    return path;
}

// Starting values the options override, set before the view is created, as a settings file's
// values would be.
void ApplyDisplayOptions(const Options& options, SceneView& view)
{
    AppSettings settings = view.DisplaySettings();
    if (options.pointSize)
        settings.pointSize =
            static_cast<float>(ClampPointSize(*options.pointSize, settings.pointSizeMin, settings.pointSizeMax));
    if (options.square)
        settings.roundPoints = false;
    if (options.background)
        settings.background = *options.background;
    if (options.segBlend)
        settings.segBlend = *options.segBlend;
    if (options.segSeed)
        settings.segSeed = *options.segSeed;
    if (options.noGizmo)
        settings.showAxisGizmo = false;
    if (options.colorMode)
        settings.colorMode = static_cast<std::int32_t>(*options.colorMode);
    if (options.edlStrength)
        settings.edlStrength = *options.edlStrength;
    if (options.edlRadius)
        settings.edlRadius = *options.edlRadius;
    if (options.pointBudget)
        settings.pointBudget = *options.pointBudget;
    // The projection is in place before the scene is framed, so the fit sets its half height.
    if (options.ortho)
        settings.projection = Orthographic;
    view.SetDisplaySettings(settings);
}

class FrameWriter {
public:
    FrameWriter(ConsoleDesktop& desktop, SceneView& view, bool stats) : m_desktop(desktop), m_view(view), m_stats(stats) {}

    // Draws the view's current frame and writes it to `path`; prints the path and draw time,
    // or with stats what the frame drew as one JSON line.
    bool RenderTo(const std::filesystem::path& path)
    {
        double drawMilliseconds = 0.0;
        const std::optional<RgbImage> image = DrawViewImage(m_desktop, m_view, &drawMilliseconds);
        if (!image)
            return false;
        std::string error;
        if (!WritePngFile(path, *image, error)) {
            std::cerr << "orrisk-render: cannot write " << path.string() << ": " << error << "\n";
            return false;
        }
        if (m_stats) {
            const PointDrawStats drawn = m_view.LastDrawStats();
            std::printf("{\"total\":%llu,\"drawn\":%llu,\"nodesDrawn\":%zu,\"nodesLoaded\":%zu,\"drawMs\":%.3f}\n",
                        static_cast<unsigned long long>(drawn.total), static_cast<unsigned long long>(drawn.drawn),
                        drawn.nodesDrawn, drawn.nodesLoaded, drawMilliseconds);
        } else {
            std::printf("%s %.2f ms\n", path.string().c_str(), drawMilliseconds);
        }
        std::fflush(stdout);
        return true;
    }

private:
    ConsoleDesktop& m_desktop;
    SceneView& m_view;
    bool m_stats = false;
};

// The folder a file is to be written in, created when missing. False, with a message on
// standard error, when it cannot be.
bool MakeParentFolder(const std::filesystem::path& file)
{
    const std::filesystem::path folder = file.parent_path();
    std::error_code ec;
    if (folder.empty() || std::filesystem::is_directory(folder, ec))
        return true;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::cerr << "orrisk-render: cannot create the folder " << folder.string() << ": " << ec.message() << "\n";
        return false;
    }
    return true;
}

bool MakeOutputFolders(const Options& options)
{
    if (!options.compareImages.empty() && !MakeParentFolder(options.compareImages / "picture.png"))
        return false;
    if (!options.video.empty())
        return MakeParentFolder(options.video);
    if (!options.compare.empty())
        return MakeParentFolder(options.compare);
    return MakeParentFolder(options.out);
}

int Run(Options options)
{
    if (!options.video.empty()) {
        options.width = EvenSide(options.width);
        options.height = EvenSide(options.height);
    }
    if (!options.compare.empty())
        options.noGizmo = true;
    if (!MakeOutputFolders(options))
        return kExitFailure;
    ConsoleDesktop desktop;
    desktop.SetClientSize({options.width, options.height});
    ThreadPool pool;
    Document document(desktop, &pool);
    const int width = options.width;
    const int height = options.height;
    SceneView view(desktop, [width, height] { return std::make_unique<HeadlessEglBackend>(width, height); });
    view.SetDocument(&document);
    view.Detail().SetWorkerPool(&pool);
    view.Detail().SetOctreeBeforeUpload(true);
    ApplyDisplayOptions(options, view);

    // The message box texts of failures are already on standard error.
    if (!view.Create())
        return kExitFailure;
    struct Destroy {
        SceneView& view;
        ~Destroy() { view.OnDestroy(); }
    } destroy{view};
    view.OnSize(width, height);
    view.OnInitialUpdate();

    if (!document.Open(options.file))
        return kExitFailure;
    // Images must not depend on how fast nodes arrive: every draw waits for what it selects.
    if (const PointCloudData* cloud = document.PointCloud(); cloud && cloud->streamed)
        cloud->streamed->SetDrawWaitsForNodes(true);
    if (options.colorMode && view.ShownColorMode() != *options.colorMode)
        std::cerr << "orrisk-render: " << options.file << " has nothing to colour by " << ColorModeKey(*options.colorMode)
                  << "; drawn as rgb\n";
    // Pictures never depend on how far a background build has come.
    view.FinishOctreeBuild();

    FrameWriter writer(desktop, view, options.stats);
    if (options.poses.empty()) {
        if (options.axisView)
            view.SetViewAxis(options.axisView->axis, options.axisView->reversed);
        return writer.RenderTo(options.out) ? kExitOk : kExitFailure;
    }

    if (!document.OpenCameraPoses(options.poses))
        return kExitFailure;
    const std::size_t frameCount = document.CameraPoses().frames.size();
    if (!options.video.empty()) {
        FlyThroughOptions video;
        video.width = width;
        video.height = height;
        video.fps = options.fps;
        video.secondsPerCamera = options.secondsPerCamera;
        video.fallbackFovY = view.Camera().fovY;
        return RenderFlyThrough(desktop, view, document.CameraPoses(), options.video, video) ? kExitOk : kExitFailure;
    }
    if (!options.compare.empty()) {
        CompareOptions compare;
        compare.poseFile = options.poses;
        compare.imagesDir = options.images;
        compare.sideBySideDir = options.compareImages;
        compare.fallbackFovY = view.Camera().fovY;
        return RenderComparison(desktop, view, document.CameraPoses(), options.compare, compare) ? kExitOk : kExitFailure;
    }
    if (options.frame) {
        if (static_cast<std::size_t>(*options.frame) >= frameCount) {
            std::cerr << "orrisk-render: frame " << *options.frame << " is out of range: " << options.poses
                      << " has " << frameCount << " frames (0 to " << frameCount - 1 << ")\n";
            return kExitFailure;
        }
        view.ApplyCameraFrame(*options.frame);
        return writer.RenderTo(options.out) ? kExitOk : kExitFailure;
    }
    for (std::size_t k = 0; k < frameCount; ++k) {
        view.ApplyCameraFrame(static_cast<int>(k));
        if (!writer.RenderTo(FramePath(options.out, static_cast<int>(k), frameCount)))
            return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const UsageError& error) {
        if (error.Text().empty()) {  // --help
            std::cout << kUsage;
            return kExitOk;
        }
        std::cerr << "orrisk-render: " << error.Text() << "\n" << kUsage;
        return kExitUsage;
    }
    QuietVideoLibraryLog();
    try {
        return Run(options);
    } catch (const std::exception& error) {
        std::cerr << "orrisk-render: " << error.what() << "\n";
        return kExitFailure;
    }
}
