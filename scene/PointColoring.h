#pragma once

#include <Eigen/Core>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

struct PointCloudData;

// What a point cloud's colours show: the file's own colours or one of its per-point
// attributes through a ramp or a palette. The numbers are stored in settings files.
enum class ColorMode : std::int32_t {
    Rgb = 0,
    Intensity = 1,
    Classification = 2,
    Elevation = 3,
    ReturnNumber = 4,
};

inline constexpr std::array<ColorMode, 5> kColorModes = {ColorMode::Rgb, ColorMode::Intensity, ColorMode::Classification,
                                                         ColorMode::Elevation, ColorMode::ReturnNumber};

// The word used for a mode on command lines: rgb, intensity, classification, elevation, return.
std::string_view ColorModeKey(ColorMode mode);
std::optional<ColorMode> ColorModeFromKey(std::string_view key);
std::optional<ColorMode> ColorModeFromNumber(std::int32_t number);

// RGB and elevation need nothing but points; the others need their attribute array.
bool CloudHasColorMode(const PointCloudData& cloud, ColorMode mode);
// The mode the cloud is drawn in: the chosen one when it can show it, RGB otherwise.
ColorMode EffectiveColorMode(const PointCloudData& cloud, ColorMode chosen);
// The next mode after `current`, in kColorModes order and wrapping, that the cloud can show.
ColorMode NextColorMode(const PointCloudData& cloud, ColorMode current);

// A closed range of values to stretch over a ramp.
struct ValueRange {
    float low = 0.0f;
    float high = 0.0f;
    bool operator==(const ValueRange&) const = default;
};

// Where a value falls on the ramp: t = clamp(value * scale + offset, 0, 1), low giving 0 and
// high giving 1; a range with high <= low (one value) puts everything at 0.5.
struct LinearStretch {
    float scale = 0.0f;
    float offset = 0.5f;
    float operator()(float value) const;
};
LinearStretch StretchOver(const ValueRange& range);

// The percentiles the ramps stretch between, so a few outliers do not flatten the rest.
inline constexpr double kLowPercentile = 0.02;
inline constexpr double kHighPercentile = 0.98;

// The values at ranks round(p * (n - 1)) of the values sorted ascending, for p = lowFraction
// and highFraction. Exact for any count (counted over the 65536 possible values). An empty
// input gives {0, 0}.
ValueRange PercentileRange(std::span<const std::uint16_t> values, double lowFraction = kLowPercentile,
                           double highFraction = kHighPercentile);

// The same ranks among the finite values; NaN and infinities are left out. At most
// kPercentileSamples values are ranked: a larger input is sampled every
// ceil(n / kPercentileSamples)-th value from the first, which bounds time and memory for
// clouds of any size.
inline constexpr std::size_t kPercentileSamples = std::size_t{1} << 20;
ValueRange PercentileRange(std::span<const float> values, double lowFraction = kLowPercentile,
                           double highFraction = kHighPercentile);

// The 2nd to 98th percentile of the points' height along the cloud's up axis (sampled as above).
ValueRange HeightRange(const PointCloudData& cloud);

// Colours, components 0..1.
// The conventional colour of an ASPRS standard class (ground brown, vegetation greens from
// light to dark by height, buildings, water blue, noise magenta...); every other code has a
// fixed colour of its own, spread around the hue circle.
Eigen::Vector3f ClassificationColor(std::uint8_t code);
// The ASPRS name of a standard class, or null for a code the standard does not name.
const char* ClassificationName(std::uint8_t code);
// A perceptually uniform ramp from dark violet through teal to yellow (viridis); t is
// clamped to 0..1.
Eigen::Vector3f ElevationColor(float t);
// First returns red, then yellow, green, cyan, blue, violet for the sixth and later; 0 (no
// return number recorded) grey.
Eigen::Vector3f ReturnNumberColor(std::uint8_t returnNumber);
// The grey of the intensity ramp at t (clamped to 0..1).
Eigen::Vector3f IntensityColor(float t);

// The distinct classification codes present, ascending.
std::vector<std::uint8_t> ClassesPresent(std::span<const std::uint8_t> classification);
