#include "convert/ConvertPointCloud.h"

#include "convert/CopcBuilder.h"
#include "convert/CrsWkt.h"
#include "convert/PointRecordSource.h"
#include "io/las/ExtendedRecords.h"
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

// Passes the records on; the format it announces gains the WKT a LAS 1.4 file states its CRS
// in when the source has GeoTIFF keys only. Notes what the COPC output cannot keep.
class Las14Crs : public PointRecordSink {
public:
    Las14Crs(PointRecordSink& next, bool& crsLost, bool& wavePacketsDropped)
        : m_next(next), m_crsLost(crsLost), m_wavePacketsDropped(wavePacketsDropped)
    {
    }
    bool Begin(const PointRecordFormat& format) override
    {
        PointRecordFormat stated = format;
        m_crsLost = !AddWktFromGeoTiff(stated);
        const std::optional<las::ExtendedMapping> mapping = las::PlanExtendedMapping(format.format, format.recordLength);
        m_wavePacketsDropped = mapping && mapping->dropsWavePackets;
        return m_next.Begin(stated);
    }
    bool Take(const unsigned char* records, std::size_t count) override { return m_next.Take(records, count); }

private:
    PointRecordSink& m_next;
    bool& m_crsLost;
    bool& m_wavePacketsDropped;
};

WriteResult WriteCopc(const std::string& source, const std::string& target, const ConvertOptions& options)
{
    bool crsLost = false;
    bool wavePacketsDropped = false;
    // The builder reads the source twice and reports its own progress over both reads.
    const PointRecordSource records = [&](PointRecordSink& sink) {
        Las14Crs crs(sink, crsLost, wavePacketsDropped);
        return StreamPointRecords(source, crs, {nullptr, options.pool}, options.quantisation);
    };
    CopcBuildOptions build;
    build.memoryBytes = options.memoryBytes;
    build.pool = options.pool;
    build.progress = options.progress;
    const WriteResult written = BuildCopc(records, target, build);
    if (written && options.warning) {
        if (crsLost)
            options.warning("the source's GeoTIFF keys name no CRS that could be written as WKT; the COPC file keeps "
                            "the keys only");
        if (wavePacketsDropped)
            options.warning("COPC has no wave packets: they were left out");
    }
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
    return WriteCopc(source, target, options);
}
