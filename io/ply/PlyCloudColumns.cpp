#include "io/ply/PlyCloudColumns.h"

#include <algorithm>
#include <initializer_list>

namespace plycloud {
namespace {

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

// The first of the names the vertex element has as a scalar property.
std::optional<Column> FirstColumnOf(const VertexValues& values, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (std::optional<Column> column = values.ColumnOf(name))
            return column;
    return std::nullopt;
}

}  // namespace

std::optional<CloudColumns> FindColumns(const orrisk::ply::PlyElement& vertex, const VertexValues& values)
{
    const std::array<std::optional<Column>, 3> axes = {values.ColumnOf("x"), values.ColumnOf("y"), values.ColumnOf("z")};
    if (!axes[0] || !axes[1] || !axes[2])
        return std::nullopt;
    CloudColumns columns{{*axes[0], *axes[1], *axes[2]}, {}, {}, {}};
    const auto family = std::find_if(kColorFamilies.begin(), kColorFamilies.end(), [&](const ColorFamily& f) {
        return vertex.ContainsProperty(f.red) && vertex.ContainsProperty(f.green) && vertex.ContainsProperty(f.blue);
    });
    if (family != kColorFamilies.end()) {
        columns.colors = {values.ColumnOf(family->red), values.ColumnOf(family->green), values.ColumnOf(family->blue),
                          values.ColumnOf(family->alpha)};
        if (!columns.colors[0] || !columns.colors[1] || !columns.colors[2])
            columns.colors = {};
    }
    columns.intensity = FirstColumnOf(values, {"intensity", "scalar_intensity"});
    columns.classification = FirstColumnOf(values, {"classification", "scalar_classification"});
    return columns;
}

ExtremesInFileOrder::ExtremesInFileOrder(const std::array<double, 3>& firstValues)
{
    for (std::size_t a = 0; a < 3; ++a)
        m_start.axes[a] = {firstValues[a], firstValues[a]};
}

void ExtremesInFileOrder::Add(std::size_t first, const StoredExtremes& range)
{
    std::lock_guard lock(m_mutex);
    m_ranges.emplace(first, range);
}

void ExtremesInFileOrder::Scan(const CloudColumns& columns, const std::byte* records, std::size_t first, std::size_t count)
{
    StoredExtremes range = m_start;
    for (std::size_t a = 0; a < 3; ++a) {
        const Column& axis = columns.axes[a];
        const std::byte* values = axis.At(records, 0, first);
        range.axes[a] = {axis.codec->minimum(values, axis.stride, count, range.axes[a].minimum),
                         axis.codec->maximum(values, axis.stride, count, range.axes[a].maximum)};
    }
    for (std::size_t c = 0; columns.HasColors() && c < 3; ++c) {
        const Column& channel = *columns.colors[c];
        // Each channel from 0: a start must be a value of the channel's own type.
        range.colorMaximum =
            std::max(range.colorMaximum, channel.codec->maximum(channel.At(records, 0, first), channel.stride, count, 0.0));
    }
    Add(first, range);
}

StoredExtremes ExtremesInFileOrder::Merged() const
{
    StoredExtremes merged = m_start;
    for (const auto& [first, range] : m_ranges) {
        for (std::size_t a = 0; a < 3; ++a) {
            ValueRange& axis = merged.axes[a];
            axis.minimum = range.axes[a].minimum < axis.minimum ? range.axes[a].minimum : axis.minimum;
            axis.maximum = range.axes[a].maximum > axis.maximum ? range.axes[a].maximum : axis.maximum;
        }
        merged.colorMaximum = std::max(merged.colorMaximum, range.colorMaximum);
    }
    return merged;
}

}  // namespace plycloud
