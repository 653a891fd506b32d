#include "convert/CrsWkt.h"

#include "io/core/LittleEndian.h"

#include <proj.h>
#include <proj_experimental.h>

#include <memory>

namespace {

constexpr std::uint16_t kGeoKeyDirectory = 34735;
constexpr std::uint16_t kWktRecord = 2112;
constexpr std::uint16_t kGeographicTypeKey = 2048;
constexpr std::uint16_t kProjectedTypeKey = 3072;
constexpr std::uint16_t kVerticalTypeKey = 4096;
constexpr std::uint16_t kUserDefined = 32767;
constexpr std::uint16_t kWktGlobalEncodingBit = 1u << 4;

bool IsProjection(const VariableLengthRecord& record, std::uint16_t id)
{
    return record.userId == "LASF_Projection" && record.recordId == id;
}

// The value of a GeoTIFF key held in the directory itself (location 0); 0 when absent.
std::uint16_t ShortKey(const std::vector<unsigned char>& directory, std::uint16_t wanted)
{
    if (directory.size() < 8)
        return 0;
    const std::size_t count = LoadLE<std::uint16_t>(directory.data() + 6);
    for (std::size_t i = 0; i < count && 8 + 8 * (i + 1) <= directory.size(); ++i) {
        const unsigned char* entry = directory.data() + 8 + 8 * i;
        if (LoadLE<std::uint16_t>(entry) == wanted && LoadLE<std::uint16_t>(entry + 2) == 0)
            return LoadLE<std::uint16_t>(entry + 6);
    }
    return 0;
}

struct ContextDeleter {
    void operator()(PJ_CONTEXT* context) const { proj_context_destroy(context); }
};
struct ObjectDeleter {
    void operator()(PJ* object) const { proj_destroy(object); }
};
using Context = std::unique_ptr<PJ_CONTEXT, ContextDeleter>;
using Object = std::unique_ptr<PJ, ObjectDeleter>;

Object FromEpsg(PJ_CONTEXT* context, std::uint16_t code)
{
    if (code == 0 || code == kUserDefined)
        return nullptr;
    return Object(proj_create_from_database(context, "EPSG", std::to_string(code).c_str(), PJ_CATEGORY_CRS, 0, nullptr));
}

}  // namespace

bool HasWktCrs(const std::vector<VariableLengthRecord>& vlrs)
{
    for (const VariableLengthRecord& record : vlrs)
        if (IsProjection(record, kWktRecord))
            return true;
    return false;
}

bool HasGeoTiffCrs(const std::vector<VariableLengthRecord>& vlrs)
{
    for (const VariableLengthRecord& record : vlrs)
        if (IsProjection(record, kGeoKeyDirectory))
            return true;
    return false;
}

std::optional<std::string> WktOfGeoTiffKeys(const std::vector<VariableLengthRecord>& vlrs)
{
    const VariableLengthRecord* directory = nullptr;
    for (const VariableLengthRecord& record : vlrs)
        if (IsProjection(record, kGeoKeyDirectory))
            directory = &record;
    if (!directory)
        return std::nullopt;
    std::uint16_t horizontal = ShortKey(directory->data, kProjectedTypeKey);
    if (horizontal == 0 || horizontal == kUserDefined)
        horizontal = ShortKey(directory->data, kGeographicTypeKey);
    const std::uint16_t vertical = ShortKey(directory->data, kVerticalTypeKey);

    const Context context(proj_context_create());
    if (!context)
        return std::nullopt;
    proj_context_set_enable_network(context.get(), 0);
    proj_log_level(context.get(), PJ_LOG_NONE);
    Object crs = FromEpsg(context.get(), horizontal);
    if (!crs)
        return std::nullopt;
    if (const Object verticalCrs = FromEpsg(context.get(), vertical)) {
        const std::string name = std::string(proj_get_name(crs.get())) + " + " + proj_get_name(verticalCrs.get());
        if (Object compound{proj_create_compound_crs(context.get(), name.c_str(), crs.get(), verticalCrs.get())})
            crs = std::move(compound);
    }
    const char* const options[] = {"MULTILINE=NO", nullptr};
    const char* wkt = proj_as_wkt(context.get(), crs.get(), PJ_WKT1_GDAL, options);
    if (!wkt)
        return std::nullopt;
    return std::string(wkt);
}

VariableLengthRecord WktRecord(const std::string& wkt)
{
    VariableLengthRecord record;
    record.userId = "LASF_Projection";
    record.recordId = kWktRecord;
    record.description = "OGC WKT";
    record.data.assign(wkt.begin(), wkt.end());
    record.data.push_back(0);
    return record;
}

bool AddWktFromGeoTiff(PointRecordFormat& format)
{
    if (HasWktCrs(format.vlrs) || !HasGeoTiffCrs(format.vlrs))
        return true;
    const std::optional<std::string> wkt = WktOfGeoTiffKeys(format.vlrs);
    if (!wkt)
        return false;
    format.vlrs.push_back(WktRecord(*wkt));
    format.globalEncoding |= kWktGlobalEncodingBit;
    return true;
}
