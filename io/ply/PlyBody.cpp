#include "io/ply/PlyBody.h"

#include "io/ply/PlyByteOrder.h"
#include "io/ply/PlyError.h"
#include "io/ply/PlyFile.h"
#include "io/ply/PlyText.h"

#include <algorithm>
#include <bit>
#include <istream>
#include <string>

namespace happly {
namespace {

// Records of fixed-size elements are read this many bytes at a time and decoded column by
// column while the block is still in cache.
constexpr std::size_t kBlockBytes = 256 * 1024;

std::uint64_t BytesLeft(std::istream& stream)
{
    const std::istream::pos_type here = stream.tellg();
    stream.seekg(0, std::ios::end);
    const std::istream::pos_type end = stream.tellg();
    stream.seekg(here);
    return here < 0 || end < here ? 0 : static_cast<std::uint64_t>(end - here);
}

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

void ReadAsciiElement(std::istream& stream, PlyElement& element)
{
    const std::uint64_t bytesLeft = BytesLeft(stream);
    // Every record takes at least one character and a line end (the last one may lack it);
    // every list entry at least two characters.
    ReserveWithin(element, bytesLeft / 2 + 1, bytesLeft, 2);

    const bool hasProperties = !element.properties.empty();
    std::string line;
    for (std::uint64_t record = 0; record < element.recordCount; ++record) {
        bool gotLine = static_cast<bool>(std::getline(stream, line));
        while (gotLine && hasProperties && line.empty())
            gotLine = static_cast<bool>(std::getline(stream, line));
        if (!gotLine)
            throw UnexpectedEndOfFile("element " + element.name);
        const std::vector<std::string> tokens = SplitPlyTokens(line);
        std::size_t cursor = 0;
        for (auto& property : element.properties)
            property->ParseAsciiTokens(tokens, cursor);
    }
}

// ---- Binary ----

using ColumnDecoder = void (*)(Property&, const std::byte* first, std::size_t stride, std::size_t count);

// Appends `count` values found `stride` bytes apart to a scalar property.
template <typename T, bool Swap>
void AppendColumn(Property& property, const std::byte* first, std::size_t stride, std::size_t count)
{
    std::vector<T>& values = static_cast<TypedProperty<T>&>(property).values;
    const std::size_t oldSize = values.size();
    values.resize(oldSize + count);
    T* out = values.data() + oldSize;
    for (std::size_t i = 0; i < count; ++i)
        out[i] = LoadValue<T, Swap>(first + i * stride);
}

struct Column {
    Property* property;
    std::size_t offset;  // within the record
    ColumnDecoder decode;
};

class BinaryBodyReader {
public:
    BinaryBodyReader(std::istream& stream, bool bigEndianFile)
        : m_stream(stream),
          m_bigEndianFile(bigEndianFile),
          m_swap(bigEndianFile != (std::endian::native == std::endian::big))
    {
    }

    void ReadElement(PlyElement& element)
    {
        if (element.properties.empty())
            return;  // records without properties take no bytes
        std::vector<Column> columns;
        std::size_t minRecordBytes = 0;
        bool hasList = false;
        for (auto& property : element.properties) {
            VisitProperty(*property, [&](auto& typed) {
                using Typed = std::remove_cvref_t<decltype(typed)>;
                using T = typename Typed::ValueType;
                if constexpr (Typed::isList) {
                    hasList = true;
                    minRecordBytes += static_cast<std::size_t>(typed.countWidth);
                } else {
                    columns.push_back({&typed, minRecordBytes, m_swap ? &AppendColumn<T, true> : &AppendColumn<T, false>});
                    minRecordBytes += sizeof(T);
                }
            });
        }
        const std::uint64_t bytesLeft = BytesLeft(m_stream);
        if (element.recordCount > bytesLeft / minRecordBytes)
            throw UnexpectedEndOfFile("element " + element.name);
        ReserveWithin(element, element.recordCount, bytesLeft, 1);
        if (hasList)
            ReadRecordByRecord(element);
        else
            ReadFixedSizeRecords(element, columns, minRecordBytes);
    }

private:
    void ReadFixedSizeRecords(PlyElement& element, const std::vector<Column>& columns, std::size_t recordBytes)
    {
        const std::size_t recordsPerBlock = std::max<std::size_t>(1, kBlockBytes / recordBytes);
        m_block.resize(std::max(m_block.size(), recordsPerBlock * recordBytes));
        for (std::uint64_t done = 0; done < element.recordCount;) {
            const auto records = static_cast<std::size_t>(std::min<std::uint64_t>(recordsPerBlock, element.recordCount - done));
            const std::size_t bytes = records * recordBytes;
            m_stream.read(reinterpret_cast<char*>(m_block.data()), static_cast<std::streamsize>(bytes));
            if (static_cast<std::size_t>(m_stream.gcount()) != bytes)
                throw UnexpectedEndOfFile("element " + element.name);
            for (const Column& column : columns)
                column.decode(*column.property, m_block.data() + column.offset, recordBytes, records);
            done += records;
        }
    }

    // Records holding lists vary in size: each property reads its own part of each record.
    void ReadRecordByRecord(PlyElement& element)
    {
        for (std::uint64_t record = 0; record < element.recordCount; ++record) {
            for (auto& property : element.properties) {
                if (m_bigEndianFile)
                    property->ReadBigEndian(m_stream);
                else
                    property->ReadLittleEndian(m_stream);
            }
        }
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

}  // namespace happly
