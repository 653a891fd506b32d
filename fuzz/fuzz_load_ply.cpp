// The point-cloud PLY loader, streamed binary and stored roads alike.
#include "FuzzInputFile.h"
#include "io/PlyLoader.h"
#include "platform/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.ply");
    const ScopedLogCapture quiet;  // keeps the loader's log lines out of the fuzzer's output
    PointCloudData cloud;
    const bool loaded = CPlyLoader::LoadPly(file.Write(data, size), cloud);
    if (loaded && (cloud.positions.empty() || (cloud.hasColors && cloud.colors.size() != cloud.positions.size())))
        std::abort();
    if (!loaded && !cloud.positions.empty())
        std::abort();
    return 0;
}
