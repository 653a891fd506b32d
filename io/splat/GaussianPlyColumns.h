#pragma once

#include "io/ply/PlyElement.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One scalar property of a PLY element as the 3DGS PLY reader reads it: where its values lie
// (an array the PLY reader stored, or a field of records streamed from a binary body) and
// how they convert to float and to uint32.
//
// The conversions are those of the PLY reader's typed access tried in a fixed order:
// - as float: float, double, uchar, then int (which also takes short and char). Unsigned
//   16- and 32-bit values have no float reading.
// - as uint32: every scalar type. Unsigned values are kept, signed ones keep the low 32
//   bits of their two's complement (-1 becomes 4294967295), floating values are truncated
//   toward zero to a 64-bit integer whose low 32 bits are kept (NaN and values outside the
//   64-bit range give 0).
struct SplatColumn {
    // out[i * outStride] = value i, for the values `stride` bytes apart.
    using FloatConverter = void (*)(const std::byte* values, std::size_t stride, std::size_t count, float* out,
                                    std::size_t outStride);
    using UInt32Converter = void (*)(const std::byte* values, std::size_t stride, std::size_t count,
                                     std::uint32_t* out);

    FloatConverter toFloat = nullptr;  // null when the stored type has no float reading
    UInt32Converter toUInt32 = nullptr;
    const std::byte* array = nullptr;  // the stored values; null for a field of streamed records
    std::size_t offset = 0;            // of the field within a record
    std::size_t stride = 0;            // bytes from one record's value to the next
    bool isNativeFloat = false;        // 32-bit floats in the machine's byte order: copied as they are

    // Where the value of record `firstRecord` lies: in the stored array, or in the block of
    // records read from the file that starts with that record.
    const std::byte* ValuesFrom(const std::byte* records, std::size_t firstRecord) const
    {
        return array ? array + firstRecord * stride : records + offset;
    }
};

// The stored values of the property, or of the element's first property called `name`;
// nothing when there is no such property or it is a list property.
std::optional<SplatColumn> StoredColumn(const orrisk::ply::Property& property);
std::optional<SplatColumn> StoredColumn(const orrisk::ply::PlyElement& element, const std::string& name);

// The property as the field at `offset` of records `recordBytes` long that are streamed from a
// binary body, in the file's byte order (`swapsBytes`: not the machine's); nothing for a list
// property.
std::optional<SplatColumn> RecordField(const orrisk::ply::Property& property, std::size_t offset, std::size_t recordBytes,
                                       bool swapsBytes);

// The values of the element's scalar property `name` as float, one per record; empty when
// there is no such property, it is a list property, or its type (ushort, uint) has no float
// reading.
std::vector<float> ReadPropertyAsFloat(const orrisk::ply::PlyElement& element, const std::string& name);

// The values of the element's scalar property `name` as uint32, one per record; empty when
// there is no such property or it is a list property.
std::vector<std::uint32_t> ReadPropertyAsUInt32(const orrisk::ply::PlyElement& element, const std::string& name);
