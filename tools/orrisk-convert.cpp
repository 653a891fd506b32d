// orrisk-convert: writes a point cloud's own records (LAS, LAZ, COPC or PLY in) as LAS, LAZ
// or COPC. Nothing appears under the target's name unless the whole conversion succeeded.

#include "convert/ConvertPointCloud.h"
#include "platform/ThreadPool.h"

#include <atomic>
#include <array>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: orrisk-convert IN OUT [--format las|laz|copc] [--memory SIZE] [--chunk-size N]\n"
    "                      [--scale S|SX,SY,SZ] [--offset OX,OY,OZ] [--threads N] [--progress]\n"
    "       orrisk-convert --help\n";

constexpr const char* kHelp =
    "Converts a LAS, LAZ, COPC or PLY point cloud into LAS, LAZ or COPC, record by record:\n"
    "integer coordinates, every field and extra bytes are kept, and so are the source's VLRs.\n"
    "\n"
    "  --format F      las, laz or copc; by default from OUT's name (.las, .laz, .copc.laz)\n"
    "  --memory SIZE   COPC: the working set, e.g. 512M or 2G; beyond it points go to\n"
    "                  temporary files (default: a quarter of physical memory)\n"
    "  --chunk-size N  LAZ: points per chunk (default 50000)\n"
    "  --scale, --offset\n"
    "                  PLY sources: the LAS scale and offset (default: chosen from the\n"
    "                  extent and the precision of the coordinates)\n"
    "  --threads N     threads to use (default: one per core)\n"
    "  --progress      print the fraction done to standard error, one number a line\n"
    "\n"
    "Exit status: 0 when OUT was written; 1 when IN could not be read; 2 for bad usage;\n"
    "3 when OUT could not be written; 4 when the conversion was refused (OUT is IN,\n"
    "coordinates that do not fit); 130 when interrupted. On any failure OUT is not created\n"
    "and an existing OUT is left as it was.\n";

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int)
{
    g_interrupted = true;
}

int UsageError(std::string_view problem)
{
    std::cerr << "orrisk-convert: " << problem << '\n' << kUsage;
    return 2;
}

std::optional<double> Number(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// One number for all three axes, or three separated by commas.
std::optional<std::array<double, 3>> Triple(std::string_view text, bool oneForAll)
{
    std::vector<double> values;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::optional<double> value = Number(text.substr(0, comma));
        if (!value)
            return std::nullopt;
        values.push_back(*value);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    if (values.size() == 1 && oneForAll)
        return std::array<double, 3>{values[0], values[0], values[0]};
    if (values.size() != 3)
        return std::nullopt;
    return std::array<double, 3>{values[0], values[1], values[2]};
}

// 512M, 2G, 1048576: bytes, with binary K, M and G.
std::optional<std::uint64_t> Size(std::string_view text)
{
    std::uint64_t factor = 1;
    if (!text.empty()) {
        switch (text.back()) {
        case 'k': case 'K': factor = 1ull << 10; break;
        case 'm': case 'M': factor = 1ull << 20; break;
        case 'g': case 'G': factor = 1ull << 30; break;
        default: break;
        }
        if (factor != 1)
            text.remove_suffix(1);
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 || value > UINT64_MAX / factor)
        return std::nullopt;
    return value * factor;
}

int ExitCodeFor(WriteError code)
{
    switch (code) {
    case WriteError::SourceFailed: return 1;
    case WriteError::CannotCreate:
    case WriteError::WriteFailed: return 3;
    case WriteError::Refused: return 4;
    case WriteError::Cancelled: return 130;
    }
    return 3;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> files;
    std::optional<PointCloudOutput> format;
    ConvertOptions options;
    unsigned threads = 0;
    bool progress = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= argc)
                return std::nullopt;
            return std::string_view(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage << '\n' << kHelp;
            return 0;
        } else if (arg == "--format") {
            const std::optional<std::string_view> name = value();
            if (name == "las")
                format = PointCloudOutput::Las;
            else if (name == "laz")
                format = PointCloudOutput::Laz;
            else if (name == "copc")
                format = PointCloudOutput::Copc;
            else
                return UsageError("--format needs las, laz or copc");
        } else if (arg == "--memory") {
            const std::optional<std::string_view> text = value();
            const std::optional<std::uint64_t> bytes = text ? Size(*text) : std::nullopt;
            if (!bytes)
                return UsageError("--memory needs a size such as 512M");
            options.memoryBytes = *bytes;
        } else if (arg == "--chunk-size") {
            const std::optional<std::string_view> text = value();
            const std::optional<std::uint64_t> count = text ? Size(*text) : std::nullopt;
            if (!count || *count > 0xFFFFFFFEull)
                return UsageError("--chunk-size needs a number of points");
            options.chunkSize = static_cast<std::uint32_t>(*count);
        } else if (arg == "--scale" || arg == "--offset") {
            const std::optional<std::string_view> text = value();
            const std::optional<std::array<double, 3>> triple = text ? Triple(*text, arg == "--scale") : std::nullopt;
            if (!triple)
                return UsageError(std::string(arg) + " needs " + (arg == "--scale" ? "one number or three" : "three numbers")
                                  + " separated by commas");
            if (arg == "--scale") {
                for (double s : *triple)
                    if (!(s > 0) || !std::isfinite(s))
                        return UsageError("--scale must be positive");
                options.quantisation.scale = triple;
            } else {
                options.quantisation.offset = triple;
            }
        } else if (arg == "--threads") {
            const std::optional<std::string_view> text = value();
            const std::optional<std::uint64_t> count = text ? Size(*text) : std::nullopt;
            if (!count || *count > 256)
                return UsageError("--threads needs a number from 1 to 256");
            threads = static_cast<unsigned>(*count);
        } else if (arg == "--progress") {
            progress = true;
        } else if (arg.starts_with("--")) {
            return UsageError("unknown option " + std::string(arg));
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.size() != 2)
        return UsageError(files.size() < 2 ? "IN and OUT are needed" : "only IN and OUT can be given");
    if (!format)
        format = OutputFromName(files[1]);
    if (!format)
        return UsageError("OUT's name says no format (.las, .laz, .copc.laz): give --format");
    options.output = *format;

    // A file size limit makes write() fail with EFBIG rather than end the process, so the
    // temporary file is cleaned up; Ctrl+C cancels and cleans up the same way.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    ThreadPool pool(threads);
    options.pool = &pool;
    double lastPrinted = -1;
    options.progress = [&](double fraction) {
        if (progress && fraction - lastPrinted >= 0.01) {
            std::cerr << fraction << '\n';
            lastPrinted = fraction;
        }
        return !g_interrupted.load();
    };
    options.warning = [](const std::string& text) { std::cerr << "orrisk-convert: warning: " << text << '\n'; };

    const WriteResult result = ConvertPointCloud(files[0], files[1], options);
    if (!result) {
        std::cerr << "orrisk-convert: " << result.Failure().reason << '\n';
        return ExitCodeFor(result.Failure().code);
    }
    if (progress && lastPrinted < 1.0)
        std::cerr << 1 << '\n';
    return 0;
}
