#include "document/SceneReaders.h"

#include "io/copc/CopcReader.h"
#include "io/core/FileName.h"
#include "io/las/LasReader.h"
#include "io/laz/LazReader.h"
#include "io/ply/PlyReader.h"
#include "io/splat/SplatReader.h"

#include <array>

namespace {

// A reader's record as a scene, its failure as it is; its notes go along.
template <typename Record, ReadResult<Record> (*Read)(const std::string&, const ReadOptions&)>
ReadResult<Scene> ReadScene(const std::string& path, const ReadOptions& options)
{
    ReadResult<Record> result = Read(path, options);
    ReadResult<Scene> scene = result ? ReadResult<Scene>(Scene(result.TakeValue())) : ReadResult<Scene>(result.Failure());
    scene.AddNotes(result.TakeNotes());
    return scene;
}

ReadResult<GaussianData> ReadDetectedSplatFormat(const std::string& path, const ReadOptions& options)
{
    return ReadSplatFormat(DetectSplatFormat(path), path, options);
}

ReadResult<PointCloudData> ReadStreamedCopc(const std::string& path, const ReadOptions& options)
{
    return ReadCopcStreamed(path, options);
}

const std::array kReaders{
    SceneReader{[](const std::string& path, std::string_view) { return IsGaussianSplatPly(path); },
                ReadScene<GaussianData, ReadGaussianPly>, OpenFailureKind::SplatScene},
    // The shared splat formats: by content (SPZ, compressed PLY, SOG), then by extension.
    SceneReader{[](const std::string& path, std::string_view) { return DetectSplatFormat(path) != SplatFormat::None; },
                ReadScene<GaussianData, ReadDetectedSplatFormat>, OpenFailureKind::SplatScene},
    SceneReader{[](const std::string&, std::string_view extension) { return extension == "ply"; },
                ReadScene<PointCloudData, ReadPly>, OpenFailureKind::PointCloud},
    // COPC: a LAZ file whose hierarchy lets it be drawn node by node, read as it is drawn.
    SceneReader{[](const std::string& path, std::string_view extension) {
                    return (extension == "laz" || extension == "las") && IsCopcFile(path);
                },
                ReadScene<PointCloudData, ReadStreamedCopc>, OpenFailureKind::PointCloud},
    // LAZ: by name, or a LAS file whose points LASzip compressed.
    SceneReader{[](const std::string& path, std::string_view extension) {
                    return extension == "laz" || (extension == "las" && IsLaszipCompressedLas(path));
                },
                ReadScene<PointCloudData, ReadLaz>, OpenFailureKind::PointCloud},
    SceneReader{[](const std::string&, std::string_view extension) { return extension == "las"; },
                ReadScene<PointCloudData, ReadLas>, OpenFailureKind::PointCloud},
};

}  // namespace

const OpenFailureKind kUnknownSceneFileFailure = OpenFailureKind::PointCloud;
const char* const kUnknownSceneFileReason =
    "the file is no splat scene, and its name ends in none of .ply, .las, .laz, .spz, .sog and .splat";

std::span<const SceneReader> SceneReaders()
{
    return kReaders;
}

const SceneReader* FindSceneReader(const std::string& path)
{
    const std::string extension = FileExtension(path);
    for (const SceneReader& reader : kReaders)
        if (reader.accepts(path, extension))
            return &reader;
    return nullptr;
}
