#include "io/poses/PoseReader.h"

#include "io/poses/TrainerCameras.h"
#include "io/poses/TransformsJson.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>

namespace {

// Far beyond any real pose file; a wrongly chosen huge file is turned away before it is read.
constexpr std::uintmax_t kMaxFileBytes = 256u << 20;

ReadResult<CameraPoseSet> ReadPoses(const std::string& path)
{
    // Only regular files: a directory opens as a stream but throws on the first read, and a
    // pipe could block forever.
    std::error_code ec;
    std::ifstream stream;
    if (std::filesystem::is_regular_file(path, ec))
        stream.open(path, std::ios::binary);
    if (!stream.is_open())
        return Fail(ReadError::CannotOpen, "Cannot open file.");
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxFileBytes)
        return Fail(ReadError::TooLarge, "File is too large.");
    // A trainer's cameras.json is a list where a transforms.json is an object; a list of
    // anything else is left to the transforms.json rules, which turn it away.
    if (StartsWithJsonArray(stream)) {
        ReadResult<CameraPoseSet> cameras = ReadTrainerCameraStream(stream);
        if (cameras || cameras.Failure().code != ReadError::NotRecognised)
            return cameras;
        stream.clear();
        stream.seekg(0);
    }
    return ReadTransformsJson(stream);
}

}  // namespace

ReadResult<CameraPoseSet> ReadCameraPoses(const std::string& path, const ReadOptions& options)
{
    if (!ReportProgress(options, 0.0))
        return Fail(ReadError::Cancelled, "Cancelled.");
    try {
        ReadResult<CameraPoseSet> poses = ReadPoses(path);
        if (!poses)
            return poses;
        if (!ReportProgress(options, 1.0))
            return Fail(ReadError::Cancelled, "Cancelled.");
        poses.Value().sourcePath = path;
        return poses;
    } catch (const std::bad_alloc&) {
        return Fail(ReadError::TooLarge, "Not enough memory to read the file.");
    } catch (...) {
        // Read errors surface as exceptions from the stream buffer.
        return Fail(ReadError::CannotOpen, "Cannot read file.");
    }
}
