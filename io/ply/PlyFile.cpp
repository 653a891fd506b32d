#include "io/ply/PlyFile.h"

#include "io/ply/PlyAsciiNumber.h"
#include "io/ply/PlyBody.h"
#include "io/ply/PlyText.h"

#include <fstream>
#include <stdexcept>
#include <utility>

namespace happly {

PlyFile::PlyFile(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    if (!stream.is_open())
        throw std::runtime_error("PLY parser: Could not open file " + path);
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
    std::string line;
    std::getline(stream, line);
    if (TrimPlyText(line) != "ply")
        throw std::runtime_error("PLY parser: File does not appear to be ply file. First line should be 'ply'");

    std::getline(stream, line);
    const std::vector<std::string> format = SplitPlyTokens(line);
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
    while (stream.good() && std::getline(stream, line)) {
        if (HasPrefix(line, "comment")) {
            if (line.size() > 8)
                commentLines.push_back(line.substr(8));
        } else if (HasPrefix(line, "obj_info")) {
            if (line.size() > 9)
                objInfoLines.push_back(line.substr(9));
        } else if (HasPrefix(line, "element")) {
            const std::vector<std::string> tokens = SplitPlyTokens(line);
            if (tokens.size() != 3)
                throw std::runtime_error("PLY parser: Invalid element line");
            elements.emplace_back(tokens[1], ParsePlyNumber<std::uint64_t>(tokens[2]));
        } else if (HasPrefix(line, "property list")) {
            const std::vector<std::string> tokens = SplitPlyTokens(line);
            if (tokens.size() != 5)
                throw std::runtime_error("PLY parser: Invalid property list line");
            if (elements.empty())
                throw std::runtime_error("PLY parser: Found property list without previous element");
            elements.back().properties.push_back(MakeProperty(tokens[4], tokens[3], true, tokens[2]));
        } else if (HasPrefix(line, "property")) {
            const std::vector<std::string> tokens = SplitPlyTokens(line);
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

}  // namespace happly
