#include "io/ply/PlyRecordBlocks.h"

#include "io/ply/PlyError.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <istream>

namespace orrisk::ply {
namespace {

// Large enough to make each read cheap, small enough that a block decoded column by
// column stays in cache.
constexpr std::size_t kBlockBytes = 256 * 1024;

}  // namespace

std::ifstream OpenPlyFile(const std::string& path)
{
    std::error_code error;
    std::ifstream stream;
    if (!std::filesystem::is_directory(path, error))
        stream.open(path, std::ios::binary);
    if (!stream.is_open())
        throw std::runtime_error("PLY parser: Could not open file " + path);
    return stream;
}

std::uint64_t BytesLeft(std::istream& stream)
{
    const std::istream::pos_type here = stream.tellg();
    stream.seekg(0, std::ios::end);
    const std::istream::pos_type end = stream.tellg();
    stream.seekg(here);
    return here < 0 || end < here ? 0 : static_cast<std::uint64_t>(end - here);
}

std::optional<std::size_t> FixedRecordBytes(const PlyElement& element)
{
    std::size_t bytes = 0;
    bool hasList = false;
    for (const auto& property : element.properties) {
        VisitProperty(*property, [&](const auto& typed) {
            using Typed = std::remove_cvref_t<decltype(typed)>;
            if constexpr (Typed::isList)
                hasList = true;
            else
                bytes += sizeof(typename Typed::ValueType);
        });
    }
    return hasList ? std::nullopt : std::optional<std::size_t>(bytes);
}

void RequireRecordsFit(const PlyElement& element, std::size_t recordBytes, std::uint64_t bytesLeft)
{
    if (recordBytes != 0 && element.recordCount > bytesLeft / recordBytes)
        throw UnexpectedEndOfFile("element " + element.name);
}

void ReadRecordBlocks(std::istream& stream, const PlyElement& element, std::size_t recordBytes,
                      std::vector<std::byte>& buffer,
                      const std::function<void(const std::byte* records, std::size_t count)>& consume)
{
    if (recordBytes == 0)
        return;  // records without properties take no bytes
    const std::size_t recordsPerBlock = std::max<std::size_t>(1, kBlockBytes / recordBytes);
    buffer.resize(std::max(buffer.size(), recordsPerBlock * recordBytes));
    for (std::uint64_t done = 0; done < element.recordCount;) {
        const auto records = static_cast<std::size_t>(std::min<std::uint64_t>(recordsPerBlock, element.recordCount - done));
        const std::size_t bytes = records * recordBytes;
        stream.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(bytes));
        if (static_cast<std::size_t>(stream.gcount()) != bytes)
            throw UnexpectedEndOfFile("element " + element.name);
        consume(buffer.data(), records);
        done += records;
    }
}

}  // namespace orrisk::ply
