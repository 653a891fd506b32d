#include "io/PlyLoader.h"

#include "io/ply/PlyFile.h"
#include "platform/DebugOutput.h"

#include <algorithm>
#include <array>
#include <exception>
#include <limits>
#include <type_traits>

namespace {

// Calls f(values) with the stored values (a const std::vector<T>&) of the element's first
// property named `name`; false, without calling f, when there is none or it is a list.
// Every scalar PLY type widens to double exactly, so this is the data ReadPropertyAsDouble
// returns, without a copy.
template <typename F>
bool WithScalarValues(const happly::PlyElement& element, const std::string& name, F&& f)
{
    if (!element.ContainsProperty(name))
        return false;
    bool scalar = false;
    happly::VisitProperty(*element.PropertyNamed(name), [&](const auto& typed) {
        if constexpr (!std::remove_cvref_t<decltype(typed)>::isList) {
            f(typed.values);
            scalar = true;
        }
    });
    return scalar;
}

// Number of values of a scalar property; 0 when it is missing or a list.
std::size_t ScalarCount(const happly::PlyElement& element, const std::string& name)
{
    std::size_t count = 0;
    WithScalarValues(element, name, [&](const auto& values) { count = values.size(); });
    return count;
}

// The first value, replaced by every smaller one (a NaN never replaces, a NaN first value
// stays). Plain comparisons in the stored type give the same result as in double.
template <typename T>
double Minimum(const std::vector<T>& values)
{
    T minimum = values.front();
    for (const T value : values)
        if (value < minimum)
            minimum = value;
    return static_cast<double>(minimum);
}

// The largest of 0 and the values (a NaN never replaces).
template <typename T>
double MaximumWithZero(const std::vector<T>& values)
{
    T maximum = 0;
    for (const T value : values)
        if (value > maximum)
            maximum = value;
    return static_cast<double>(maximum);
}

// How one stored value becomes a float: min(value * scale - offset, upper), in double,
// rounded once. The defaults change nothing (x * 1.0 - 0.0 and min(x, inf) are exact).
struct ValueMapping {
    double scale = 1.0;
    double offset = 0.0;
    double upper = std::numeric_limits<double>::infinity();
};

// A scalar property's values, read as floats through a mapping a range at a time, so that
// the interleaved arrays of the cloud are written in one pass. Unbound, it reads as 1.
class FloatColumn {
public:
    // False when the element has no such scalar property.
    bool Bind(const happly::PlyElement& element, const std::string& name, ValueMapping mapping)
    {
        m_mapping = mapping;
        return WithScalarValues(element, name, [&]<typename T>(const std::vector<T>& values) {
            m_values = values.data();
            m_map = &MapRange<T>;
        });
    }

    void Read(std::size_t begin, std::size_t count, float* out) const
    {
        if (m_map)
            m_map(m_values, begin, count, m_mapping, out);
        else
            std::fill(out, out + count, 1.0f);
    }

private:
    template <typename T>
    static void MapRange(const void* values, std::size_t begin, std::size_t count, const ValueMapping& mapping, float* out)
    {
        const T* in = static_cast<const T*>(values) + begin;
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<float>(
                std::min(static_cast<double>(in[i]) * mapping.scale - mapping.offset, mapping.upper));
    }

