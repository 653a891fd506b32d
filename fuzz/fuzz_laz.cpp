// The LAZ decoder: every field of every record, then the viewer's load of the same bytes.
#include "FuzzInputFile.h"
#include "PointCloudChecks.h"
#include "scene/PointCloudData.h"
#include "io/laz/LazReader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.laz");
    const std::string path = file.Write(data, size);
    std::uint64_t delivered = 0;
    const ReadResult<LazFileInfo> decoded = DecodeLazRecords(path, laz::kAllFields,
        [&](std::uint64_t firstPoint, const unsigned char* records, std::size_t count) {
            if (firstPoint != delivered || records == nullptr || count == 0)
                std::abort();  // without a pool, chunks arrive whole and in order
            delivered += count;
        });
    if (decoded.Ok() && delivered != decoded.Value().header.pointCount)
        std::abort();
    if (!decoded.Ok() && decoded.Failure().reason.rfind("LAZ: ", 0) != 0)
        std::abort();

    // The viewer's load skips layers it does not show, so only a full decode's success binds it.
    const ReadResult<PointCloudData> loaded = ReadLaz(path);
    if (decoded.Ok() && !loaded.Ok())
        std::abort();
    if (decoded.Ok() && (loaded.Value().positions.size() != delivered
                         || (loaded.Value().hasColors && loaded.Value().colors.size() != delivered)))
        std::abort();
    if (loaded.Ok() && !ArraysMatchPositions(loaded.Value()))
        std::abort();
    return 0;
}
