#pragma once

#include "io/core/FixedRecordRead.h"
#include "io/core/ReadResult.h"
#include "io/ply/PlyElement.h"
#include "io/ply/PlyRecordReader.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// The point-cloud reader's view of the "vertex" element: each scalar property as a column it
// can scan and convert, whether the values are stored in a PlyFile or read from the file's
// records block by block.
namespace plycloud {

// Calls f(values) with the stored values (a const std::vector<T>&) of the property; false,
// without calling f, when it is a list.
template <typename F>
bool WithScalarValues(const orrisk::ply::Property& property, F&& f)
{
    bool scalar = false;
    orrisk::ply::VisitProperty(property, [&](const auto& typed) {
        if constexpr (!std::remove_cvref_t<decltype(typed)>::isList) {
            f(typed.values);
            scalar = true;
        }
    });
    return scalar;
}

// As above for the element's first property named `name`; false when there is none.
template <typename F>
bool WithScalarValues(const orrisk::ply::PlyElement& element, const std::string& name, F&& f)
{
    return element.ContainsProperty(name) && WithScalarValues(*element.PropertyNamed(name), std::forward<F>(f));
}

// The smallest and largest of some values, found with plain comparisons: a NaN never
// replaces either, a NaN start stays, and of equal values the first is kept.
struct ValueRange {
    double minimum;
    double maximum;
};

// What the reader does with one property's values, for its stored type and byte order.
// Values lie `stride` bytes apart; converted values are written `outStride` floats apart.
// The running minimum and maximum start from `start`.
struct ColumnCodec {
    // Whether every value of the stored type is a float as well (float and the types of up to
    // 16 bits), so that converting to float and back to double gives the value itself.
    bool exactInFloat;
    bool integral;
    double (*first)(const std::byte* values);
    double (*minimum)(const std::byte* values, std::size_t stride, std::size_t count, double start);
    double (*maximum)(const std::byte* values, std::size_t stride, std::size_t count, double start);
    // out = value - offset, in double, rounded once.
    void (*offsetTo)(const std::byte* values, std::size_t stride, std::size_t count, double offset, float* out,
                     std::size_t outStride);
    // out = value, rounded once; `range` grows by the values read.
    void (*storeTo)(const std::byte* values, std::size_t stride, std::size_t count, float* out, std::size_t outStride,
                    ValueRange& range);
    // out = min(value * scale, upper), in double, rounded once. Returns the largest value read,
    // or `floor` when none is larger.
    double (*scaleTo)(const std::byte* values, std::size_t stride, std::size_t count, double scale, double upper,
                      float* out, std::size_t outStride, double floor);
};

// One scalar property's values: a stored array, or a field of the file's records.
struct Column {
    const ColumnCodec* codec = nullptr;
    const std::byte* array = nullptr;  // the stored values; null for a field of the records
    std::size_t offset = 0;            // of the field within a record
    std::size_t stride = 0;

    // The value of a record, found in the block of records read from the file or in the
    // stored array.
    const std::byte* At(const std::byte* records, std::size_t recordInBlock, std::size_t recordInFile) const
    {
        return array ? array + recordInFile * stride : records + recordInBlock * stride + offset;
    }
};

// Where the "vertex" element's values come from.
class VertexValues {
public:
    using RangeVisitor = std::function<void(const std::byte* records, std::size_t first, std::size_t count)>;

    virtual ~VertexValues() = default;
    // The first property of that name, when it is a scalar property.
    virtual std::optional<Column> ColumnOf(const std::string& name) const = 0;
    // The block to find the first record's values in through Column::At(block, 0, 0);
    // the element has records.
    virtual std::vector<std::byte> FirstRecord() const = 0;
    // Calls visit for ranges of records that together cover every record once; `records` is
    // the block holding the range (null for stored arrays). With a pool in the options the
    // ranges may be visited on several threads at once, in no set order. Progress rises over
    // `span`; false when the progress callback asked to stop.
    virtual bool ForEachRange(const RangeVisitor& visit, const ReadOptions& options, ProgressSpan span) = 0;
};

// The values of a PlyFile's vertex element, all in one range.
std::unique_ptr<VertexValues> StoredVertexValues(const orrisk::ply::PlyElement& vertex);

// The vertex records of a binary file with fixed-size records, read a block at a time.
std::unique_ptr<VertexValues> StreamedVertexValues(orrisk::ply::PlyRecordReader& reader, const orrisk::ply::PlyElement& vertex);

}  // namespace plycloud
