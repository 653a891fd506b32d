// The LAS reader.
#include "FuzzInputFile.h"
#include "PointCloudChecks.h"
#include "io/las/LasReader.h"
#include "scene/PointCloudData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.las");
    const ReadResult<PointCloudData> result = ReadLas(file.Write(data, size));
    if (!result) {
        if (result.Failure().reason.empty())
            std::abort();
        return 0;
    }
    const PointCloudData& cloud = result.Value();
    if (cloud.positions.empty() || !ArraysMatchPositions(cloud))
        std::abort();
    return 0;
}
