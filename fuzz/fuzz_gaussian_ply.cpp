// The splat header sniff, and the splat reader on whatever the sniff lets through (and, so the
// reader sees every input, on the rest too).
#include "FuzzInputFile.h"
#include "io/splat/SplatReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.ply");
    const std::string& path = file.Write(data, size);
    (void)IsGaussianSplatPly(path);
    const ReadResult<GaussianData> result = ReadGaussianPly(path);
    if (result) {
        const GaussianData& splats = result.Value();
        const std::size_t n = splats.positions.size();
        if (n == 0 || splats.shDc.size() != n || splats.opacities.size() != n || splats.scales.size() != n ||
            splats.rotations.size() != n || splats.shRest.size() != n * static_cast<std::size_t>(splats.shRestCount) ||
            (splats.hasObjectIds && splats.objectIds.size() != n))
            std::abort();
    } else if (result.Failure().reason.empty()) {
        std::abort();
    }
    return 0;
}
