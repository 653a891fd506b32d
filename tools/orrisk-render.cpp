// orrisk-render: draws a scene file the way the viewer shows it and writes the picture as PNG,
// for thumbnails, figures and batch checks. It runs the viewer's own document and view on a
// headless OpenGL surface; it neither reads nor writes the viewer's settings file.

#include "document/Document.h"
#include "gl/HeadlessEglBackend.h"
#include "settings/AppSettings.h"
#include "tools/PngFile.h"
#include "view/ConsoleDesktop.h"
#include "view/SceneView.h"

#include <charconv>
#include <chrono>
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
    "usage: orrisk-render FILE [--poses POSES (--frame K | --all-frames)]\n"
    "                    [--view home|x|-x|y|-y|z|-z] [--ortho] [--size WxH]\n"
    "                    [--point-size S] [--square] [--background R,G,B]\n"
    "                    [--seg-blend B] [--seg-seed N] [--no-gizmo] [--out PATH]\n"
    "\n"
    "Draws FILE (PLY or LAS point cloud, Gaussian splat PLY) as the viewer shows it and\n"
    "writes an 8-bit RGB PNG (default 1280x720, render.png).\n"
    "  --poses POSES     camera pose file (transforms.json layout) to take the camera from\n"
    "  --frame K         the frame to use, counted from 0\n"
    "  --all-frames      one picture per frame: PATH with _K inserted before the extension\n"
    "  --view V          home view (default) or a view along an axis\n"
    "  --ortho           orthographic projection\n"
    "  --size WxH        picture size in pixels\n"
    "  --point-size S    point size in pixels, 1 to 32 (default 2)\n"
    "  --square          square points instead of round ones\n"
    "  --background RGB  background colour, three integers 0-255 (default 0,0,0)\n"
    "  --seg-blend B     segment colour blend 0..1 of splat scenes with segments (default 0.5)\n"
    "  --seg-seed N      segment colour seed (default 1)\n"
    "  --no-gizmo        leave out the axis gizmo\n"
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
    std::filesystem::path out = "render.png";
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
        } else if (arg == "--no-gizmo") {
            options.noGizmo = true;
        } else if (arg == "--out") {
            const std::string_view given = value();
            if (given.empty())
                throw bad(given);
            options.out = std::filesystem::path(std::string(given));
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
    if (options.poses.empty() && (options.frame || options.allFrames))
        throw UsageError("--frame and --all-frames need --poses");
    if (!options.poses.empty() && options.frame.has_value() == options.allFrames)
        throw UsageError("--poses needs exactly one of --frame K and --all-frames");
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
    // The projection is in place before the scene is framed, so the fit sets its half height.
    if (options.ortho)
        settings.projection = Orthographic;
    view.SetDisplaySettings(settings);
}

class FrameWriter {
public:
    FrameWriter(ConsoleDesktop& desktop, SceneView& view) : m_desktop(desktop), m_view(view) {}

    // Draws the view's current frame and writes it to `path`; prints the path and draw time.
    bool RenderTo(const std::filesystem::path& path)
    {
        auto* headless = dynamic_cast<HeadlessEglBackend*>(m_view.GlBackend());
        if (!headless)
            return false;
        // The splats are ordered for exactly this camera before the frame is drawn, so Draw finds
        // the order current. A background sort that Draw might still start (when every splat
        // lies at one depth) could only change a later frame, and the next re-sort drops it.
        m_view.RequestSplatResort();

        const auto start = std::chrono::steady_clock::now();
        m_view.OnDraw();
        glFinish();
        const std::chrono::duration<double, std::milli> drawTime = std::chrono::steady_clock::now() - start;

        const ClientSize size = headless->DrawableSize();
        const RgbImage image = RgbImageFromGlRgba(headless->ReadColorImage(), size.width, size.height);
        // Repaint requests of a sort thread have nothing to repaint here.
        m_desktop.DeliverPostedResorts([this] { m_view.OnResortMessage(); });

        std::string error;
        if (!WritePngFile(path, image, error)) {
            std::cerr << "orrisk-render: cannot write " << path.string() << ": " << error << "\n";
            return false;
        }
        std::printf("%s %.2f ms\n", path.string().c_str(), drawTime.count());
        std::fflush(stdout);
        return true;
    }

private:
    ConsoleDesktop& m_desktop;
    SceneView& m_view;
};

int Run(const Options& options)
{
    ConsoleDesktop desktop;
    desktop.SetClientSize({options.width, options.height});
    Document document(desktop);
    const int width = options.width;
    const int height = options.height;
    SceneView view(desktop, [width, height] { return std::make_unique<HeadlessEglBackend>(width, height); }, {});
    view.SetDocument(&document);
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

    if (!document.OnOpenDocument(options.file))
        return kExitFailure;

    FrameWriter writer(desktop, view);
    if (options.poses.empty()) {
        if (options.axisView)
            view.SetViewAxis(options.axisView->axis, options.axisView->reversed);
        return writer.RenderTo(options.out) ? kExitOk : kExitFailure;
    }

    if (!document.LoadCameraPoses(options.poses))
        return kExitFailure;
    const std::size_t frameCount = document.m_cameraPoses.frames.size();
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
    try {
        return Run(options);
    } catch (const std::exception& error) {
        std::cerr << "orrisk-render: " << error.what() << "\n";
        return kExitFailure;
    }
}
