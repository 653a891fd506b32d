#include "BenchData.h"

#include "settings/AppSettings.h"

#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Settings files far beyond any real one: they are generated here, not taken from bench data.
enum class Shape { MillionKeys, EmptyLinesAtTheBound };

std::filesystem::path WriteSettingsFile(Shape shape)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("orrisk-settings-bench-" + std::to_string(::getpid()) + ".ini");
    std::string text;
    if (shape == Shape::MillionKeys) {
        text = "[Recent]\n";
        for (int i = 0; i < 1000000; ++i)
            text += "k" + std::to_string(i) + "=1\n";
        text += "[Display]\nPointSize=4.0\n[View]\nSegSeed=7\n";
    } else {
        text.assign((std::size_t{16} << 20) - 64, '\n');
        text += "[Display]\nPointSize=4.0\n";
    }
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

void BM_LoadSettings(benchmark::State& state, Shape shape)
{
    const auto path = WriteSettingsFile(shape);
    const auto bytes = std::filesystem::file_size(path);
    for (auto _ : state) {
        AppSettings settings;
        LoadSettingsFrom(path, settings);
        benchmark::DoNotOptimize(settings);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    std::filesystem::remove(path);
}

void BM_SaveSettings(benchmark::State& state, Shape shape)
{
    const auto path = WriteSettingsFile(shape);
    const auto bytes = std::filesystem::file_size(path);
    AppSettings settings;
    for (auto _ : state) {
        settings.segSeed += 1;  // a real change each time, so the file is rewritten
        SaveSettingsTo(path, settings);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    std::filesystem::remove(path);
}

}  // namespace

BENCHMARK_CAPTURE(BM_LoadSettings, million_keys, Shape::MillionKeys)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadSettings, empty_lines_16mib, Shape::EmptyLinesAtTheBound)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveSettings, million_keys, Shape::MillionKeys)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveSettings, empty_lines_16mib, Shape::EmptyLinesAtTheBound)->Unit(benchmark::kMillisecond);
