#include "scene/PointCloudData.h"
#include "scene/PointColoring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <tuple>
#include <vector>

namespace {

PointCloudData CloudWithHeights(const std::vector<float>& heights, int upAxis)
{
    PointCloudData cloud;
    cloud.upAxis = upAxis;
    for (const float h : heights) {
        Eigen::Vector3f p(100.0f, 200.0f, 300.0f);
        p[upAxis] = h;
        cloud.positions.push_back(p);
    }
    return cloud;
}

}  // namespace

TEST(PointColoring, PercentilesOfIntegersTakeTheRoundedRank)
{
    // 0..100: rank round(0.02 * 100) = 2 and round(0.98 * 100) = 98.
    std::vector<std::uint16_t> values;
    for (std::uint16_t v = 0; v <= 100; ++v)
        values.push_back(static_cast<std::uint16_t>(100 - v));  // order does not matter
    EXPECT_EQ(PercentileRange(values), (ValueRange{2.0f, 98.0f}));
    // Outliers at both ends do not move the stretch of a large body of equal values.
    std::vector<std::uint16_t> body(1000, 500);
    body[0] = 0;
    body[1] = 65535;
    EXPECT_EQ(PercentileRange(body), (ValueRange{500.0f, 500.0f}));
    EXPECT_EQ(PercentileRange(std::vector<std::uint16_t>{7}), (ValueRange{7.0f, 7.0f}));
    EXPECT_EQ(PercentileRange(std::vector<std::uint16_t>{}), ValueRange{});
    EXPECT_EQ(PercentileRange(std::vector<std::uint16_t>{1, 2, 3, 4}, 0.0, 1.0), (ValueRange{1.0f, 4.0f}));
}

TEST(PointColoring, PercentilesOfFloatsLeaveOutWhatIsNotFinite)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> values = {nan, 3.0f, -inf, 1.0f, 2.0f, inf, 5.0f, 4.0f};
    EXPECT_EQ(PercentileRange(values, 0.0, 1.0), (ValueRange{1.0f, 5.0f}));
    EXPECT_EQ(PercentileRange(values, 0.5, 0.5), (ValueRange{3.0f, 3.0f}));
    EXPECT_EQ(PercentileRange(std::vector<float>{nan}), ValueRange{});

    // A large input is sampled at an even stride from the first value.
    std::vector<float> ramp(kPercentileSamples * 3);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<float>(i);
    const ValueRange range = PercentileRange(ramp, 0.0, 1.0);
    EXPECT_EQ(range.low, 0.0f);
    EXPECT_EQ(range.high, static_cast<float>(3 * (kPercentileSamples - 1)));
}

TEST(PointColoring, HeightIsMeasuredAlongTheCloudsUpAxis)
{
    std::vector<float> heights;
    for (int i = 0; i <= 100; ++i)
        heights.push_back(static_cast<float>(i) * 0.5f);
    EXPECT_EQ(HeightRange(CloudWithHeights(heights, 2)), (ValueRange{1.0f, 49.0f}));
    EXPECT_EQ(HeightRange(CloudWithHeights(heights, 1)), (ValueRange{1.0f, 49.0f}));
    EXPECT_EQ(HeightRange(PointCloudData{}), ValueRange{});
}

TEST(PointColoring, StretchMapsTheRangeOntoZeroToOne)
{
    const LinearStretch stretch = StretchOver({10.0f, 30.0f});
    EXPECT_FLOAT_EQ(stretch(10.0f), 0.0f);
    EXPECT_FLOAT_EQ(stretch(20.0f), 0.5f);
    EXPECT_FLOAT_EQ(stretch(30.0f), 1.0f);
    EXPECT_EQ(stretch(-100.0f), 0.0f);
    EXPECT_EQ(stretch(1000.0f), 1.0f);
    // One value only: everything in the middle of the ramp.
    EXPECT_EQ(StretchOver({5.0f, 5.0f})(5.0f), 0.5f);
    EXPECT_EQ(StretchOver({5.0f, 5.0f})(9.0f), 0.5f);
}

TEST(PointColoring, StandardClassesHaveTheConventionalColours)
{
    const auto colour = [](std::uint8_t c) { return ClassificationColor(c); };
    const Eigen::Vector3f ground = ClassificationColor(2);
    EXPECT_GT(ground.x(), ground.y());
    EXPECT_GT(ground.y(), ground.z());  // brown
    for (std::uint8_t c : {3, 4, 5}) {  // vegetation is green
        EXPECT_GT(colour(c).y(), colour(c).x()) << int{c};
        EXPECT_GT(colour(c).y(), colour(c).z()) << int{c};
    }
    // Vegetation darkens as it grows.
    EXPECT_GT(colour(3).sum(), colour(4).sum());
    EXPECT_GT(colour(4).sum(), colour(5).sum());
    const Eigen::Vector3f water = ClassificationColor(9);
    EXPECT_GT(water.z(), water.x());
    EXPECT_GT(water.z(), water.y());
    const Eigen::Vector3f building = ClassificationColor(6);
    EXPECT_GT(building.x(), building.y());
    EXPECT_GT(building.x(), building.z());
    EXPECT_EQ(ClassificationColor(7), Eigen::Vector3f(1.0f, 0.0f, 1.0f));  // noise stands out

    // Every standard class is named and its colour differs from every other class's.
    std::set<std::tuple<float, float, float>> seen;
    for (int code = 0; code < 256; ++code) {
        const Eigen::Vector3f color = ClassificationColor(static_cast<std::uint8_t>(code));
        EXPECT_TRUE((color.array() >= 0.0f).all() && (color.array() <= 1.0f).all()) << code;
        seen.insert({color.x(), color.y(), color.z()});
        EXPECT_EQ(ClassificationName(static_cast<std::uint8_t>(code)) != nullptr, code <= 18) << code;
    }
    EXPECT_GT(seen.size(), 200u);
    // Unassigned codes keep their colour from call to call.
    EXPECT_EQ(ClassificationColor(64), ClassificationColor(64));
    EXPECT_STREQ(ClassificationName(2), "Ground");
    EXPECT_STREQ(ClassificationName(9), "Water");
}

