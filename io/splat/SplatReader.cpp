#include "io/splat/SplatReader.h"

#include "io/core/FileName.h"
#include "io/splat/AntimatterSplatReader.h"
#include "io/splat/CompressedPlyReader.h"
#include "io/splat/SogReader.h"
#include "io/splat/SplatBytes.h"
#include "io/splat/SpzReader.h"

SplatFormat DetectSplatFormat(const std::string& path)
{
    if (IsSpzFile(path))
        return SplatFormat::Spz;
    if (IsCompressedSplatPly(path))
        return SplatFormat::CompressedPly;
    if (IsSogFile(path))
        return SplatFormat::Sog;
    const std::string extension = FileExtension(path);
    if (extension == "spz")
        return SplatFormat::Spz;
    if (extension == "sog")
        return SplatFormat::Sog;
    if (extension == "splat")
        return SplatFormat::AntimatterSplat;
    if (LowerCaseFileName(path).ends_with(".compressed.ply"))
        return SplatFormat::CompressedPly;
    return SplatFormat::None;
}

ReadResult<GaussianData> ReadSplatFormat(SplatFormat format, const std::string& path, const ReadOptions& options)
{
    switch (format) {
    case SplatFormat::Spz: return ReadSpz(path, options);
    case SplatFormat::CompressedPly: return ReadCompressedSplatPly(path, options);
    case SplatFormat::Sog: return ReadSog(path, options);
    case SplatFormat::AntimatterSplat: return ReadSplatFile(path, options);
    case SplatFormat::None: break;
    }
    return Fail(ReadError::NotRecognised, "not a splat scene of a known format: " + path);
}
