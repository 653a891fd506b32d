#include "io/ply/PlyFile.h"

#include "io/ply/PlyAsciiNumber.h"
#include "io/ply/PlyBody.h"
#include "io/ply/PlyRecordBlocks.h"
#include "io/ply/PlyText.h"

#include <fstream>
#include <stdexcept>
#include <utility>

namespace orrisk::ply {
namespace {

// Reads one line up to '\n' (consumed, not kept) as std::getline does, counting its bytes
// against what is left of the header's size; throws when the header grows beyond it.
bool ReadHeaderLine(std::istream& stream, std::string& line, std::size_t& bytesLeft)
{
    line.clear();
    std::streambuf& buffer = *stream.rdbuf();
    for (;;) {
        const int c = buffer.sbumpc();
        if (c == std::char_traits<char>::eof()) {
            stream.setstate(line.empty() ? std::ios::eofbit | std::ios::failbit : std::ios::eofbit);
            return !line.empty();
        }
        if (bytesLeft == 0)
            throw std::runtime_error("PLY parser: header longer than " + std::to_string(kMaxPlyHeaderBytes) + " bytes");
        --bytesLeft;
        if (c == '\n')
            return true;
        line.push_back(static_cast<char>(c));
    }
}

}  // namespace

PlyFile::PlyFile(const std::string& path)
{
    std::ifstream stream = OpenPlyFile(path);
    ReadHeader(stream);
    ReadPlyBody(stream, encoding, elements);
}

PlyFile PlyFile::HeaderOnly(std::istream& stream)
{
    PlyFile header;
    header.ReadHeader(stream);
    return header;
}

void PlyFile::ReadHeader(std::istream& stream)
{
    std::size_t bytesLeft = kMaxPlyHeaderBytes;
    std::string line;
    ReadHeaderLine(stream, line, bytesLeft);
    if (TrimPlyText(line) != "ply")
        throw std::runtime_error("PLY parser: File does not appear to be ply file. First line should be 'ply'");

    ReadHeaderLine(stream, line, bytesLeft);
    // One token more than a valid line has is enough to tell that the line is invalid.
    const std::vector<std::string> format = SplitPlyTokens(line, 4);
    if (format.size() != 3 || format[0] != "format")
        throw std::runtime_error("PLY parser: bad format line");
    if (format[1] == "ascii")
        encoding = PlyEncoding::Ascii;
    else if (format[1] == "binary_little_endian")
        encoding = PlyEncoding::LittleEndian;
    else if (format[1] == "binary_big_endian")
        encoding = PlyEncoding::BigEndian;
    else
        throw std::runtime_error("PLY parser: bad format line");
    if (format[2] != "1.0")
        throw std::runtime_error("PLY parser: encountered file with version != 1.0. Don't know how to parse that");

    // A header that runs into the end of the file without end_header keeps what it
    // declared so far; the body read then finds no data.
    while (stream.good() && ReadHeaderLine(stream, line, bytesLeft)) {
        if (HasPrefix(line, "comment")) {
            if (line.size() > 8)
                commentLines.push_back(line.substr(8));
        } else if (HasPrefix(line, "obj_info")) {
            if (line.size() > 9)
                objInfoLines.push_back(line.substr(9));
        } else if (HasPrefix(line, "element")) {
            const std::vector<std::string> tokens = SplitPlyTokens(line, 4);
            if (tokens.size() != 3)
                throw std::runtime_error("PLY parser: Invalid element line");
            elements.emplace_back(tokens[1], ParsePlyNumber<std::uint64_t>(tokens[2]));
        } else if (HasPrefix(line, "property list")) {
            const std::vector<std::string> tokens = SplitPlyTokens(line, 6);
            if (tokens.size() != 5)
                throw std::runtime_error("PLY parser: Invalid property list line");
            if (elements.empty())
                throw std::runtime_error("PLY parser: Found property list without previous element");
            elements.back().properties.push_back(MakeProperty(tokens[4], tokens[3], true, tokens[2]));
        } else if (HasPrefix(line, "property")) {
            const std::vector<std::string> tokens = SplitPlyTokens(line, 4);
            if (tokens.size() != 3)
                throw std::runtime_error("PLY parser: Invalid property line");
            if (elements.empty())
                throw std::runtime_error("PLY parser: Found property without previous element");
            elements.back().properties.push_back(MakeProperty(tokens[2], tokens[1], false, ""));
        } else if (HasPrefix(line, "end_header")) {
            return;
        } else {
            throw std::runtime_error("Unrecognized header line: " + line);
        }
    }
}

bool PlyFile::ContainsElement(const std::string& name) const
{
    for (const PlyElement& element : elements)
        if (element.name == name)
            return true;
    return false;
}

const PlyElement& PlyFile::ElementNamed(const std::string& name) const
{
    for (const PlyElement& element : elements)
        if (element.name == name)
            return element;
    throw std::runtime_error("PLY parser: no element with name: " + name);
}

PlyElement& PlyFile::ElementNamed(const std::string& name)
{
    return const_cast<PlyElement&>(std::as_const(*this).ElementNamed(name));
}

}  // namespace orrisk::ply
