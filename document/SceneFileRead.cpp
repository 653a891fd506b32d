#include "document/SceneFileRead.h"

#include "document/ReadNotesLog.h"
#include "document/SceneReaders.h"
#include "io/core/ReadOnlyFile.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace {

// What opening a document needs before anything is emptied: a regular file that can be
// opened for reading. Directories, devices and pipes are turned away.
bool CanOpenForReading(const std::string& path)
{
    const ReadOnlyFile file(path);
    return file.RegularFileSize().has_value();
}

// Why a file that CanOpenForReading turned away cannot be opened, in one line.
std::string WhyNotReadable(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status))
        return "the file does not exist";
    if (!std::filesystem::is_regular_file(status))
        return "it is not a regular file";
    return "the file cannot be opened for reading";
}

}  // namespace

SceneFileRead ReadSceneFile(const std::string& path, const ReadOptions& options)
{
    if (!CanOpenForReading(path))
        return {path, Fail(ReadError::CannotOpen, WhyNotReadable(path)), OpenFailureKind::Unreadable, true};
    const SceneReader* reader = FindSceneReader(path);
    if (!reader)
        return {path, Fail(ReadError::NotRecognised, kUnknownSceneFileReason), kUnknownSceneFileFailure, false};
    ReadResult<Scene> scene = reader->read(path, options);
    LogReadNotes(scene.TakeNotes());  // here, on the reading thread, as the reader found them
    return {path, std::move(scene), reader->failureKind, false};
}
