#pragma once

#include "io/ply/PlyFile.h"

#include <bit>
#include <cstring>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>

namespace testsupport {

// Builds the bytes of a PLY test file: header text, then body values in either byte order.
class PlyBytes {
public:
    explicit PlyBytes(std::string_view text = {}) : m_bytes(text) {}

    PlyBytes& Text(std::string_view text)
    {
        m_bytes += text;
        return *this;
    }
    PlyBytes& Octets(std::initializer_list<unsigned char> octets)
    {
        for (unsigned char octet : octets)
            m_bytes += static_cast<char>(octet);
        return *this;
    }
    template <typename T>
    PlyBytes& Le(T value)
    {
        return Value(value, std::endian::little);
    }
    template <typename T>
    PlyBytes& Be(T value)
    {
        return Value(value, std::endian::big);
    }
    const std::string& Bytes() const { return m_bytes; }
    operator std::string_view() const { return m_bytes; }

private:
    template <typename T>
    PlyBytes& Value(T value, std::endian order)
    {
        char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        for (std::size_t i = 0; i < sizeof(T); ++i)
            m_bytes += bytes[order == std::endian::native ? i : sizeof(T) - 1 - i];
        return *this;
    }

    std::string m_bytes;
};

// A PLY file holding the elements of `ply`, written with the properties' writing slots.
inline std::string WritePly(const orrisk::ply::PlyFile& ply, orrisk::ply::PlyEncoding encoding)
{
    static constexpr const char* kFormats[] = {"ascii", "binary_little_endian", "binary_big_endian"};
    std::ostringstream out;
    out << "ply\nformat " << kFormats[static_cast<int>(encoding)] << " 1.0\n";
    for (const orrisk::ply::PlyElement& element : ply.elements) {
        out << "element " << element.name << ' ' << element.recordCount << '\n';
        for (const auto& property : element.properties)
            property->WriteHeaderLine(out);
    }
    out << "end_header\n";
    for (const orrisk::ply::PlyElement& element : ply.elements) {
        for (std::size_t record = 0; record < element.recordCount; ++record) {
            for (std::size_t p = 0; p < element.properties.size(); ++p) {
                const orrisk::ply::Property& property = *element.properties[p];
                if (encoding == orrisk::ply::PlyEncoding::Ascii) {
                    out << (p == 0 ? "" : " ");
                    property.WriteAsciiValue(out, record);
                } else if (encoding == orrisk::ply::PlyEncoding::LittleEndian) {
                    property.WriteLittleEndianValue(out, record);
                } else {
                    property.WriteBigEndianValue(out, record);
                }
            }
            if (encoding == orrisk::ply::PlyEncoding::Ascii)
                out << '\n';
        }
    }
    return out.str();
}

}  // namespace testsupport
