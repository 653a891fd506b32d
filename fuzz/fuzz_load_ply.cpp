// The point-cloud PLY reader, streamed binary and stored roads alike.
#include "FuzzInputFile.h"
#include "PointCloudChecks.h"
#include "io/ply/PlyReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.ply");
    const ReadResult<PointCloudData> result = ReadPly(file.Write(data, size));
    if (!result) {
        if (result.Failure().reason.empty())
            std::abort();
        return 0;
    }
    const PointCloudData& cloud = result.Value();
    if (cloud.positions.empty() || !ArraysMatchPositions(cloud) || !BoundsMatchPositions(cloud))
        std::abort();
    return 0;
}
