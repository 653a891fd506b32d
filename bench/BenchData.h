#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

// Benchmark inputs are written by ../shared/tools/make-bench-data (scripts/bench.sh does it)
// into $ORRISK_BENCH_DATA, or bench-data/ in the checkout.
inline std::filesystem::path BenchDataFile(const std::string& name)
{
    const char* dir = std::getenv("ORRISK_BENCH_DATA");
    return std::filesystem::path(dir && *dir ? dir : ORRISK_DEFAULT_BENCH_DATA) / name;
}

// Skips the benchmark with a message when its input is missing; true when present.
inline bool RequireBenchFile(benchmark::State& state, const std::filesystem::path& path)
{
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec))
        return true;
    state.SkipWithError(("missing " + path.string() + " (run scripts/bench.sh)").c_str());
    return false;
}

// The floor every reader is measured against: the whole file read into one freshly
// allocated buffer.
inline std::size_t PlainReadIntoFreshBuffer(const std::filesystem::path& path)
{
    const auto size = std::filesystem::file_size(path);
    std::unique_ptr<char[]> buffer(new char[size]);
    std::ifstream in(path, std::ios::binary);
    in.read(buffer.get(), static_cast<std::streamsize>(size));
    benchmark::DoNotOptimize(buffer.get());
    benchmark::ClobberMemory();
    return static_cast<std::size_t>(in.gcount());
}
