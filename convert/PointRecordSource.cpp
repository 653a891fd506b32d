#include "convert/PointRecordSource.h"

#include "io/copc/CopcHeader.h"
#include "io/core/ReadOnlyFile.h"
#include "io/las/LasRecordStream.h"
#include "io/laz/LazReader.h"
#include "io/splat/SplatReader.h"

#include <array>
#include <cstring>
#include <algorithm>
#include <optional>

PointCloudFileKind SniffPointCloudFile(const std::string& path)
{
    std::array<std::uint8_t, kCopcPrefixSize> prefix{};
    const ReadOnlyFile file(path);
    const std::optional<std::uint64_t> size = file.RegularFileSize();
    const std::size_t got = size ? static_cast<std::size_t>(std::min<std::uint64_t>(*size, prefix.size())) : 0;
    if (got == 0 || !file.ReadAt(0, prefix.data(), got))
        return PointCloudFileKind::Unknown;
    if (got >= 4 && std::memcmp(prefix.data(), "ply", 3) == 0 && (prefix[3] == '\n' || prefix[3] == '\r'))
        return PointCloudFileKind::Ply;
    if (got < 105 || std::memcmp(prefix.data(), "LASF", 4) != 0)
        return PointCloudFileKind::Unknown;
    if (got == prefix.size() && LooksLikeCopc(prefix))
        return PointCloudFileKind::Copc;
    return (prefix[104] & 0x80) ? PointCloudFileKind::Laz : PointCloudFileKind::Las;
}

ReadResult<PointRecordFormat> StreamPointRecords(const std::string& path, PointRecordSink& sink, const ReadOptions& options,
                                                 const PlyQuantisation& quantisation)
{
    switch (SniffPointCloudFile(path)) {
    case PointCloudFileKind::Las:
        return StreamLasRecords(path, sink, options);
    case PointCloudFileKind::Laz:
    case PointCloudFileKind::Copc:
        return StreamLazRecords(path, sink, options);
    case PointCloudFileKind::Ply:
        if (IsGaussianSplatPly(path))
            return Fail(ReadError::NotRecognised, "a Gaussian splat scene, not a point cloud");
        return StreamPlyRecords(path, sink, options, quantisation);
    case PointCloudFileKind::Unknown:
        break;
    }
    if (!ReadOnlyFile(path).RegularFileSize())
        return Fail(ReadError::CannotOpen, "cannot open the file");
    return Fail(ReadError::NotRecognised, "not a LAS, LAZ, COPC or PLY point cloud");
}
