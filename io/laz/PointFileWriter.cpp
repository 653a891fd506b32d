#include "io/laz/PointFileWriter.h"

#include "io/core/LittleEndian.h"
#include "io/laz/LazWriter.h"
#include "platform/SafeFileWriter.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>
#include <vector>

namespace {

constexpr std::uint8_t kLasMinorWithExtendedFormats = 4;

std::uint8_t ChosenVersion(const PointRecordFormat& format, const PointFileOptions& options)
{
    std::uint8_t minor = options.versionMinor.value_or(std::max<std::uint8_t>(format.versionMinor, 1));
    // Formats 6 to 10, and counts the 32-bit fields of older headers cannot state, need 1.4.
    if (format.format >= 6 || format.pointCount > 0xFFFFFFFFu)
        minor = std::max(minor, kLasMinorWithExtendedFormats);
    return std::min<std::uint8_t>(minor, kLasMinorWithExtendedFormats);
}

}  // namespace

PointFileWriter::PointFileWriter(std::string target, PointFileOptions options)
    : m_target(std::move(target)), m_options(options)
{
}

PointFileWriter::~PointFileWriter() = default;

bool PointFileWriter::Refuse(WriteError code, std::string reason)
{
    if (!m_failure)
        m_failure = WriteFailure{code, std::move(reason)};
    m_chunks.reset();
    m_file.reset();  // removes the temporary file
    return false;
}

bool PointFileWriter::WriteFailed()
{
    return Refuse(WriteError::WriteFailed, m_file ? m_file->Error() : "cannot write " + m_target);
}

bool PointFileWriter::Begin(const PointRecordFormat& format)
{
    if (format.format > 10 || format.recordLength < StandardRecordLength(format.format))
        return Refuse(WriteError::Refused, "point format " + std::to_string(format.format) + " with records of "
                                               + std::to_string(format.recordLength) + " bytes cannot be written");
    m_format = format;
    m_placement.versionMinor = ChosenVersion(format, m_options);
    m_placement.compressed = m_options.compress;
    if (m_placement.versionMinor < 4)
        m_format.globalEncoding &= 0x000F;

    // VLRs go before the points; EVLRs after them, or, in a version without EVLRs, among the
    // VLRs when they are small enough.
    std::vector<VariableLengthRecord> before;
    for (const VariableLengthRecord& record : format.vlrs) {
        if (!record.extended || m_placement.versionMinor < 4) {
            if (record.data.size() > 0xFFFF) {
                ++m_dropped;
                continue;
            }
            VariableLengthRecord moved = record;
            moved.extended = false;
            before.push_back(std::move(moved));
        }
    }
    std::optional<laz::LazLayout> layout;
    if (m_options.compress) {
        layout = laz::LayoutForFormat(format.format, format.recordLength, m_options.chunkSize);
        if (!layout)
            return Refuse(WriteError::Refused, "point format " + std::to_string(format.format) + " with records of "
                                                   + std::to_string(format.recordLength) + " bytes cannot be compressed");
        before.push_back(VariableLengthRecord{laz::kLaszipUserId, laz::kLaszipRecordId, "by Orrisk", laz::LazVlrPayload(*layout), false});
    }

    m_file = std::make_unique<SafeFileWriter>(m_target);
    if (!m_file->Ok())
        return Refuse(WriteError::CannotCreate, m_file->Error());
    // The header is written again, complete, by Finish.
    std::vector<unsigned char> header = las::SerializeHeader(m_format, m_placement, m_summary);
    std::uint64_t offset = header.size();
    for (const VariableLengthRecord& record : before)
        offset += 54 + record.data.size();
    if (offset > 0xFFFFFFFFu)
        return Refuse(WriteError::Refused, "the VLRs are too large for a LAS header to point past them");
    m_placement.pointDataOffset = static_cast<std::uint32_t>(offset);
    m_placement.vlrCount = static_cast<std::uint32_t>(before.size());
    header = las::SerializeHeader(m_format, m_placement, m_summary);
    if (!m_file->Write(header.data(), header.size()))
        return WriteFailed();
    for (const VariableLengthRecord& record : before) {
        const std::vector<unsigned char> bytes = las::SerializeVlr(record);
        if (!m_file->Write(bytes.data(), bytes.size()))
            return WriteFailed();
    }
    if (m_options.compress) {
        // The chunk table's place, known only at the end.
        m_chunkTableOffsetAt = m_file->Size();
        const std::int64_t unknown = -1;
        unsigned char bytes[8];
        StoreLE(bytes, unknown);
        if (!m_file->Write(bytes, sizeof bytes))
            return WriteFailed();
        SafeFileWriter* file = m_file.get();
        m_chunks = std::make_unique<laz::LazChunkWriter>(
            *layout, format.recordLength,
            [file](const unsigned char* bytes, std::size_t size) { return file->Write(bytes, size); }, m_options.pool);
    }
    return true;
}

bool PointFileWriter::Take(const unsigned char* records, std::size_t count)
{
    if (!m_file)
        return false;
    m_summary.Add(records, count, m_format.format, m_format.recordLength);
    const bool written = m_chunks ? m_chunks->Add(records, count) : m_file->Write(records, count * m_format.recordLength);
    return written || WriteFailed();
}

WriteResult PointFileWriter::Finish()
{
    if (m_failure)
        return *m_failure;
    if (!m_file)
        return WriteFailure{WriteError::SourceFailed, "no records were given to write " + m_target};
    try {
        if (m_chunks) {
            if (!m_chunks->Finish())
                return (WriteFailed(), *m_failure);
            const std::uint64_t tableOffset = m_file->Size();
            const std::vector<unsigned char> table = laz::EncodeChunkTable(m_chunks->Chunks(), false);
            if (!m_file->Write(table.data(), table.size()))
                return (WriteFailed(), *m_failure);
            unsigned char bytes[8];
            StoreLE(bytes, static_cast<std::int64_t>(tableOffset));
            if (!m_file->WriteAt(m_chunkTableOffsetAt, bytes, sizeof bytes))
                return (WriteFailed(), *m_failure);
        }
        if (m_placement.versionMinor >= 4) {
            std::uint32_t evlrs = 0;
            const std::uint64_t evlrOffset = m_file->Size();
            for (const VariableLengthRecord& record : m_format.vlrs) {
                if (!record.extended)
                    continue;
                const std::vector<unsigned char> bytes = las::SerializeVlr(record);
                if (!m_file->Write(bytes.data(), bytes.size()))
                    return (WriteFailed(), *m_failure);
                ++evlrs;
            }
            m_placement.evlrCount = evlrs;
            m_placement.evlrOffset = evlrs ? evlrOffset : 0;
        }
        const std::vector<unsigned char> header = las::SerializeHeader(m_format, m_placement, m_summary);
        if (!m_file->WriteAt(0, header.data(), header.size()) || !m_file->Commit())
            return (WriteFailed(), *m_failure);
    } catch (const std::bad_alloc&) {
        Refuse(WriteError::WriteFailed, "not enough memory to write " + m_target);
        return *m_failure;
    }
    m_chunks.reset();
    m_file.reset();
    return {};
}
