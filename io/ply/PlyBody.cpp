#include "io/ply/PlyBody.h"

#include "io/ply/PlyByteOrder.h"
#include "io/ply/PlyError.h"
#include "io/ply/PlyFile.h"
#include "io/ply/PlyRecordBlocks.h"
#include "io/ply/PlyText.h"
#include "platform/MemoryHints.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <istream>
#include <string>

namespace orrisk::ply {
namespace {

// Caps a list property's reservation so that its three-entries-per-record guess can never
// reserve more entries than `bytesLeft` could hold at `bytesPerEntry` each.
std::size_t ListReservation(std::uint64_t recordCount, std::uint64_t bytesLeft, std::size_t bytesPerEntry)
{
    return static_cast<std::size_t>(std::min(recordCount, bytesLeft / (3 * bytesPerEntry)));
}

void ReserveWithin(PlyElement& element, std::uint64_t recordLimit, std::uint64_t bytesLeft, std::size_t bytesPerEntry)
{
    const std::uint64_t records = std::min(element.recordCount, recordLimit);
    for (auto& property : element.properties) {
        VisitProperty(*property, [&](auto& typed) {
            using Typed = std::remove_cvref_t<decltype(typed)>;
            if constexpr (Typed::isList)
                typed.ReserveRecords(ListReservation(
                    records, bytesLeft, std::max(bytesPerEntry, sizeof(typename Typed::ValueType))));
            else
                typed.ReserveRecords(static_cast<std::size_t>(records));
        });
    }
}

// ---- ASCII: one record per line ----

// What reserving one record takes: its scalars, and for each list three entries (the guess
// for meshes of triangles) and where its entries end.
std::uint64_t ReservedBytesPerRecord(const PlyElement& element)
{
    std::uint64_t bytes = 0;
    for (const auto& property : element.properties) {
        VisitProperty(*property, [&](const auto& typed) {
            using Typed = std::remove_cvref_t<decltype(typed)>;
            const std::size_t value = sizeof(typename Typed::ValueType);
            bytes += Typed::isList ? 3 * value + sizeof(std::uint64_t) : value;
        });
    }
    return std::max<std::uint64_t>(bytes, 1);
}

void ReadAsciiElement(std::istream& stream, PlyElement& element)
{
    const std::uint64_t bytesLeft = BytesLeft(stream);
    // Every value of a record takes at least one character and a separator (the last line
    // may lack its line end), every list entry at least two characters; and however many
    // records the header claims, no more is reserved than the size of the rest of the file.
    const std::uint64_t properties = std::max<std::size_t>(element.properties.size(), 1);
    const std::uint64_t recordLimit =
        std::min(bytesLeft / (2 * properties), bytesLeft / ReservedBytesPerRecord(element)) + 1;
    ReserveWithin(element, recordLimit, bytesLeft, 2);

    const bool hasProperties = !element.properties.empty();
    std::string line;
    for (std::uint64_t record = 0; record < element.recordCount; ++record) {
        bool gotLine = static_cast<bool>(std::getline(stream, line));
        while (gotLine && hasProperties && line.empty())
            gotLine = static_cast<bool>(std::getline(stream, line));
        if (!gotLine)
            throw UnexpectedEndOfFile("element " + element.name);
        PlyLineTokens tokens(line);
        std::size_t cursor = 0;
        for (auto& property : element.properties)
            property->ParseAsciiTokens(tokens, cursor);
    }
}

// ---- Binary ----

using ColumnDecoder = void (*)(Property&, const std::byte* first, std::size_t stride, std::size_t count);

// Reserves room for every record of a scalar property and maps its pages in one go.
template <typename T>
void PrepareColumn(Property& property, std::size_t recordCount)
{
    property.ReserveRecords(recordCount);
    std::vector<T>& values = static_cast<TypedProperty<T>&>(property).values;
    PrefaultForWriting(values.data() + values.size(), recordCount * sizeof(T));
}

// The values of one field of consecutive records, `stride` bytes apart.
template <typename T, bool Swap>
class FieldIterator {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = const T*;
    using reference = T;

    FieldIterator(const std::byte* at, std::size_t stride) : m_at(at), m_stride(static_cast<difference_type>(stride)) {}

