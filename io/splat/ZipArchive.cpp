#include "io/splat/ZipArchive.h"

#include "io/core/LittleEndian.h"
#include "io/splat/Decompress.h"

#include <zlib.h>

#include <algorithm>

namespace {

constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint32_t kDirectoryEntry = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::size_t kEndOfDirectoryBytes = 22;
constexpr std::size_t kDirectoryEntryBytes = 46;
constexpr std::size_t kLocalHeaderBytes = 30;
constexpr std::size_t kMaxCommentBytes = 0xffff;
constexpr std::uint32_t kZip64Marker = 0xffffffff;

}  // namespace

ZipArchive::ZipArchive(const std::string& path, const char* format)
    : m_file(std::make_unique<ReadOnlyFile>(path)), m_format(format)
{
}

bool ZipArchive::HasZipSignature(const std::string& path)
{
    const Bytes start = ReadFileStart(path, 4);
    return start.size() == 4 && LoadLE<std::uint32_t>(start.data()) == kLocalHeader;
}

ReadResult<ZipArchive> ZipArchive::Open(const std::string& path, const char* format)
{
    ZipArchive archive(path, format);
    const std::string prefix = std::string(format) + ": ";
    const std::optional<std::uint64_t> size = archive.m_file->RegularFileSize();
    if (!size)
        return Fail(ReadError::CannotOpen, prefix + "cannot open " + path + " as a regular file");
    archive.m_fileSize = *size;
    if (*size < kEndOfDirectoryBytes)
        return Fail(ReadError::Truncated, prefix + "too short for a zip archive");

    // The end record is the last thing in the file but for a comment of up to 64 KiB.
    const std::size_t tailBytes = static_cast<std::size_t>(std::min<std::uint64_t>(*size, kEndOfDirectoryBytes + kMaxCommentBytes));
    Bytes tail(tailBytes);
    if (!archive.m_file->ReadAt(*size - tailBytes, tail.data(), tail.size()))
        return Fail(ReadError::CannotOpen, prefix + "reading the zip directory failed");
    std::optional<std::size_t> end;
    for (std::size_t at = tailBytes - kEndOfDirectoryBytes + 1; at-- > 0;)
        if (LoadLE<std::uint32_t>(tail.data() + at) == kEndOfDirectory) {
            end = at;
            break;
        }
    if (!end)
        return Fail(ReadError::Malformed, prefix + "no zip end-of-directory record");
    const std::uint8_t* record = tail.data() + *end;
    const std::uint16_t entryCount = LoadLE<std::uint16_t>(record + 10);
    const std::uint32_t directoryBytes = LoadLE<std::uint32_t>(record + 12);
    const std::uint32_t directoryOffset = LoadLE<std::uint32_t>(record + 16);
    if (directoryOffset == kZip64Marker || entryCount == 0xffff)
        return Fail(ReadError::Unsupported, prefix + "ZIP64 archives are not read");
    if (static_cast<std::uint64_t>(directoryOffset) + directoryBytes > *size)
        return Fail(ReadError::Truncated, prefix + "the zip directory lies outside the file");

    Bytes directory(directoryBytes);
    if (!directory.empty() && !archive.m_file->ReadAt(directoryOffset, directory.data(), directory.size()))
        return Fail(ReadError::CannotOpen, prefix + "reading the zip directory failed");
    std::size_t at = 0;
    for (std::uint16_t e = 0; e < entryCount; ++e) {
        if (directory.size() - at < kDirectoryEntryBytes || LoadLE<std::uint32_t>(directory.data() + at) != kDirectoryEntry)
            return Fail(ReadError::Malformed, prefix + "zip directory entry " + std::to_string(e) + " is damaged");
        const std::uint8_t* p = directory.data() + at;
        Entry entry;
        entry.flags = LoadLE<std::uint16_t>(p + 8);
        entry.method = LoadLE<std::uint16_t>(p + 10);
        entry.crc = LoadLE<std::uint32_t>(p + 16);
        entry.compressedSize = LoadLE<std::uint32_t>(p + 20);
        entry.size = LoadLE<std::uint32_t>(p + 24);
        const std::size_t nameBytes = LoadLE<std::uint16_t>(p + 28);
        const std::size_t skipBytes = static_cast<std::size_t>(LoadLE<std::uint16_t>(p + 30)) + LoadLE<std::uint16_t>(p + 32);
        entry.localHeaderOffset = LoadLE<std::uint32_t>(p + 42);
        if (directory.size() - at - kDirectoryEntryBytes < nameBytes + skipBytes)
            return Fail(ReadError::Malformed, prefix + "zip directory entry " + std::to_string(e) + " is damaged");
        entry.name.assign(reinterpret_cast<const char*>(p + kDirectoryEntryBytes), nameBytes);
        at += kDirectoryEntryBytes + nameBytes + skipBytes;
        archive.m_entries.push_back(std::move(entry));
    }
    return archive;
}

