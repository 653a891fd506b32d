#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// The bytes of a zip archive holding the given (name, contents) entries, stored without
// compression, with a central directory as every zip tool writes it.
inline std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string out;
    std::string directory;
    auto put16 = [](std::string& s, std::uint32_t v) {
        s.push_back(static_cast<char>(v & 0xff));
        s.push_back(static_cast<char>((v >> 8) & 0xff));
    };
    auto put32 = [&](std::string& s, std::uint32_t v) {
        put16(s, v & 0xffff);
        put16(s, v >> 16);
    };
    for (const auto& [name, contents] : entries) {
        const auto crc = static_cast<std::uint32_t>(
            crc32(0L, reinterpret_cast<const Bytef*>(contents.data()), static_cast<uInt>(contents.size())));
        const auto offset = static_cast<std::uint32_t>(out.size());
        const auto size = static_cast<std::uint32_t>(contents.size());
        const auto nameSize = static_cast<std::uint32_t>(name.size());
        put32(out, 0x04034b50);
        put16(out, 20); put16(out, 0); put16(out, 0); put16(out, 0); put16(out, 0);
        put32(out, crc); put32(out, size); put32(out, size);
        put16(out, nameSize); put16(out, 0);
        out += name;
        out += contents;
        put32(directory, 0x02014b50);
        put16(directory, 20); put16(directory, 20); put16(directory, 0); put16(directory, 0);
        put16(directory, 0); put16(directory, 0);
        put32(directory, crc); put32(directory, size); put32(directory, size);
        put16(directory, nameSize); put16(directory, 0); put16(directory, 0); put16(directory, 0);
        put16(directory, 0); put32(directory, 0); put32(directory, offset);
        directory += name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(out.size());
    out += directory;
    put32(out, 0x06054b50);
    put16(out, 0); put16(out, 0);
    put16(out, static_cast<std::uint32_t>(entries.size())); put16(out, static_cast<std::uint32_t>(entries.size()));
    put32(out, static_cast<std::uint32_t>(directory.size())); put32(out, directoryOffset);
    put16(out, 0);
    return out;
}

}  // namespace testsupport
