#include "io/splat/GaussianPlyColumns.h"

#include "io/ply/PlyByteOrder.h"
#include "io/ply/PlyVertexValues.h"

#include <type_traits>

namespace {

template <typename T>
constexpr bool kHasFloatReading = std::is_same_v<T, float> || std::is_same_v<T, double> ||
                                  std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::int32_t> ||
                                  std::is_same_v<T, std::int16_t> || std::is_same_v<T, std::int8_t>;

template <typename T>
std::uint32_t ToUInt32(T value)
{
    if constexpr (std::is_floating_point_v<T>) {
        // Truncation is only defined inside the 64-bit range; outside it (and for NaN) the
        // result is 0, which is also what the x86-64 conversion instruction's low bits give.
        if (!(value >= T(-0x1p63) && value < T(0x1p63)))
            return 0;
        return static_cast<std::uint32_t>(static_cast<std::int64_t>(value));
    } else {
        return static_cast<std::uint32_t>(static_cast<std::int64_t>(value));
    }
}

template <typename T, bool Swap>
struct Converters {
    static T At(const std::byte* values, std::size_t stride, std::size_t i)
    {
        return orrisk::ply::LoadValue<T, Swap>(values + i * stride);
    }
    static void ToFloats(const std::byte* values, std::size_t stride, std::size_t count, float* out,
                         std::size_t outStride)
    {
        for (std::size_t i = 0; i < count; ++i)
            out[i * outStride] = static_cast<float>(At(values, stride, i));
    }
    static void ToUInt32s(const std::byte* values, std::size_t stride, std::size_t count, std::uint32_t* out)
    {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = ToUInt32(At(values, stride, i));
    }
};

template <typename T, bool Swap>
SplatColumn ColumnOfType()
{
    SplatColumn column;
    if constexpr (kHasFloatReading<T>)
        column.toFloat = &Converters<T, Swap>::ToFloats;
    column.toUInt32 = &Converters<T, Swap>::ToUInt32s;
    column.isNativeFloat = std::is_same_v<T, float> && !Swap;
    return column;
}

}  // namespace

std::optional<SplatColumn> StoredColumn(const orrisk::ply::Property& property)
{
    std::optional<SplatColumn> column;
    plycloud::WithScalarValues(property, [&](const auto& values) {
        using T = typename std::remove_cvref_t<decltype(values)>::value_type;
        column = ColumnOfType<T, false>();
        column->array = reinterpret_cast<const std::byte*>(values.data());
        column->stride = sizeof(T);
    });
    return column;
}

std::optional<SplatColumn> StoredColumn(const orrisk::ply::PlyElement& element, const std::string& name)
{
    if (!element.ContainsProperty(name))
        return std::nullopt;
    return StoredColumn(*element.PropertyNamed(name));
}

std::optional<SplatColumn> RecordField(const orrisk::ply::Property& property, std::size_t offset, std::size_t recordBytes,
                                       bool swapsBytes)
{
    std::optional<SplatColumn> column;
    plycloud::WithScalarValues(property, [&](const auto& values) {
        using T = typename std::remove_cvref_t<decltype(values)>::value_type;
        column = swapsBytes ? ColumnOfType<T, true>() : ColumnOfType<T, false>();
        column->offset = offset;
        column->stride = recordBytes;
    });
    return column;
}

std::vector<float> ReadPropertyAsFloat(const orrisk::ply::PlyElement& element, const std::string& name)
{
    const std::optional<SplatColumn> column = StoredColumn(element, name);
    if (!column || !column->toFloat)
        return {};
    std::vector<float> values(element.PropertyNamed(name)->RecordCount());
    column->toFloat(column->array, column->stride, values.size(), values.data(), 1);
    return values;
}

std::vector<std::uint32_t> ReadPropertyAsUInt32(const orrisk::ply::PlyElement& element, const std::string& name)
{
    const std::optional<SplatColumn> column = StoredColumn(element, name);
    if (!column)
        return {};
    std::vector<std::uint32_t> values(element.PropertyNamed(name)->RecordCount());
    column->toUInt32(column->array, column->stride, values.size(), values.data());
    return values;
}