const ZipArchive::Entry* ZipArchive::Find(const std::string& name) const
{
    const auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.name == name; });
    return it == m_entries.end() ? nullptr : &*it;
}

ReadResult<Bytes> ZipArchive::Read(const Entry& entry, std::uint64_t maxBytes) const
{
    const std::string prefix = m_format + ": zip entry " + entry.name + ": ";
    if (entry.flags & 1)
        return Fail(ReadError::Unsupported, prefix + "encrypted");
    if (entry.method != 0 && entry.method != 8)
        return Fail(ReadError::Unsupported, prefix + "compression method " + std::to_string(entry.method));
    if (entry.compressedSize == kZip64Marker || entry.size == kZip64Marker)
        return Fail(ReadError::Unsupported, prefix + "ZIP64 sizes");
    if (entry.size > maxBytes)
        return Fail(ReadError::TooLarge, prefix + std::to_string(entry.size) + " bytes, more than the " +
                                             std::to_string(maxBytes) + " it may hold");
    std::uint8_t local[kLocalHeaderBytes];
    if (entry.localHeaderOffset + kLocalHeaderBytes > m_fileSize ||
        !m_file->ReadAt(entry.localHeaderOffset, local, sizeof local) || LoadLE<std::uint32_t>(local) != kLocalHeader)
        return Fail(ReadError::Malformed, prefix + "its local header is missing");
    const std::uint64_t dataOffset = entry.localHeaderOffset + kLocalHeaderBytes + LoadLE<std::uint16_t>(local + 26) + LoadLE<std::uint16_t>(local + 28);
    if (dataOffset > m_fileSize || entry.compressedSize > m_fileSize - dataOffset)
        return Fail(ReadError::Truncated, prefix + "its data runs past the end of the file");
    if (entry.method == 0 && entry.compressedSize != entry.size)
        return Fail(ReadError::Malformed, prefix + "stored with two different sizes");

    Bytes stored(static_cast<std::size_t>(entry.compressedSize));
    if (!stored.empty() && !m_file->ReadAt(dataOffset, stored.data(), stored.size()))
        return Fail(ReadError::CannotOpen, prefix + "reading failed");
    Bytes bytes;
    if (entry.method == 0) {
        bytes = std::move(stored);
    } else {
        ReadResult<Bytes> inflated = InflateRaw(stored, static_cast<std::size_t>(entry.size), m_format.c_str());
        if (!inflated)
            return Fail(inflated.Failure().code, prefix + inflated.Failure().reason.substr(m_format.size() + 2));
        bytes = inflated.TakeValue();
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    for (std::size_t at = 0; at < bytes.size(); at += 1u << 30)
        crc = crc32(crc, bytes.data() + at, static_cast<uInt>(std::min<std::size_t>(bytes.size() - at, 1u << 30)));
    if (crc != entry.crc)
        return Fail(ReadError::Malformed, prefix + "CRC mismatch");
    return bytes;
}
