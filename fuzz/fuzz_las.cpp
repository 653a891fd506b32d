// The LAS reader.
#include "FuzzInputFile.h"
#include "scene/PointCloudData.h"
#include "io/LasReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.las");
    PointCloudData cloud;
    const bool loaded = LoadLas(file.Write(data, size), cloud);
    if (loaded && (cloud.positions.empty() || (cloud.hasColors && cloud.colors.size() != cloud.positions.size())))
        std::abort();
    if (!loaded && !cloud.positions.empty())
        std::abort();
    return 0;
}
