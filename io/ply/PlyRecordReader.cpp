#include "io/ply/PlyRecordReader.h"

#include "io/ply/PlyRecordBlocks.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace orrisk::ply {

PlyRecordReader::PlyRecordReader(const std::string& path)
    : m_path(path), m_stream(OpenPlyFile(path)), m_header(PlyFile::HeaderOnly(m_stream))
{
    // A header that ran into the end of the file leaves the stream failed; the body is
    // then simply empty.
    m_stream.clear();
    m_bodyStart = static_cast<std::uint64_t>(std::max<std::streamoff>(0, m_stream.tellg()));
    m_fixedSize = m_header.encoding != PlyEncoding::Ascii &&
                  std::all_of(m_header.elements.begin(), m_header.elements.end(),
                              [](const PlyElement& element) { return FixedRecordBytes(element).has_value(); });
    m_swap = (m_header.encoding == PlyEncoding::BigEndian) != (std::endian::native == std::endian::big);
}

std::size_t PlyRecordReader::RecordBytes(const PlyElement& element) const
{
    return FixedRecordBytes(element).value();
}

std::size_t PlyRecordReader::OffsetOf(const PlyElement& element, const std::string& name) const
{
    std::size_t offset = 0;
    for (const auto& property : element.properties) {
        if (property->name == name)
            return offset;
        VisitProperty(*property, [&](const auto& typed) {
            offset += sizeof(typename std::remove_cvref_t<decltype(typed)>::ValueType);
        });
    }
    throw std::runtime_error("PLY parser: element " + element.name + " does not have property " + name);
}

void PlyRecordReader::RequireCompleteBody()
{
    if (m_bodyChecked)
        return;
    m_stream.seekg(static_cast<std::streamoff>(m_bodyStart));
    std::uint64_t bytesLeft = BytesLeft(m_stream);
    for (const PlyElement& element : m_header.elements) {
        const std::size_t recordBytes = RecordBytes(element);
        RequireRecordsFit(element, recordBytes, bytesLeft);
        bytesLeft -= element.recordCount * recordBytes;
    }
    m_bodyChecked = true;
}

std::uint64_t PlyRecordReader::BodyOffsetOf(const PlyElement& element) const
{
    std::uint64_t offset = m_bodyStart;
    for (const PlyElement& before : m_header.elements) {
        if (&before == &element)
            return offset;
        offset += before.recordCount * RecordBytes(before);
    }
    throw std::logic_error("PlyRecordReader: element of another file");
}

void PlyRecordReader::ReadRecords(const PlyElement& element,
                                  const std::function<void(const std::byte* records, std::size_t count)>& consume)
{
    RequireCompleteBody();  // also keeps the offsets below within the file
    m_stream.clear();
    m_stream.seekg(static_cast<std::streamoff>(BodyOffsetOf(element)));
    ReadRecordBlocks(m_stream, element, RecordBytes(element), m_block, consume);
}

FixedRecords PlyRecordReader::Layout(const PlyElement& element)
{
    RequireCompleteBody();  // the count then fits in memory: its records are in the file
    return {BodyOffsetOf(element), RecordBytes(element), static_cast<std::size_t>(element.recordCount)};
}

}  // namespace orrisk::ply
