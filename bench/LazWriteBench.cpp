#include "BenchData.h"

#include "io/core/LittleEndian.h"
#include "io/las/LasRecords.h"
#include "io/laz/LazWriter.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

// The LAZ encoder on the benchmark's 20-million-point LAS file and on the LAS files of the
// writer's reference pairs (laz-write/): their records held in memory, compressed into chunks
// by LazChunkWriter on one thread and on a pool of two, the setting the target is
// stated for (LAS to LAZ with two threads at least 1.6 times the reference compressor's
// single-thread points per second). size_vs_reference is the compressed size over the
// reference's, for the pairs: 1 when the bytes are the same.

namespace {

struct LasRecords {
    las::LasHeader header;
    std::vector<unsigned char> bytes;
    std::uint64_t referenceChunkBytes = 0;
};

std::vector<unsigned char> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

las::LasHeader HeaderOf(const std::vector<unsigned char>& file)
{
    las::HeaderImage image{};
    std::copy_n(file.begin(), std::min(file.size(), image.size()), image.begin());
    return las::ParseHeader(image);
}

// The LAS file's records, and the size of the reference's chunks where there is a pair.
LasRecords Load(const std::filesystem::path& lasPath)
{
    LasRecords las;
    las.bytes = ReadBytes(lasPath);
    las.header = HeaderOf(las.bytes);
    const auto referencePath = lasPath.parent_path() / (lasPath.stem().string() + ".laszip.laz");
    std::error_code ec;
    if (std::filesystem::is_regular_file(referencePath, ec)) {
        const std::vector<unsigned char> reference = ReadBytes(referencePath);
        const las::LasHeader referenceHeader = HeaderOf(reference);
        const auto tableOffset = LoadLE<std::uint64_t>(reference.data() + referenceHeader.pointDataOffset);
        las.referenceChunkBytes = tableOffset - referenceHeader.pointDataOffset - 8;
    }
    return las;
}

std::filesystem::path PairFile(const char* name)
{
    return std::filesystem::path(ORRISK_TESTDATA_DIR) / "laz-write" / name;
}

}  // namespace

static void BM_EncodeLaz(benchmark::State& state, const std::filesystem::path& path)
{
    if (!RequireBenchFile(state, path))
        return;
    const auto threads = static_cast<unsigned>(state.range(0));
    std::unique_ptr<ThreadPool> pool = threads > 1 ? std::make_unique<ThreadPool>(threads) : nullptr;
    const LasRecords las = Load(path);
    const laz::LazLayout layout = laz::LayoutForFormat(las.header.format, las.header.recordLength).value();
    std::uint64_t written = 0;
    for (auto _ : state) {
        written = 0;
        laz::LazChunkWriter writer(layout, las.header.recordLength, [&](const unsigned char*, std::size_t size) {
            written += size;
            return true;
        }, pool.get());
        writer.Add(las.bytes.data() + las.header.pointDataOffset, las.header.pointCount);
        if (!writer.Finish())
            state.SkipWithError("the writer failed");
    }
    state.counters["threads"] = threads;
    state.counters["points_per_s"] = benchmark::Counter(static_cast<double>(las.header.pointCount),
                                                        benchmark::Counter::kIsIterationInvariantRate);
    if (las.referenceChunkBytes != 0)
        state.counters["size_vs_reference"] = static_cast<double>(written) / static_cast<double>(las.referenceChunkBytes);
}
BENCHMARK_CAPTURE(BM_EncodeLaz, cloud_20m_f3, BenchDataFile("cloud-20m-f3.las"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_EncodeLaz, autzen_trim_f3, PairFile("autzen_trim.las"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_EncodeLaz, stress_f1, PairFile("stress_f1.las"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_EncodeLaz, stress_f7, PairFile("stress_f7.las"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_EncodeLaz, stress_f10, PairFile("stress_f10.las"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_EncodeLaz, wkt_geotiff_f6, PairFile("file_with_both_wkt_and_geotiff_vlrs.las"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
