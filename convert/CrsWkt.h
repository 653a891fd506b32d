#pragma once

#include "io/core/PointRecords.h"

#include <optional>
#include <string>
#include <vector>

// LAS 1.4 point formats 6 to 10 state their CRS as WKT; older files as GeoTIFF keys.

// Whether the records carry a WKT CRS (LASF_Projection 2112) / GeoTIFF keys (34735).
bool HasWktCrs(const std::vector<VariableLengthRecord>& vlrs);
bool HasGeoTiffCrs(const std::vector<VariableLengthRecord>& vlrs);

// The WKT (OGC 2001, as LAS 1.4 asks) of the CRS the GeoTIFF keys name by EPSG code: the
// projected or geographic one, compound with the vertical one when there is one, from PROJ's
// database (never the network). Nothing when no key names a code or PROJ does not know it.
std::optional<std::string> WktOfGeoTiffKeys(const std::vector<VariableLengthRecord>& vlrs);

// The WKT VLR a LAS 1.4 file stores the text in (null-terminated).
VariableLengthRecord WktRecord(const std::string& wkt);

// Where the source has GeoTIFF keys but no WKT, adds the WKT VLR and sets the header's WKT
// bit; false when the keys name no CRS PROJ knows (the format is left as it was).
bool AddWktFromGeoTiff(PointRecordFormat& format);
