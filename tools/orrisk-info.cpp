// orrisk-info: opens a point cloud, Gaussian splat scene or camera pose file exactly as the
// viewer does and prints what it read as one JSON object on standard output.
//
// Numbers are printed in their shortest form that reads back to the same value: float32
// fields (positions, bounds, radius, fields of view) as the shortest decimal that reads back
// as the same float32, float64 fields (origin, pose matrices) as the shortest that reads back
// as the same float64. JSON has no NaN or infinity: those are printed as the strings "NaN",
// "Infinity" and "-Infinity". Strings are UTF-8; bytes that are not valid UTF-8 (from odd
// file names) are replaced by U+FFFD.

#include "document/Document.h"
#include "document/SceneFileRead.h"
#include "capture/ConsoleDesktop.h"
#include "io/poses/PoseReader.h"
#include "platform/Log.h"
#include "platform/ThreadPool.h"
#include "scene/StreamedCloud.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: orrisk-info FILE [--dump DIR] [--progress]\n"
    "       orrisk-info --poses FILE\n"
    "       orrisk-info --help\n";

constexpr const char* kHelp =
    "Opens a PLY or LAS point cloud or a 3D Gaussian Splatting scene (PLY, SPZ, compressed PLY,\n"
    "SOG, .splat) as the viewer does\n"
    "and prints a JSON summary: kind, ok, count, origin, bounds, centre, radius, colour and SH\n"
    "information, segment ids, the message the viewer would show and the loader's log lines.\n"
    "\n"
    "  --dump DIR   also write the scene's arrays to DIR as raw little-endian files\n"
    "               (positions.f32, colors.f32, and where the file has them intensity.u16,\n"
    "               classification.u8 and returnNumber.u8 for point clouds, every node of a COPC;\n"
    "               positions.f32, shDc.f32,\n"
    "               shRest.f32, opacities.f32, scales.f32, rotations.f32 (w x y z) and\n"
    "               objectIds.u32 for splat scenes) and the summary as summary.json\n"
    "  --progress   print the fraction read to standard error as the reader reports it,\n"
    "               one number a line\n"
    "  --poses      read FILE as a camera pose file (transforms.json) and print its frames\n"
    "               (transform: 16 numbers, column-major)\n"
    "\n"
    "Exit status: 0 when the file was read, 1 when it was not, 2 for bad usage.\n";

// Writes one JSON value at a time, placing the commas.
class JsonWriter {
public:
    void BeginObject() { Open('{'); }
    void EndObject() { Close('}'); }
    void BeginArray() { Open('['); }
    void EndArray() { Close(']'); }

    void Key(std::string_view key)
    {
        Separate();
        AppendString(key);
        m_text += ':';
        m_afterKey = true;
    }

