#pragma once

#include "io/ply/PlyElement.h"
#include "io/ply/PlyVertexValues.h"

#include <array>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>

// The point-cloud reader's columns of the "vertex" element and the extremes it finds in them.
namespace plycloud {

// The columns the cloud is filled from.
struct CloudColumns {
    std::array<Column, 3> axes;
    std::array<std::optional<Column>, 4> colors;  // red, green, blue, alpha; all empty without colours
    std::optional<Column> intensity;
    std::optional<Column> classification;

    bool HasColors() const { return colors[0].has_value(); }
};

// x, y and z, the first colour family whose red, green and blue are all readable scalars, and
// the intensity and classification where present; nothing without readable x, y and z.
std::optional<CloudColumns> FindColumns(const orrisk::ply::PlyElement& vertex, const VertexValues& values);

// The per-axis extremes of the stored positions and the largest colour channel (at least 0).
struct StoredExtremes {
    std::array<ValueRange, 3> axes;
    double colorMaximum = 0.0;
};

// Extremes found range by range, on several threads at once, merged as one scan in file order
// finds them: every range starts its axes from the first record's values and the ranges are
// folded in file order.
class ExtremesInFileOrder {
public:
    explicit ExtremesInFileOrder(const std::array<double, 3>& firstValues);

    // Where each range starts.
    const StoredExtremes& Start() const { return m_start; }
    void Add(std::size_t first, const StoredExtremes& range);
    // Finds and adds the extremes of a range of records.
    void Scan(const CloudColumns& columns, const std::byte* records, std::size_t first, std::size_t count);
    StoredExtremes Merged() const;

private:
    StoredExtremes m_start;
    std::mutex m_mutex;
    std::map<std::size_t, StoredExtremes> m_ranges;  // by first record
};

}  // namespace plycloud
