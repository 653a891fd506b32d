#include "convert/ConvertPointCloud.h"

#include "convert/PointRecordSource.h"
#include "io/laz/PointFileWriter.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

// A reader's failure as the conversion's: a cancelled read is a cancelled conversion, a PLY
// coordinate that does not fit the scale refuses the request, anything else is the source's.
WriteFailure FromRead(const ReadFailure& failure, const std::string& source)
{
    switch (failure.code) {
    case ReadError::Cancelled: return {WriteError::Cancelled, "cancelled"};
    case ReadError::TooLarge:
        if (SniffPointCloudFile(source) == PointCloudFileKind::Ply)
            return {WriteError::Refused, failure.reason};
        break;
    default: break;
    }
    return {WriteError::SourceFailed, source + ": " + failure.reason};
}

WriteResult WriteLasOrLaz(const std::string& source, const std::string& target, const ConvertOptions& options)
{
    PointFileOptions fileOptions;
    fileOptions.compress = options.output == PointCloudOutput::Laz;
    fileOptions.chunkSize = options.chunkSize;
    fileOptions.pool = options.pool;
    PointFileWriter writer(target, fileOptions);
    const ReadResult<PointRecordFormat> read = StreamPointRecords(source, writer, {options.progress, options.pool}, options.quantisation);
    if (writer.Failure())
        return *writer.Failure();
    if (!read)
        return FromRead(read.Failure(), source);
    const WriteResult written = writer.Finish();
    if (written && writer.DroppedRecords() > 0 && options.warning)
        options.warning(std::to_string(writer.DroppedRecords()) + " extended records were too large for LAS "
                        "before 1.4 and were left out");
    return written;
}

}  // namespace

std::optional<PointCloudOutput> OutputFromName(const std::string& target)
{
    const std::string name = Lowered(std::filesystem::path(target).filename().string());
    if (name.ends_with(".copc.laz"))
        return PointCloudOutput::Copc;
    if (name.ends_with(".laz"))
        return PointCloudOutput::Laz;
    if (name.ends_with(".las"))
        return PointCloudOutput::Las;
    return std::nullopt;
}

WriteResult ConvertPointCloud(const std::string& source, const std::string& target, const ConvertOptions& options)
{
    if (source == target || SameFile(source, target))
        return WriteFailure{WriteError::Refused, "the target is the source file itself: " + target};
    if (options.chunkSize == 0)
        return WriteFailure{WriteError::Refused, "a LAZ chunk must hold at least one point"};
    switch (options.output) {
    case PointCloudOutput::Las:
    case PointCloudOutput::Laz:
        return WriteLasOrLaz(source, target, options);
    case PointCloudOutput::Copc:
        break;
    }
    return WriteFailure{WriteError::Refused, "COPC output is not available"};
}