    const void* m_values = nullptr;
    void (*m_map)(const void*, std::size_t, std::size_t, const ValueMapping&, float*) = nullptr;
    ValueMapping m_mapping;
};

// Fills `out` (one Vector<float, N> per point) from N columns, a cache-sized range at a time.
template <int N>
void Interleave(const std::array<FloatColumn, N>& columns, std::vector<Eigen::Matrix<float, N, 1>>& out)
{
    constexpr std::size_t kRange = 4096;
    std::array<std::array<float, kRange>, N> buffers;
    for (std::size_t begin = 0; begin < out.size(); begin += kRange) {
        const std::size_t count = std::min(kRange, out.size() - begin);
        for (int c = 0; c < N; ++c)
            columns[c].Read(begin, count, buffers[c].data());
        for (std::size_t i = 0; i < count; ++i)
            for (int c = 0; c < N; ++c)
                out[begin + i][c] = buffers[c][i];
    }
}

bool ReadPositions(const happly::PlyElement& vertex, PointCloudData& cloud)
{
    const std::size_t count = ScalarCount(vertex, "x");
    if (count == 0 || ScalarCount(vertex, "y") != count || ScalarCount(vertex, "z") != count)
        return false;
    const std::array<const char*, 3> axes = {"x", "y", "z"};
    std::array<FloatColumn, 3> columns;
    for (int axis = 0; axis < 3; ++axis) {
        const char* name = axes[static_cast<std::size_t>(axis)];
        WithScalarValues(vertex, name, [&](const auto& values) { cloud.origin[axis] = Minimum(values); });
        columns[static_cast<std::size_t>(axis)].Bind(vertex, name, {.offset = cloud.origin[axis]});
    }
    cloud.positions.resize(count);
    Interleave<3>(columns, cloud.positions);
    return true;
}

struct ColorFamily {
    const char* red;
    const char* green;
    const char* blue;
    const char* alpha;
};

constexpr std::array<ColorFamily, 3> kColorFamilies = {{
    {"red", "green", "blue", "alpha"},
    {"r", "g", "b", "a"},
    {"diffuse_red", "diffuse_green", "diffuse_blue", "diffuse_alpha"},
}};

// 8-bit colours (largest channel above 1.001 and at most 256) are divided by 255, colours
// already within 0..1.001 are kept, wider ones are normalised by their largest channel.
double ColorScale(double maxChannel)
{
    if (maxChannel <= 1.001)
        return 1.0;
    if (maxChannel <= 256.0)
        return 1.0 / 255.0;
    return 1.0 / maxChannel;
}

void ReadColors(const happly::PlyElement& vertex, PointCloudData& cloud)
{
    const auto family = std::find_if(kColorFamilies.begin(), kColorFamilies.end(), [&](const ColorFamily& f) {
        return vertex.ContainsProperty(f.red) && vertex.ContainsProperty(f.green) && vertex.ContainsProperty(f.blue);
    });
    if (family == kColorFamilies.end())
        return;
    const std::size_t count = cloud.positions.size();
    const std::array<const char*, 3> channels = {family->red, family->green, family->blue};
    for (const char* channel : channels)
        if (ScalarCount(vertex, channel) != count)
            return;

    double maxChannel = 0.0;
    for (const char* channel : channels)
        WithScalarValues(vertex, channel,
                         [&](const auto& values) { maxChannel = std::max(maxChannel, MaximumWithZero(values)); });
    const double scale = ColorScale(maxChannel);

    std::array<FloatColumn, 4> columns;
    for (std::size_t c = 0; c < 3; ++c)
        columns[c].Bind(vertex, channels[c], {.scale = scale});
    // Without a usable alpha every point is opaque.
    if (ScalarCount(vertex, family->alpha) == count)
        columns[3].Bind(vertex, family->alpha, {.scale = scale, .upper = 1.0});
    cloud.colors.resize(count);
    Interleave<4>(columns, cloud.colors);
    cloud.hasColors = true;
}

}  // namespace

std::vector<double> ReadPropertyAsDouble(const happly::PlyElement& element, const std::string& name)
{
    std::vector<double> result;
    WithScalarValues(element, name, [&](const auto& values) { result.assign(values.begin(), values.end()); });
    return result;
}

bool CPlyLoader::LoadPly(const std::string& path, PointCloudData& pointCloud)
{
    try {
        pointCloud.Clear();
        const happly::PlyFile ply(path);
        if (!ply.ContainsElement("vertex")) {
            DebugOutput("[CPlyLoader] no 'vertex' element.\n");
            return false;
        }
        const happly::PlyElement& vertex = ply.ElementNamed("vertex");
        if (!ReadPositions(vertex, pointCloud)) {
            DebugOutput("[CPlyLoader] failed to read x/y/z properties.\n");
            pointCloud.Clear();
            return false;
        }
        ReadColors(vertex, pointCloud);
        pointCloud.ComputeBounds();
        return true;
    } catch (const std::exception& error) {
        DebugOutput("[CPlyLoader] exception: ");
        DebugOutput(error.what());
        DebugOutput("\n");
    } catch (...) {
        DebugOutput("[CPlyLoader] unknown exception.\n");
    }
    pointCloud.Clear();
    return false;
}
