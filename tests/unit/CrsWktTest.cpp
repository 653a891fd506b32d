#include "convert/CrsWkt.h"
#include "io/core/LittleEndian.h"
#include "io/las/LasRecordStream.h"
#include "support/RecordCollector.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <initializer_list>

using testsupport::RecordCollector;
using testsupport::TestDataFile;

namespace {

VariableLengthRecord GeoKeys(std::initializer_list<std::pair<std::uint16_t, std::uint16_t>> keys)
{
    VariableLengthRecord record{"LASF_Projection", 34735, "GeoTIFF GeoKeyDirectoryTag", {}, false};
    record.data.resize(8 + 8 * keys.size());
    StoreLE(record.data.data(), std::uint16_t{1});
    StoreLE(record.data.data() + 2, std::uint16_t{1});
    StoreLE(record.data.data() + 6, static_cast<std::uint16_t>(keys.size()));
    std::size_t i = 0;
    for (const auto& [key, value] : keys) {
        StoreLE(record.data.data() + 8 + 8 * i, key);
        StoreLE(record.data.data() + 8 + 8 * i + 4, std::uint16_t{1});
        StoreLE(record.data.data() + 8 + 8 * i + 6, value);
        ++i;
    }
    return record;
}

}  // namespace

// The EPSG code of the keys becomes WKT through PROJ's database: projected, geographic,
// compound with a vertical CRS; user-defined or unknown codes give none.
TEST(CrsWkt, GeoTiffCodesBecomeWkt)
{
    const std::optional<std::string> projected = WktOfGeoTiffKeys({GeoKeys({{1024, 1}, {3072, 32104}})});
    ASSERT_TRUE(projected);
    EXPECT_NE(projected->find("PROJCS[\"NAD83 / Nebraska\""), std::string::npos) << *projected;

    const std::optional<std::string> geographic = WktOfGeoTiffKeys({GeoKeys({{1024, 2}, {2048, 4326}})});
    ASSERT_TRUE(geographic);
    EXPECT_EQ(geographic->rfind("GEOGCS[\"WGS 84\"", 0), 0u) << *geographic;

    const std::optional<std::string> compound = WktOfGeoTiffKeys({GeoKeys({{3072, 32610}, {4096, 5703}})});
    ASSERT_TRUE(compound);
    EXPECT_EQ(compound->rfind("COMPD_CS[", 0), 0u) << *compound;
    EXPECT_NE(compound->find("NAVD88"), std::string::npos);

    EXPECT_FALSE(WktOfGeoTiffKeys({GeoKeys({{3072, 32767}})}));
    EXPECT_FALSE(WktOfGeoTiffKeys({GeoKeys({{3072, 1}})}));
    EXPECT_FALSE(WktOfGeoTiffKeys({}));
}

TEST(CrsWkt, AFileWithGeoTiffKeysGetsItsWktOnce)
{
    ORRISK_REQUIRE_TESTDATA();
    RecordCollector autzen(0);
    StreamLasRecords(TestDataFile("las/autzen-utm.las").string(), autzen);
    PointRecordFormat format = autzen.format;
    ASSERT_TRUE(HasGeoTiffCrs(format.vlrs));
    ASSERT_FALSE(HasWktCrs(format.vlrs));
    ASSERT_TRUE(AddWktFromGeoTiff(format));
    EXPECT_TRUE(HasWktCrs(format.vlrs));
    EXPECT_EQ(format.globalEncoding & 0x10, 0x10);
    EXPECT_EQ(format.vlrs.back().data.back(), 0);
    const std::size_t count = format.vlrs.size();
    ASSERT_TRUE(AddWktFromGeoTiff(format));
    EXPECT_EQ(format.vlrs.size(), count);
}
