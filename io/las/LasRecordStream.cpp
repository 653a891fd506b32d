#include "io/las/LasRecordStream.h"

#include "io/core/LittleEndian.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

namespace las {

namespace {

constexpr std::size_t kVlrHeaderSize = 54;
constexpr std::size_t kEvlrHeaderSize = 60;

std::string FixedText(const unsigned char* at, std::size_t size)
{
    const auto* text = reinterpret_cast<const char*>(at);
    return std::string(text, strnlen(text, size));
}

// Records that describe only how the source stored its points; a writer makes its own.
bool DescribesStorage(const VariableLengthRecord& record)
{
    if (record.userId == "laszip encoded")
        return record.recordId == 22204;
    if (record.userId == "copc")
        return record.recordId == 1 || record.recordId == 1000;
    return false;
}

void ReadRecordHeader(const unsigned char* at, bool extended, VariableLengthRecord& record, std::uint64_t& length)
{
    record.userId = FixedText(at + 2, 16);
    record.recordId = LoadLE<std::uint16_t>(at + 18);
    record.extended = extended;
    if (extended) {
        length = LoadLE<std::uint64_t>(at + 20);
        record.description = FixedText(at + 28, 32);
    } else {
        length = LoadLE<std::uint16_t>(at + 20);
        record.description = FixedText(at + 22, 32);
    }
}

}  // namespace

ReadResult<PointRecordFormat> ReadRecordFormat(const ReadOnlyFile& file, std::uint64_t fileSize, const HeaderImage& image)
{
    const LasHeader header = ParseHeader(image);
    PointRecordFormat format;
    format.versionMinor = image[25];
    format.format = header.format;
    format.recordLength = header.recordLength;
    format.scale = header.scale;
    format.offset = header.offset;
    format.pointCount = header.pointCount;
    format.fileSourceId = LoadLE<std::uint16_t>(&image[4]);
    format.globalEncoding = LoadLE<std::uint16_t>(&image[6]);
    std::memcpy(format.projectId.data(), &image[8], 16);
    format.systemIdentifier = FixedText(&image[26], 32);
    format.creationDay = LoadLE<std::uint16_t>(&image[90]);
    format.creationYear = LoadLE<std::uint16_t>(&image[92]);
    if (header.format > 10)
        return Fail(ReadError::Unsupported, "LAS: point format " + std::to_string(header.format) + " is not a standard one");
    if (header.recordLength < StandardRecordLength(header.format))
        return Fail(ReadError::Malformed, "LAS: records of " + std::to_string(header.recordLength) + " bytes are shorter than format "
                                              + std::to_string(header.format) + " needs");

    std::uint64_t at = header.headerSize;
    for (std::uint32_t i = 0; i < header.vlrCount; ++i) {
        unsigned char head[kVlrHeaderSize];
        if (at + kVlrHeaderSize > header.pointDataOffset || !file.ReadAt(at, head, sizeof head))
            return Fail(ReadError::Malformed, "LAS: VLR " + std::to_string(i) + " runs into the point data");
        VariableLengthRecord record;
        std::uint64_t length = 0;
        ReadRecordHeader(head, false, record, length);
        at += kVlrHeaderSize;
        if (at + length > header.pointDataOffset)
            return Fail(ReadError::Malformed, "LAS: VLR " + std::to_string(i) + " runs into the point data");
        record.data.resize(length);
        if (length > 0 && !file.ReadAt(at, record.data.data(), record.data.size()))
            return Fail(ReadError::Truncated, "LAS: VLR " + std::to_string(i) + " cannot be read");
        at += length;
        if (!DescribesStorage(record))
            format.vlrs.push_back(std::move(record));
    }

    if (format.versionMinor >= 4 && header.headerSize >= 375) {
        at = LoadLE<std::uint64_t>(&image[235]);
        const std::uint32_t count = LoadLE<std::uint32_t>(&image[243]);
        // Some writers leave the offset of EVLRs they did not copy: nothing lies there.
        if (at >= fileSize)
            return format;
        for (std::uint32_t i = 0; i < count && at != 0; ++i) {
            unsigned char head[kEvlrHeaderSize];
            if (at > fileSize || fileSize - at < kEvlrHeaderSize || !file.ReadAt(at, head, sizeof head))
                return Fail(ReadError::Truncated, "LAS: EVLR " + std::to_string(i) + " lies past the end of the file");
            VariableLengthRecord record;
            std::uint64_t length = 0;
            ReadRecordHeader(head, true, record, length);
            at += kEvlrHeaderSize;
            if (length > fileSize - at)
                return Fail(ReadError::Truncated, "LAS: EVLR " + std::to_string(i) + " runs past the end of the file");
            record.data.resize(length);
            if (length > 0 && !file.ReadAt(at, record.data.data(), record.data.size()))
                return Fail(ReadError::Truncated, "LAS: EVLR " + std::to_string(i) + " cannot be read");
            at += length;
            if (!DescribesStorage(record))
                format.vlrs.push_back(std::move(record));
        }
    }
    return format;
}

}  // namespace las

namespace {

constexpr std::size_t kBlockRecords = 1 << 16;

ReadResult<PointRecordFormat> Stream(const std::string& path, PointRecordSink& sink, const ReadOptions& options)
{
    const ReadOnlyFile file(path);
    const std::optional<std::uint64_t> fileSize = file.RegularFileSize();
    if (!fileSize)
        return Fail(ReadError::CannotOpen, "LAS: cannot open the file");
    const ReadResult<las::HeaderImage> image = las::ReadHeaderImage(file);
    if (!image)
        return image.Failure();
    const las::LasHeader header = las::ParseHeader(image.Value());
    if (header.formatByte & 0x80)
        return Fail(ReadError::NotRecognised, "LAS: the point data is compressed");
    ReadResult<PointRecordFormat> format = las::ReadRecordFormat(file, *fileSize, image.Value());
    if (!format)
        return format;
    if (header.pointDataOffset > *fileSize || header.pointCount > (*fileSize - header.pointDataOffset) / header.recordLength)
        return Fail(ReadError::Truncated, "LAS: the header claims " + std::to_string(header.pointCount) + " points, more than the file holds");
    if (!sink.Begin(format.Value()))
        return Fail(ReadError::Cancelled, "LAS: cancelled");

    const std::size_t blockRecords = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockRecords, header.pointCount));
    std::vector<unsigned char> block(blockRecords * header.recordLength);
    for (std::uint64_t first = 0; first < header.pointCount;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(blockRecords, header.pointCount - first));
        if (!file.ReadAt(header.pointDataOffset + first * header.recordLength, block.data(), n * header.recordLength))
            return Fail(ReadError::Truncated, "LAS: the point block ends before point " + std::to_string(first + n));
        if (!sink.Take(block.data(), n))
            return Fail(ReadError::Cancelled, "LAS: cancelled");
        first += n;
        if (!ReportProgress(options, static_cast<double>(first) / static_cast<double>(header.pointCount)))
            return Fail(ReadError::Cancelled, "LAS: cancelled");
    }
    return format;
}

}  // namespace

ReadResult<PointRecordFormat> StreamLasRecords(const std::string& path, PointRecordSink& sink, const ReadOptions& options)
{
    try {
        return Stream(path, sink, options);
    } catch (const std::bad_alloc&) {
        return Fail(ReadError::TooLarge, "LAS: not enough memory for the file's records");
    }
}
