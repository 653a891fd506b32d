// Intensity, classification and return fields that are odd, absent where announced or
// damaged: the clouds still load with exactly the attributes they hold, or fail in the
// ordinary way.

#include "HostileFixture.h"
#include "support/PlyBytes.h"
#include "support/TestData.h"
#include "support/DocumentRecords.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

using hostile::HostileDocument;
using hostile::kPointCloudFailed;
using testsupport::PlyBytes;

using HostilePointAttributes = HostileDocument;

bool AttributesMatchPositions(const PointCloudData& cloud)
{
    const std::size_t n = cloud.positions.size();
    const auto fits = [n](std::size_t size) { return size == 0 || size == n; };
    return fits(cloud.intensity.size()) && fits(cloud.classification.size()) && fits(cloud.returnNumber.size())
        && fits(cloud.numberOfReturns.size());
}

}  // namespace

TEST_F(HostilePointAttributes, PlyAttributesAsListsOrExtremeNumbersLoadWithoutThem)
{
    // Lists are not attributes; non-finite and out-of-range numbers are held to the range.
    const double extremes[] = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(), 1e300, -1e300};
    PlyBytes body;
    for (const double value : extremes)
        body.Le(0.0f).Le(1.0f).Le(2.0f).Le(value).Le(std::uint8_t{2}).Le(std::uint8_t{7}).Le(std::uint8_t{9});
    const std::string file = "ply\nformat binary_little_endian 1.0\nelement vertex 5\nproperty float x\n"
                             "property float y\nproperty float z\nproperty double intensity\n"
                             "property list uchar uchar classification\nend_header\n" + body.Bytes();
    const auto cost = Open(dir.Write("extremes.ply", file));
    ASSERT_TRUE(cost.result) << (desktop.messageBoxes.empty() ? "" : desktop.messageBoxes.front());
    const PointCloudData& cloud = testsupport::CloudOf(document);
    EXPECT_TRUE(cloud.classification.empty());
    EXPECT_EQ(cloud.intensity, (LargeArray<std::uint16_t>{65535, 0, 0, 65535, 0}));
}

TEST_F(HostilePointAttributes, PlyBodyEndingInsideTheIntensityColumnFails)
{
    PlyBytes body;
    body.Le(0.0f).Le(1.0f).Le(2.0f).Le(std::uint16_t{5});
    body.Le(0.0f).Le(1.0f).Le(2.0f).Octets({7});
    const std::string file = "ply\nformat binary_little_endian 1.0\nelement vertex 2\nproperty float x\n"
                             "property float y\nproperty float z\nproperty ushort scalar_intensity\nend_header\n" +
                             body.Bytes();
    ExpectOrdinaryFailure(dir.Write("short.ply", file), kPointCloudFailed);
}

TEST_F(HostilePointAttributes, DamagedIntensityAndClassLayersOfALayeredLazFailOrLoadWholeClouds)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string original = testsupport::ReadWholeFile(testsupport::TestDataFile("laz/1_4_w_evlr.laz"));
    std::uint32_t pointData = 0;
    std::memcpy(&pointData, original.data() + 96, 4);
    std::uint16_t recordLength = 0;
    std::memcpy(&recordLength, original.data() + 105, 2);
    // The first chunk: its table offset, the first record, the point count, then one size
    // per layer: xy, z, classification, flags, intensity, ...
    const std::size_t layerSizes = pointData + 8 + recordLength + 4;
    for (const std::size_t layer : {std::size_t{2}, std::size_t{4}}) {
        for (const std::uint32_t size : {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
            SCOPED_TRACE("layer " + std::to_string(layer) + " size " + std::to_string(size));
            std::string damaged = original;
            std::memcpy(damaged.data() + layerSizes + 4 * layer, &size, 4);
            const auto cost = Open(dir.Write("damaged.laz", damaged));
            if (cost.result) {
                EXPECT_TRUE(AttributesMatchPositions(testsupport::CloudOf(document)));
                EXPECT_FALSE(testsupport::CloudOf(document).intensity.empty());
            } else {
                EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{kPointCloudFailed});
            }
        }
    }
}
