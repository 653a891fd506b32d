#include "capture/ImageMetrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

TEST(ImageMetrics, PsnrOverAllChannelsAgainstHandValues)
{
    // One value of six off by the whole range: mean squared error 1/6.
    const std::vector<std::uint8_t> black(6, 0);
    std::vector<std::uint8_t> oneOff = black;
    oneOff[4] = 255;
    EXPECT_NEAR(PeakSignalToNoise(black, oneOff), 7.781512503836437, 1e-12);
    // Every value off by 0.2: error 0.04, 10 log10(25).
    const std::vector<std::uint8_t> grey(6, 51);
    EXPECT_NEAR(PeakSignalToNoise(black, grey), 13.979400086720377, 1e-12);
    EXPECT_TRUE(std::isinf(PeakSignalToNoise(grey, grey)));
    EXPECT_TRUE(std::isnan(PeakSignalToNoise(grey, std::vector<std::uint8_t>(3, 0))));
}

TEST(ImageMetrics, SsimOfOnePixelAgainstHandValues)
{
    // One pixel under an 11-tap window with zeros around it: every mean is w = g^2 times the
    // value, g = 0.26601172486179436 being the centre weight of the normalised Gaussian, and
    // the variance w (1 - w) x^2. Red white against black gives
    // C1 C2 / ((w^2 + C1)(w (1 - w) + C2)); green and blue agree and give 1.
    const std::vector<std::uint8_t> a = {255, 90, 200};
    const std::vector<std::uint8_t> b = {0, 90, 200};
    EXPECT_NEAR(StructuralSimilarity(a, b, 1, 1), 0.6667547914387355, 1e-12);
}

TEST(ImageMetrics, SsimIsOneForAnImageWithItselfAndSymmetric)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(0, 255);
    std::vector<std::uint8_t> a(23 * 17 * 3), b(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = static_cast<std::uint8_t>(value(random));
        b[i] = static_cast<std::uint8_t>(std::clamp(a[i] + value(random) / 8 - 16, 0, 255));
    }
    EXPECT_NEAR(StructuralSimilarity(a, a, 23, 17), 1.0, 1e-12);
    const double ab = StructuralSimilarity(a, b, 23, 17);
    EXPECT_LT(ab, 0.999);
    EXPECT_GT(ab, 0.5);
    EXPECT_NEAR(ab, StructuralSimilarity(b, a, 23, 17), 1e-12);
    EXPECT_TRUE(std::isnan(StructuralSimilarity(a, b, 23, 16)));
}

}  // namespace