    void Null() { Raw("null"); }
    void Bool(bool value) { Raw(value ? "true" : "false"); }
    void Count(std::uint64_t value) { Raw(std::to_string(value)); }
    void Int(std::int64_t value) { Raw(std::to_string(value)); }
    template <typename Float>
    void Number(Float value)
    {
        static_assert(std::is_floating_point_v<Float>);
        if (std::isnan(value)) {
            String("NaN");
        } else if (std::isinf(value)) {
            String(value > 0 ? "Infinity" : "-Infinity");
        } else {
            char digits[64];
            const auto result = std::to_chars(digits, digits + sizeof digits, value);
            Raw(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
        }
    }
    template <typename Vector>
    void Numbers(const Vector& values)
    {
        BeginArray();
        for (const auto value : values)
            Number(value);
        EndArray();
    }
    void String(std::string_view value)
    {
        Separate();
        AppendString(value);
    }

    const std::string& Text() const { return m_text; }

private:
    void Separate()
    {
        if (!m_afterKey && m_needComma)
            m_text += ',';
        m_afterKey = false;
        m_needComma = true;
    }
    void Raw(std::string_view text)
    {
        Separate();
        m_text += text;
    }
    void Open(char bracket)
    {
        Separate();
        m_text += bracket;
        m_needComma = false;
    }
    void Close(char bracket)
    {
        m_text += bracket;
        m_needComma = true;
    }
    void AppendString(std::string_view value)
    {
        m_text += nlohmann::json(std::string(value)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }

    std::string m_text;
    bool m_needComma = false;
    bool m_afterKey = false;
};

const char* KindName(SceneKind kind)
{
    switch (kind) {
    case SceneKind::PointCloud:
        return "PointCloud";
    case SceneKind::GaussianSplats:
        return "GaussianSplats";
    case SceneKind::None:
        break;
    }
    return "None";
}

std::uint64_t PointCount(const GaussianData& splats)
{
    return splats.positions.size();
}

// A streamed cloud's points stay on disk: its count is the hierarchy's.
std::uint64_t PointCount(const PointCloudData& cloud)
{
    return cloud.streamed ? cloud.streamed->TotalPoints() : cloud.positions.size();
}

// The bounds tail both scene records share.
template <typename Scene>
void WriteGeometry(JsonWriter& json, const Scene& scene)
{
    json.Key("count");
    json.Count(PointCount(scene));
    json.Key("origin");
    json.Numbers(scene.origin);
    json.Key("boundsMin");
    json.Numbers(scene.boundsMin);
    json.Key("boundsMax");
    json.Numbers(scene.boundsMax);
    json.Key("center");
    json.Numbers(scene.center);
    json.Key("radius");
    json.Number(scene.radius);
}

// Without a scene there is nothing to measure: the geometric fields are null.
void WriteNoGeometry(JsonWriter& json)
{
    json.Key("count");
    json.Count(0);
    for (const char* key : {"origin", "boundsMin", "boundsMax", "center", "radius"}) {
        json.Key(key);
        json.Null();
    }
}

std::string SceneSummary(const Document& document, bool ok, const ConsoleDesktop& desktop,
                         const std::vector<std::string>& log)
{
    JsonWriter json;
    json.BeginObject();
    json.Key("kind");
    json.String(KindName(document.Kind()));
    json.Key("ok");
    json.Bool(ok);
    const GaussianData* splats = document.Splats();
    const PointCloudData* cloud = document.PointCloud();
    if (splats)
        WriteGeometry(json, *splats);
    else if (cloud)
        WriteGeometry(json, *cloud);
    else
        WriteNoGeometry(json);
    json.Key("hasColors");  // every splat carries its colour
    json.Bool(splats || (cloud && cloud->hasColors));
    json.Key("shDegree");
    json.Int(splats ? splats->shDegree : 0);
    json.Key("shRestCount");
    json.Int(splats ? splats->shRestCount : 0);
    json.Key("hasObjectIds");
    json.Bool(splats && splats->hasObjectIds);
    if (const StreamedCloud* streamed = cloud ? cloud->streamed.get() : nullptr) {
        json.Key("copcNodes");
        json.Count(streamed->Nodes().size());
        json.Key("copcDepth");
        json.Int(streamed->Depth());
    }
    json.Key("message");
    if (desktop.MessageBoxes().empty())
        json.Null();
    else
        json.String(desktop.MessageBoxes().back());
    // Why the file failed, where the reader could say.
    json.Key("reason");
    if (desktop.MessageBoxDetails().empty() || desktop.MessageBoxDetails().back().empty())
        json.Null();
    else
        json.String(desktop.MessageBoxDetails().back());
    json.Key("log");
    json.BeginArray();
    for (const std::string& line : log)
        json.String(line);
    json.EndArray();
    json.EndObject();
    return json.Text();
}

std::string PosesSummary(bool ok, const std::string& errorText, const CameraPoseSet& poses)
{
    JsonWriter json;
    json.BeginObject();
    json.Key("ok");
    json.Bool(ok);
    json.Key("errorText");
    if (ok)
        json.Null();
    else
        json.String(errorText);
    json.Key("defaultFovY");
    json.Number(poses.defaultFovY);
    json.Key("frames");
    json.BeginArray();
    for (const CameraFrame& frame : poses.frames) {
        json.BeginObject();
        json.Key("transform");  // Eigen's storage order is column-major
        json.Numbers(std::span<const double>(frame.transform.data(), 16));
        json.Key("fovY");
        json.Number(frame.fovY);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.Text();
}

// Writes values of 1, 2 or 4-byte components as little-endian bytes; false when the file
// cannot be written.
template <typename T>
bool WriteLittleEndian(const std::filesystem::path& path, const T* values, std::size_t count)
{
    constexpr std::size_t kComponent = sizeof(T) % 4 == 0 ? 4 : sizeof(T);
    static_assert(kComponent == 1 || kComponent == 2 || kComponent == 4);
    std::vector<char> bytes(count * sizeof(T));
    if (count != 0)
        std::memcpy(bytes.data(), values, bytes.size());
    if constexpr (std::endian::native == std::endian::big && kComponent > 1) {
        for (std::size_t i = 0; i < bytes.size(); i += kComponent)
            std::reverse(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                         bytes.begin() + static_cast<std::ptrdiff_t>(i + kComponent));
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

template <typename T>
bool Dump(const std::filesystem::path& dir, const char* name, const LargeArray<T>& values)
{
    return WriteLittleEndian(dir / name, values.data(), values.size());
}

// A streamed cloud's arrays hold only the nodes drawn so far: every node is decoded here in
// node order, one at a time, and its points appended.
bool DumpStreamedNodes(const std::filesystem::path& dir, StreamedCloud& streamed, bool hasColors)
{
    std::vector<Eigen::Vector3f> positions;
    std::vector<Eigen::Vector4f> colors;
    for (std::size_t node = 0; node < streamed.Nodes().size(); ++node) {
        if (streamed.Nodes()[node].pointCount == 0)
            continue;
        const std::uint32_t wanted[] = {static_cast<std::uint32_t>(node)};
        std::shared_ptr<const NodePoints> points = streamed.Points(node);
        if (!points) {
            streamed.Request(wanted);
            streamed.WaitUntilIdle();
            points = streamed.Points(node);
        }
        if (!points) {
            std::cerr << "orrisk-info: node " << node << " could not be decoded\n";
            return false;
        }
        positions.insert(positions.end(), points->positions.begin(), points->positions.end());
        colors.insert(colors.end(), points->colors.begin(), points->colors.end());
    }
    return WriteLittleEndian(dir / "positions.f32", positions.data(), positions.size())
        && (!hasColors || WriteLittleEndian(dir / "colors.f32", colors.data(), colors.size()));
}

bool DumpScene(const std::filesystem::path& dir, const Document& document, const std::string& summary)
{
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    bool written = !error;
    if (const PointCloudData* points = document.PointCloud()) {
        const PointCloudData& cloud = *points;
        if (cloud.streamed)
            written = written && DumpStreamedNodes(dir, *cloud.streamed, cloud.hasColors);
        else
            written = written && Dump(dir, "positions.f32", cloud.positions);
        if (cloud.hasColors && !cloud.streamed)
            written = written && Dump(dir, "colors.f32", cloud.colors);
        if (!cloud.intensity.empty())
            written = written && Dump(dir, "intensity.u16", cloud.intensity);
        if (!cloud.classification.empty())
            written = written && Dump(dir, "classification.u8", cloud.classification);
        if (!cloud.returnNumber.empty())
            written = written && Dump(dir, "returnNumber.u8", cloud.returnNumber);
    } else if (const GaussianData* gaussians = document.Splats()) {
        const GaussianData& splats = *gaussians;
        written = written && Dump(dir, "positions.f32", splats.positions) && Dump(dir, "shDc.f32", splats.shDc) &&
                  Dump(dir, "shRest.f32", splats.shRest) && Dump(dir, "opacities.f32", splats.opacities) &&
                  Dump(dir, "scales.f32", splats.scales) && Dump(dir, "rotations.f32", splats.rotations);
        if (splats.hasObjectIds)
            written = written && Dump(dir, "objectIds.u32", splats.objectIds);
    }
    if (written) {
        std::ofstream out(dir / "summary.json", std::ios::binary | std::ios::trunc);
        out << summary << '\n';
        written = static_cast<bool>(out.flush());
    }
    if (!written)
        std::cerr << "orrisk-info: cannot write the dump to " << dir.string() << '\n';
    return written;
}

// Prints each fraction the reader reports on its own line of standard error.
bool PrintProgress(double fraction)
{
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, fraction);
    std::cerr << std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)) << '\n';
    return true;
}

int InfoOnScene(const std::string& path, const std::optional<std::string>& dumpDir, bool progress)
{
    ConsoleDesktop desktop;
    ThreadPool pool;
    Document document(desktop, &pool);
    bool ok = false;
    std::vector<std::string> log;
    {
        ScopedLogCapture capture;
        ReadOptions options{{}, &pool};
        if (progress)
            options.progress = PrintProgress;
        ok = document.FinishOpen(ReadSceneFile(path, options));
        log = capture.Lines();
    }
    const std::string summary = SceneSummary(document, ok, desktop, log);
    std::cout << summary << '\n';
    if (dumpDir && !DumpScene(*dumpDir, document, summary))
        return 1;
    return ok ? 0 : 1;
}

int InfoOnPoses(const std::string& path)
{
    const ReadResult<CameraPoseSet> poses = ReadCameraPoses(path);
    const bool ok = poses.Ok();
    std::cout << PosesSummary(ok, ok ? std::string() : poses.Failure().reason, ok ? poses.Value() : CameraPoseSet())
              << '\n';
    return ok ? 0 : 1;
}

int UsageError(std::string_view problem)
{
    std::cerr << "orrisk-info: " << problem << '\n' << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::optional<std::string> file;
    std::optional<std::string> dumpDir;
    bool poses = false;
    bool progress = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            std::cout << kUsage << '\n' << kHelp;
            return 0;
        } else if (!optionsEnded && arg == "--dump") {
            if (i + 1 >= argc)
                return UsageError("--dump needs a folder");
            dumpDir = argv[++i];
        } else if (!optionsEnded && arg == "--progress") {
            progress = true;
        } else if (!optionsEnded && arg == "--poses") {
            poses = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            return UsageError("unknown option " + std::string(arg));
        } else if (file) {
            return UsageError("only one file can be given");
        } else {
            file = std::string(arg);
        }
    }
    if (!file)
        return UsageError("no file given");
    if (poses && dumpDir)
        return UsageError("--dump does not apply to camera pose files");
    if (poses && progress)
        return UsageError("--progress does not apply to camera pose files");
    return poses ? InfoOnPoses(*file) : InfoOnScene(*file, dumpDir, progress);
}
