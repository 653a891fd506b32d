#pragma once

#include "io/core/ReadOnlyFile.h"
#include "io/core/ReadResult.h"
#include "io/splat/SplatBytes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A zip archive read through its central directory: entries stored or deflated, no
// encryption, no ZIP64. Every size is checked against the file before anything is allocated.
class ZipArchive {
public:
    struct Entry {
        std::string name;
        std::uint16_t method = 0;  // 0 stored, 8 deflated
        std::uint16_t flags = 0;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0;
        std::uint64_t size = 0;
        std::uint64_t localHeaderOffset = 0;
    };

    // Reads the central directory; `format` names the format in failure reasons.
    static ReadResult<ZipArchive> Open(const std::string& path, const char* format);

    // True when the file starts like a zip archive.
    static bool HasZipSignature(const std::string& path);

    const std::vector<Entry>& Entries() const { return m_entries; }
    const Entry* Find(const std::string& name) const;
    // The entry's bytes, refused when they would be more than maxBytes; CRC-checked.
    ReadResult<Bytes> Read(const Entry& entry, std::uint64_t maxBytes) const;

private:
    ZipArchive(const std::string& path, const char* format);

    std::unique_ptr<ReadOnlyFile> m_file;
    std::uint64_t m_fileSize = 0;
    std::vector<Entry> m_entries;
    std::string m_format;
};
