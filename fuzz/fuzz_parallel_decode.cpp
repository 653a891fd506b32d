// The LAS, PLY and splat PLY readers on one thread and on a pool must agree: the same notes,
// and the same failure code or records equal byte for byte.
#include "FuzzInputFile.h"
#include "io/las/LasReader.h"
#include "io/ply/PlyReader.h"
#include "io/splat/SplatReader.h"
#include "platform/ThreadPool.h"

#include <cstdlib>
#include <cstring>

namespace {

template <typename T, typename A>
void RequireSame(const std::vector<T, A>& a, const std::vector<T, A>& b)
{
    if (a.size() != b.size() || (!a.empty() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) != 0))
        std::abort();
}

template <typename Record, typename Compare>
void RequireAgreement(const ReadResult<Record>& serial, const ReadResult<Record>& parallel, Compare compare)
{
    if (serial.Ok() != parallel.Ok() || serial.Notes().size() != parallel.Notes().size())
        std::abort();
    for (std::size_t i = 0; i < serial.Notes().size(); ++i) {
        const ReadNote& a = serial.Notes()[i];
        const ReadNote& b = parallel.Notes()[i];
        if (a.level != b.level || a.component != b.component || a.text != b.text)
            std::abort();
    }
    if (!serial) {
        if (serial.Failure().code != parallel.Failure().code || parallel.Failure().reason.empty())
            std::abort();
        return;
    }
    compare(serial.Value(), parallel.Value());
    if (std::memcmp(serial.Value().origin.data(), parallel.Value().origin.data(), 3 * sizeof(double)) != 0)
        std::abort();
}

void SameCloud(const PointCloudData& a, const PointCloudData& b)
{
    RequireSame(a.positions, b.positions);
    RequireSame(a.colors, b.colors);
    if (std::memcmp(&a.boundsMin, &b.boundsMin, sizeof a.boundsMin) != 0 ||
        std::memcmp(&a.boundsMax, &b.boundsMax, sizeof a.boundsMax) != 0)
        std::abort();
}

void SameSplats(const GaussianData& a, const GaussianData& b)
{
    RequireSame(a.positions, b.positions);
    RequireSame(a.shDc, b.shDc);
    RequireSame(a.shRest, b.shRest);
    RequireSame(a.opacities, b.opacities);
    RequireSame(a.scales, b.scales);
    RequireSame(a.rotations, b.rotations);
    RequireSame(a.objectIds, b.objectIds);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.bin");
    static ThreadPool pool(3);
    const std::string& path = file.Write(data, size);
    const ReadOptions onPool{{}, &pool};
    RequireAgreement(ReadLas(path), ReadLas(path, onPool), SameCloud);
    RequireAgreement(ReadPly(path), ReadPly(path, onPool), SameCloud);
    RequireAgreement(ReadGaussianPly(path), ReadGaussianPly(path, onPool), SameSplats);
    return 0;
}