    T operator*() const { return LoadValue<T, Swap>(m_at); }
    T operator[](difference_type n) const { return *(*this + n); }
    FieldIterator& operator++() { return *this += 1; }
    FieldIterator operator++(int)
    {
        FieldIterator before = *this;
        ++*this;
        return before;
    }
    FieldIterator& operator--() { return *this -= 1; }
    FieldIterator operator--(int)
    {
        FieldIterator before = *this;
        --*this;
        return before;
    }
    FieldIterator& operator+=(difference_type n)
    {
        m_at += n * m_stride;
        return *this;
    }
    FieldIterator& operator-=(difference_type n) { return *this += -n; }
    FieldIterator operator+(difference_type n) const { return FieldIterator(*this) += n; }
    FieldIterator operator-(difference_type n) const { return FieldIterator(*this) -= n; }
    difference_type operator-(const FieldIterator& other) const { return (m_at - other.m_at) / m_stride; }
    bool operator==(const FieldIterator& other) const { return m_at == other.m_at; }
    auto operator<=>(const FieldIterator& other) const { return m_at <=> other.m_at; }

private:
    const std::byte* m_at;
    difference_type m_stride;
};

// Appends `count` values found `stride` bytes apart to a scalar property.
template <typename T, bool Swap>
void AppendColumn(Property& property, const std::byte* first, std::size_t stride, std::size_t count)
{
    // Constructing the new values straight from the records writes each one once (growing
    // the array first would write zeros there before).
    std::vector<T>& values = static_cast<TypedProperty<T>&>(property).values;
    values.insert(values.end(), FieldIterator<T, Swap>(first, stride), FieldIterator<T, Swap>(first + count * stride, stride));
}

struct Column {
    Property* property;
    std::size_t offset;  // within the record
    ColumnDecoder decode;
};

class BinaryBodyReader {
public:
    explicit BinaryBodyReader(std::istream& stream, bool bigEndianFile)
        : m_stream(stream),
          m_bigEndianFile(bigEndianFile),
          m_swap(bigEndianFile != (std::endian::native == std::endian::big))
    {
    }

    void ReadElement(PlyElement& element)
    {
        if (element.properties.empty())
            return;  // records without properties take no bytes
        const std::uint64_t bytesLeft = BytesLeft(m_stream);
        if (const std::optional<std::size_t> recordBytes = FixedRecordBytes(element)) {
            RequireRecordsFit(element, *recordBytes, bytesLeft);
            ReadFixedSizeRecords(element, *recordBytes);
        } else {
            RequireRecordsFit(element, MinimumRecordBytes(element), bytesLeft);
            ReserveWithin(element, element.recordCount, bytesLeft, 1);
            ReadRecordByRecord(element);
        }
    }

private:
    // Reads blocks of records and appends each block to every property, column by column.
    void ReadFixedSizeRecords(PlyElement& element, std::size_t recordBytes)
    {
        std::vector<Column> columns;
        std::size_t offset = 0;
        for (auto& property : element.properties) {
            VisitProperty(*property, [&](auto& typed) {
                using Typed = std::remove_cvref_t<decltype(typed)>;
                if constexpr (!Typed::isList) {
                    using T = typename Typed::ValueType;
                    PrepareColumn<T>(typed, static_cast<std::size_t>(element.recordCount));
                    columns.push_back({&typed, offset, m_swap ? &AppendColumn<T, true> : &AppendColumn<T, false>});
                    offset += sizeof(T);
                }
            });
        }
        ReadRecordBlocks(m_stream, element, recordBytes, m_block, [&](const std::byte* records, std::size_t count) {
            for (const Column& column : columns)
                column.decode(*column.property, records + column.offset, recordBytes, count);
        });
    }

    // Records holding lists vary in size: each property reads its own part of each record.
    void ReadRecordByRecord(PlyElement& element)
    {
        try {
            for (std::uint64_t record = 0; record < element.recordCount; ++record) {
                for (auto& property : element.properties) {
                    if (m_bigEndianFile)
                        property->ReadBigEndian(m_stream);
                    else
                        property->ReadLittleEndian(m_stream);
                }
            }
        } catch (const PropertyReadPastEnd&) {
            throw UnexpectedEndOfFile("element " + element.name);
        }
    }

    // The smallest a record with lists can be: its scalars and its (zero) list counts.
    static std::size_t MinimumRecordBytes(const PlyElement& element)
    {
        std::size_t bytes = 0;
        for (const auto& property : element.properties) {
            VisitProperty(*property, [&](const auto& typed) {
                using Typed = std::remove_cvref_t<decltype(typed)>;
                if constexpr (Typed::isList)
                    bytes += static_cast<std::size_t>(typed.countWidth);
                else
                    bytes += sizeof(typename Typed::ValueType);
            });
        }
        return bytes;
    }

    std::istream& m_stream;
    bool m_bigEndianFile;
    bool m_swap;  // the file's byte order is not the machine's
    std::vector<std::byte> m_block;
};

}  // namespace

void ReadPlyBody(std::istream& stream, PlyEncoding encoding, std::vector<PlyElement>& elements)
{
    // A header that ran into the end of the file leaves the stream failed; the body is
    // then simply empty.
    stream.clear();
    if (encoding == PlyEncoding::Ascii) {
        for (PlyElement& element : elements)
            ReadAsciiElement(stream, element);
        return;
    }
    BinaryBodyReader reader(stream, encoding == PlyEncoding::BigEndian);
    for (PlyElement& element : elements)
        reader.ReadElement(element);
}

}  // namespace orrisk::ply
