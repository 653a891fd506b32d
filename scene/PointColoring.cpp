#include "scene/PointColoring.h"

#include "scene/PointCloudData.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct ModeWords {
    ColorMode mode;
    std::string_view key;
};

constexpr std::array<ModeWords, 5> kModeWords = {{
    {ColorMode::Rgb, "rgb"},
    {ColorMode::Intensity, "intensity"},
    {ColorMode::Classification, "classification"},
    {ColorMode::Elevation, "elevation"},
    {ColorMode::ReturnNumber, "return"},
}};

const ModeWords& WordsOf(ColorMode mode)
{
    return *std::find_if(kModeWords.begin(), kModeWords.end(), [&](const ModeWords& w) { return w.mode == mode; });
}

std::size_t RankOf(double fraction, std::size_t count)
{
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    return static_cast<std::size_t>(std::lround(clamped * static_cast<double>(count - 1)));
}

struct ClassEntry {
    const char* name;
    Eigen::Vector3f color;
};

// ASPRS LAS 1.4 standard classes 0 to 18.
const std::array<ClassEntry, 19>& StandardClasses()
{
    static const std::array<ClassEntry, 19> kClasses = {{
        {"Created, never classified", {0.80f, 0.80f, 0.80f}},
        {"Unclassified", {0.62f, 0.62f, 0.62f}},
        {"Ground", {0.60f, 0.42f, 0.22f}},
        {"Low vegetation", {0.68f, 0.87f, 0.42f}},
        {"Medium vegetation", {0.33f, 0.70f, 0.22f}},
        {"High vegetation", {0.10f, 0.45f, 0.12f}},
        {"Building", {0.89f, 0.33f, 0.24f}},
        {"Low point (noise)", {1.00f, 0.00f, 1.00f}},
        {"Model key point", {1.00f, 0.85f, 0.55f}},
        {"Water", {0.12f, 0.42f, 0.92f}},
        {"Rail", {0.55f, 0.35f, 0.60f}},
        {"Road surface", {0.35f, 0.35f, 0.38f}},
        {"Overlap", {0.93f, 0.93f, 0.55f}},
        {"Wire guard (shield)", {0.95f, 0.95f, 0.20f}},
        {"Wire conductor (phase)", {1.00f, 0.72f, 0.10f}},
        {"Transmission tower", {0.55f, 0.22f, 0.10f}},
        {"Wire-structure connector", {0.95f, 0.55f, 0.00f}},
        {"Bridge deck", {0.55f, 0.58f, 0.80f}},
        {"High noise", {1.00f, 0.30f, 0.65f}},
    }};
    return kClasses;
}

// Viridis at nine even steps.
const std::array<Eigen::Vector3f, 9>& ViridisSteps()
{
    static const std::array<Eigen::Vector3f, 9> kSteps = {{
        {0x44 / 255.0f, 0x01 / 255.0f, 0x54 / 255.0f},
        {0x47 / 255.0f, 0x2d / 255.0f, 0x7b / 255.0f},
        {0x3b / 255.0f, 0x52 / 255.0f, 0x8b / 255.0f},
        {0x2c / 255.0f, 0x72 / 255.0f, 0x8e / 255.0f},
        {0x21 / 255.0f, 0x91 / 255.0f, 0x8c / 255.0f},
        {0x28 / 255.0f, 0xae / 255.0f, 0x80 / 255.0f},
        {0x5e / 255.0f, 0xc9 / 255.0f, 0x62 / 255.0f},
        {0xad / 255.0f, 0xdc / 255.0f, 0x30 / 255.0f},
        {0xfd / 255.0f, 0xe7 / 255.0f, 0x25 / 255.0f},
    }};
    return kSteps;
}

// A colour of fixed saturation and value at `hue` turns round the colour circle.
Eigen::Vector3f HueColor(float hue)
{
    constexpr float kSaturation = 0.6f;
    constexpr float kValue = 0.9f;
    const float h = (hue - std::floor(hue)) * 6.0f;
    const float f = h - std::floor(h);
    const float p = kValue * (1.0f - kSaturation);
    const float q = kValue * (1.0f - kSaturation * f);
    const float t = kValue * (1.0f - kSaturation * (1.0f - f));
    switch (static_cast<int>(h) % 6) {
    case 0: return {kValue, t, p};
    case 1: return {q, kValue, p};
    case 2: return {p, kValue, t};
    case 3: return {p, q, kValue};
    case 4: return {t, p, kValue};
    default: return {kValue, p, q};
    }
}

}  // namespace

std::string_view ColorModeKey(ColorMode mode)
{
    return WordsOf(mode).key;
}

std::optional<ColorMode> ColorModeFromKey(std::string_view key)
{
    for (const ModeWords& words : kModeWords)
        if (words.key == key)
            return words.mode;
    return std::nullopt;
}

std::optional<ColorMode> ColorModeFromNumber(std::int32_t number)
{
    for (const ModeWords& words : kModeWords)
        if (static_cast<std::int32_t>(words.mode) == number)
            return words.mode;
    return std::nullopt;
}

bool CloudHasColorMode(const PointCloudData& cloud, ColorMode mode)
{
    const std::size_t count = cloud.positions.size();
    switch (mode) {
    case ColorMode::Rgb:
    case ColorMode::Elevation: return true;
    case ColorMode::Intensity: return count != 0 && cloud.intensity.size() == count;
    case ColorMode::Classification: return count != 0 && cloud.classification.size() == count;
    case ColorMode::ReturnNumber: return count != 0 && cloud.returnNumber.size() == count;
    }
    return false;
}

