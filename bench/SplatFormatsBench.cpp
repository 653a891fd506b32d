#include "BenchData.h"

#include "io/core/LittleEndian.h"
#include "io/splat/Decompress.h"
#include "io/splat/OverwriteBuffer.h"
#include "io/splat/SplatFinish.h"
#include "io/splat/SplatReader.h"
#include "io/splat/WebpImage.h"
#include "io/splat/ZipArchive.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <string_view>

// Each splat-format reader on make-bench-data's 1M-splat SH-3 scene converted to the format
// (scripts/make-splat-bench-data.sh), with the machine's cores, beside the decompression alone
// of the same file (BM_SplatDecompress: inflating, zstd-decoding or WebP-decoding its streams,
// in parallel where the reader decodes in parallel; reading the file where nothing is
// compressed) and the plain PLY load of the same scene with the same pool (.../ply). The CPU
// column is the whole process's, every thread's time together: on a shared machine it says
// more about the work done than the wall clock does. Where no GPU was there to cluster sog's SH
// palette, sog_sh0 is the scene without its SH and sog_100k its first tenth with SH: compare
// them with their own decompression (and sog_100k with ply_100k).

namespace {

// The scene every format was made from, loaded by the 3DGS PLY reader with the same pool.
constexpr const char* kPlainPly = "splat-1m-sh3.ply";

ThreadPool& BenchPool()
{
    static ThreadPool pool;
    return pool;
}

void ReportSizes(benchmark::State& state, const std::filesystem::path& path, std::size_t splats)
{
    const auto fileBytes = std::filesystem::file_size(path);
    state.SetBytesProcessed(static_cast<int64_t>(fileBytes) * state.iterations());
    state.SetItemsProcessed(static_cast<int64_t>(splats) * state.iterations());
    state.counters["file_MB"] = static_cast<double>(fileBytes) / 1e6;
}

// SPZ version 4: every stream zstd-decoded into its own buffer, the streams in parallel, the
// largest (the last) first.
bool DecodeSpzV4Streams(const Bytes& file)
{
    const std::size_t streams = std::min<std::size_t>(file[15], 8);
    const std::size_t table = LoadLE<std::uint32_t>(file.data() + 16);
    std::size_t offset = table + 16 * file[15];
    std::array<ByteSpan, 8> compressed;
    std::array<OverwriteBuffer, 8> decoded;
    for (std::size_t s = 0; s < streams; ++s) {
        const std::size_t size = LoadLE<std::uint64_t>(file.data() + table + 16 * s);
        decoded[s] = OverwriteBuffer(LoadLE<std::uint64_t>(file.data() + table + 16 * s + 8));
        compressed[s] = ByteSpan(file.data() + offset, size);
        offset += size;
    }
    std::atomic<bool> ok{true};
    ParallelFor(&BenchPool(), streams, [&](std::size_t task) {
        const std::size_t s = streams - 1 - task;
        if (ZstdDecodeExactly(compressed[s], decoded[s].data(), decoded[s].size(), "bench"))
            ok = false;
    });
    return ok;
}

// SPZ versions 1-3: the gzip stream inflated up to the end of the SH-3 attribute blocks.
bool InflateSpzGzip(const Bytes& file)
{
    InflateStream stream(file, InflateStream::Wrapping::Gzip, "bench");
    std::array<std::uint8_t, 16> header;
    if (stream.ReadExactly(header.data(), header.size()))
        return false;
    OverwriteBuffer payload(std::size_t{LoadLE<std::uint32_t>(header.data() + 8)} * (9 + 1 + 3 + 3 + 4 + 45));
    return !stream.ReadExactly(payload.data(), payload.size());
}

// SOG: every image read from the zip and WebP-decoded, the images in parallel.
bool DecodeSogImages(const std::string& path)
{
    ReadResult<ZipArchive> zip = ZipArchive::Open(path, "bench");
    if (!zip)
        return false;
    const auto& entries = zip.Value().Entries();
    std::atomic<bool> ok{true};
    ParallelFor(&BenchPool(), entries.size(), [&](std::size_t e) {
        if (!entries[e].name.ends_with(".webp"))
            return;
        ReadResult<Bytes> bytes = zip.Value().Read(entries[e], std::uint64_t{1} << 32);
        if (!bytes || !DecodeWebp(bytes.Value(), 0, std::size_t{1} << 28, entries[e].name))
            ok = false;
    });
    return ok;
}

bool IsPlainPly(std::string_view name)
{
    return name.ends_with(".ply") && !name.ends_with(".compressed.ply");
}

void BM_SplatFormatLoad(benchmark::State& state, const char* name)
{
    const auto path = BenchDataFile(name);
    if (!RequireBenchFile(state, path))
        return;
    std::size_t splats = 0;
    for (auto _ : state) {
        const ReadOptions options{{}, &BenchPool()};
        ReadResult<GaussianData> scene = IsPlainPly(name)
                                             ? ReadGaussianPly(path.string(), options)
                                             : ReadSplatFormat(DetectSplatFormat(path.string()), path.string(), options);
        if (!scene) {
            state.SkipWithError(scene.Failure().reason.c_str());
            return;
        }
        splats = scene.Value().positions.size();
        benchmark::DoNotOptimize(scene.Value().positions.data());
    }
    ReportSizes(state, path, splats);
}

void BM_SplatDecompress(benchmark::State& state, const char* name, std::size_t splats)
{
    const auto path = BenchDataFile(name);
    if (!RequireBenchFile(state, path))
        return;
    const std::string file = path.string();
    for (auto _ : state) {
        bool ok = true;
        if (file.ends_with(".sog")) {
            ok = DecodeSogImages(file);
        } else if (file.ends_with(".spz")) {
            ReadResult<Bytes> bytes = ReadFileBytes(file, "bench");
            ok = bytes && (bytes.Value()[0] == 0x1f ? InflateSpzGzip(bytes.Value()) : DecodeSpzV4Streams(bytes.Value()));
        } else {
            ok = PlainReadIntoFreshBuffer(path) > 0;  // nothing compressed: reading is the floor
        }
        if (!ok) {
            state.SkipWithError("decoding failed");
            return;
        }
    }
    ReportSizes(state, path, splats);
}

// What every reader's output costs before any decoding: a fresh 1M-splat SH-3 scene sized as
// the readers size it (the SH rest and the other arrays on two threads) and each of its values
// written once over the pool. A load cannot be faster than this plus its decompression's share
// of the cores.
void BM_SplatSceneOutput(benchmark::State& state)
{
    constexpr std::size_t kSplats = 1'000'000;
    constexpr std::size_t kRestCount = 45;
    for (auto _ : state) {
        GaussianData data;
        ParallelFor(&BenchPool(), 2, [&](std::size_t job) {
            if (job == 0)
                SizeSplatShRest(data, kSplats, kRestCount);
            else
                SizeSplatAttributes(data, kSplats);
        });
        ForSplatRanges(&BenchPool(), kSplats, [&](std::size_t first, std::size_t end) {
            std::fill(data.positions.begin() + first, data.positions.begin() + end, Eigen::Vector3f(1, 2, 3));
            std::fill(data.shDc.begin() + first, data.shDc.begin() + end, Eigen::Vector3f(0.5f, 0.5f, 0.5f));
            std::fill(data.opacities.begin() + first, data.opacities.begin() + end, 0.5f);
            std::fill(data.scales.begin() + first, data.scales.begin() + end, Eigen::Vector3f(1, 1, 1));
            std::fill(data.rotations.begin() + first, data.rotations.begin() + end, Eigen::Vector4f(1, 0, 0, 0));
            std::fill(data.shRest.begin() + first * kRestCount, data.shRest.begin() + end * kRestCount, 0.25f);
        });
        benchmark::DoNotOptimize(data.shRest.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(kSplats) * state.iterations());
}

}  // namespace

BENCHMARK(BM_SplatSceneOutput)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

#define ORRISK_SPLAT_FORMAT_BENCH(label, file, splats)                                                                   \
    BENCHMARK_CAPTURE(BM_SplatFormatLoad, label, file)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime(); \
    BENCHMARK_CAPTURE(BM_SplatDecompress, label, file, splats)                                                         \
        ->Unit(benchmark::kMillisecond)                                                                                \
        ->MeasureProcessCPUTime()                                                                                      \
        ->UseRealTime();

ORRISK_SPLAT_FORMAT_BENCH(spz_v4, "splat-1m-sh3.spz", 1'000'000)
ORRISK_SPLAT_FORMAT_BENCH(spz_v3, "splat-1m-sh3_v3.spz", 1'000'000)
ORRISK_SPLAT_FORMAT_BENCH(compressed_ply, "splat-1m-sh3.compressed.ply", 1'000'000)
ORRISK_SPLAT_FORMAT_BENCH(sog, "splat-1m-sh3.sog", 1'000'000)
ORRISK_SPLAT_FORMAT_BENCH(sog_sh0, "splat-1m-sh0.sog", 1'000'000)
ORRISK_SPLAT_FORMAT_BENCH(splat, "splat-1m-sh3.splat", 1'000'000)
ORRISK_SPLAT_FORMAT_BENCH(ply, kPlainPly, 1'000'000)
// The first tenth of the same scene, for SOG with its SH where only the CPU can cluster the
// palette (scripts/make-splat-bench-data.sh), beside the plain PLY of that tenth.
ORRISK_SPLAT_FORMAT_BENCH(sog_100k, "splat-100k-sh3.sog", 100'000)
ORRISK_SPLAT_FORMAT_BENCH(ply_100k, "splat-100k-sh3.ply", 100'000)