TEST(PointColoring, RampsRunFromDarkToLight)
{
    EXPECT_NEAR(ElevationColor(0.0f).x(), 0x44 / 255.0f, 1e-6f);
    EXPECT_NEAR(ElevationColor(1.0f).y(), 0xe7 / 255.0f, 1e-6f);
    EXPECT_EQ(ElevationColor(-1.0f), ElevationColor(0.0f));
    EXPECT_EQ(ElevationColor(2.0f), ElevationColor(1.0f));
    EXPECT_EQ(ElevationColor(std::numeric_limits<float>::quiet_NaN()), ElevationColor(0.0f));
    // Lightness (a rough luma) rises steadily along the ramp.
    const auto luma = [](const Eigen::Vector3f& c) { return 0.299f * c.x() + 0.587f * c.y() + 0.114f * c.z(); };
    for (int i = 1; i <= 64; ++i)
        EXPECT_GT(luma(ElevationColor(i / 64.0f)), luma(ElevationColor((i - 1) / 64.0f))) << i;
    EXPECT_EQ(IntensityColor(0.25f), Eigen::Vector3f(0.25f, 0.25f, 0.25f));
    EXPECT_EQ(IntensityColor(3.0f), Eigen::Vector3f::Ones());
}

TEST(PointColoring, ReturnNumbersHaveDistinctColoursUpToTheSixth)
{
    std::set<std::tuple<float, float, float>> seen;
    for (std::uint8_t r = 0; r <= 6; ++r) {
        const Eigen::Vector3f c = ReturnNumberColor(r);
        seen.insert({c.x(), c.y(), c.z()});
    }
    EXPECT_EQ(seen.size(), 7u);
    EXPECT_EQ(ReturnNumberColor(15), ReturnNumberColor(6));
}

TEST(PointColoring, ModesFollowTheAttributesTheCloudHas)
{
    PointCloudData cloud = CloudWithHeights({1.0f, 2.0f}, 2);
    EXPECT_TRUE(CloudHasColorMode(cloud, ColorMode::Rgb));
    EXPECT_TRUE(CloudHasColorMode(cloud, ColorMode::Elevation));
    EXPECT_FALSE(CloudHasColorMode(cloud, ColorMode::Intensity));
    EXPECT_EQ(EffectiveColorMode(cloud, ColorMode::Classification), ColorMode::Rgb);
    EXPECT_EQ(NextColorMode(cloud, ColorMode::Rgb), ColorMode::Elevation);
    EXPECT_EQ(NextColorMode(cloud, ColorMode::Elevation), ColorMode::Rgb);

    cloud.classification = {2, 5};
    EXPECT_EQ(NextColorMode(cloud, ColorMode::Rgb), ColorMode::Classification);
    EXPECT_EQ(NextColorMode(cloud, ColorMode::Classification), ColorMode::Elevation);
    cloud.intensity = {1};  // not one per point: not usable
    EXPECT_FALSE(CloudHasColorMode(cloud, ColorMode::Intensity));
    cloud.intensity = {1, 2};
    cloud.returnNumber = {1, 2};
    ColorMode mode = ColorMode::Rgb;
    std::vector<ColorMode> cycle;
    for (int i = 0; i < 5; ++i)
        cycle.push_back(mode = NextColorMode(cloud, mode));
    EXPECT_EQ(cycle, (std::vector<ColorMode>{ColorMode::Intensity, ColorMode::Classification, ColorMode::Elevation,
                                             ColorMode::ReturnNumber, ColorMode::Rgb}));
    EXPECT_EQ(ClassesPresent(std::vector<std::uint8_t>{9, 2, 2, 200, 9}), (std::vector<std::uint8_t>{2, 9, 200}));
}

TEST(PointColoring, ModeKeysReadBackAndUnknownOnesAreRefused)
{
    for (const ColorMode mode : kColorModes) {
        EXPECT_EQ(ColorModeFromKey(ColorModeKey(mode)), mode);
        EXPECT_EQ(ColorModeFromNumber(static_cast<std::int32_t>(mode)), mode);
    }
    EXPECT_EQ(ColorModeKey(ColorMode::ReturnNumber), "return");
    EXPECT_FALSE(ColorModeFromKey("RGB"));
    EXPECT_FALSE(ColorModeFromKey(""));
    EXPECT_FALSE(ColorModeFromNumber(5));
    EXPECT_FALSE(ColorModeFromNumber(-1));
}