ColorMode EffectiveColorMode(const PointCloudData& cloud, ColorMode chosen)
{
    return CloudHasColorMode(cloud, chosen) ? chosen : ColorMode::Rgb;
}

ColorMode NextColorMode(const PointCloudData& cloud, ColorMode current)
{
    const auto at = static_cast<std::size_t>(std::find(kColorModes.begin(), kColorModes.end(), current) - kColorModes.begin());
    for (std::size_t step = 1; step <= kColorModes.size(); ++step) {
        const ColorMode next = kColorModes[(at + step) % kColorModes.size()];
        if (CloudHasColorMode(cloud, next))
            return next;
    }
    return ColorMode::Rgb;
}

float LinearStretch::operator()(float value) const
{
    return std::clamp(value * scale + offset, 0.0f, 1.0f);
}

LinearStretch StretchOver(const ValueRange& range)
{
    if (!(range.high > range.low))
        return {};
    const float scale = 1.0f / (range.high - range.low);
    return {scale, -range.low * scale};
}

ValueRange PercentileRange(std::span<const std::uint16_t> values, double lowFraction, double highFraction)
{
    if (values.empty())
        return {};
    std::vector<std::size_t> histogram(65536, 0);
    for (const std::uint16_t value : values)
        ++histogram[value];
    const std::size_t lowRank = RankOf(lowFraction, values.size());
    const std::size_t highRank = RankOf(highFraction, values.size());
    ValueRange range;
    std::size_t seen = 0;
    bool lowFound = false;
    for (std::size_t value = 0; value < histogram.size(); ++value) {
        seen += histogram[value];
        if (!lowFound && seen > lowRank) {
            range.low = static_cast<float>(value);
            lowFound = true;
        }
        if (seen > highRank) {
            range.high = static_cast<float>(value);
            break;
        }
    }
    return range;
}

ValueRange PercentileRange(std::span<const float> values, double lowFraction, double highFraction)
{
    const std::size_t stride = std::max<std::size_t>(1, (values.size() + kPercentileSamples - 1) / kPercentileSamples);
    std::vector<float> samples;
    samples.reserve(std::min(values.size(), kPercentileSamples));
    for (std::size_t i = 0; i < values.size(); i += stride)
        if (std::isfinite(values[i]))
            samples.push_back(values[i]);
    if (samples.empty())
        return {};
    const auto lowAt = samples.begin() + static_cast<std::ptrdiff_t>(RankOf(lowFraction, samples.size()));
    const auto highAt = samples.begin() + static_cast<std::ptrdiff_t>(RankOf(highFraction, samples.size()));
    std::nth_element(samples.begin(), lowAt, samples.end());
    const float low = *lowAt;
    std::nth_element(lowAt, highAt, samples.end());
    return {low, *highAt};
}

ValueRange HeightRange(const PointCloudData& cloud)
{
    const int axis = std::clamp(cloud.upAxis, 0, 2);
    const std::size_t count = cloud.positions.size();
    const std::size_t stride = std::max<std::size_t>(1, (count + kPercentileSamples - 1) / kPercentileSamples);
    std::vector<float> heights;
    heights.reserve(std::min(count, kPercentileSamples));
    for (std::size_t i = 0; i < count; i += stride)
        heights.push_back(cloud.positions[i][axis]);
    return PercentileRange(heights);
}

Eigen::Vector3f ClassificationColor(std::uint8_t code)
{
    const auto& classes = StandardClasses();
    if (code < classes.size())
        return classes[code].color;
    constexpr float kGoldenTurn = 0.618034f;
    return HueColor(static_cast<float>(code) * kGoldenTurn);
}

const char* ClassificationName(std::uint8_t code)
{
    const auto& classes = StandardClasses();
    return code < classes.size() ? classes[code].name : nullptr;
}

Eigen::Vector3f ElevationColor(float t)
{
    const auto& steps = ViridisSteps();
    const float clamped = std::isnan(t) ? 0.0f : std::clamp(t, 0.0f, 1.0f);
    const float at = clamped * static_cast<float>(steps.size() - 1);
    const auto below = std::min(static_cast<std::size_t>(at), steps.size() - 2);
    const float f = at - static_cast<float>(below);
    return steps[below] + (steps[below + 1] - steps[below]) * f;
}

Eigen::Vector3f ReturnNumberColor(std::uint8_t returnNumber)
{
    static const std::array<Eigen::Vector3f, 7> kReturns = {{
        {0.50f, 0.50f, 0.50f},
        {0.90f, 0.22f, 0.18f},
        {0.96f, 0.80f, 0.20f},
        {0.30f, 0.78f, 0.30f},
        {0.20f, 0.80f, 0.85f},
        {0.22f, 0.40f, 0.95f},
        {0.65f, 0.35f, 0.90f},
    }};
    return kReturns[std::min<std::size_t>(returnNumber, kReturns.size() - 1)];
}

Eigen::Vector3f IntensityColor(float t)
{
    const float grey = std::isnan(t) ? 0.0f : std::clamp(t, 0.0f, 1.0f);
    return {grey, grey, grey};
}

std::vector<std::uint8_t> ClassesPresent(std::span<const std::uint8_t> classification)
{
    std::array<bool, 256> present{};
    for (const std::uint8_t code : classification)
        present[code] = true;
    std::vector<std::uint8_t> codes;
    for (std::size_t code = 0; code < present.size(); ++code)
        if (present[code])
            codes.push_back(static_cast<std::uint8_t>(code));
    return codes;
}
