#pragma once

#include "io/ply/PlyElement.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace orrisk::ply {

enum class PlyEncoding { Ascii = 0, LittleEndian = 1, BigEndian = 2 };

// A header is a page or so of text. One beyond this size, end_header included, is not read
// on: each of its lines would cost memory (a property object, a comment string) without
// bound.
inline constexpr std::size_t kMaxPlyHeaderBytes = std::size_t{1} << 20;

// A whole PLY file (ASCII, binary little-endian or binary big-endian body) read into
// memory: its header's comments and obj_info lines and every element with its values.
struct PlyFile {
    // Opens and reads the whole file. Throws std::runtime_error (most texts begin
    // "PLY parser: ") for a file that cannot be opened, a malformed header or one longer than
    // kMaxPlyHeaderBytes, or a body that ends before the records the header declares.
    explicit PlyFile(const std::string& path);

    // Reads only the header from the stream and leaves the stream at the first byte of the
    // body: the elements are declared, their properties hold no values. For readers that
    // take the body themselves (see PlyRecordReader).
    static PlyFile HeaderOnly(std::istream& stream);

    std::vector<std::string> commentLines;
    std::vector<std::string> objInfoLines;
    std::vector<PlyElement> elements;
    PlyEncoding encoding = PlyEncoding::Ascii;

    // Lookups compare whole names, case-sensitively; with duplicate names the first wins.
    bool ContainsElement(const std::string& name) const;
    PlyElement& ElementNamed(const std::string& name);
    const PlyElement& ElementNamed(const std::string& name) const;

private:
    PlyFile() = default;
    void ReadHeader(std::istream& stream);
};

}  // namespace orrisk::ply
