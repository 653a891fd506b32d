#pragma once

#include "io/ply/PlyElement.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace orrisk::ply {

// Shared steps of reading PLY files, in particular binary bodies whose records have a
// fixed size.

// The file opened for binary reading; throws "PLY parser: Could not open file <path>" when it
// cannot be opened or is a directory.
std::ifstream OpenPlyFile(const std::string& path);

// Bytes from the stream's position to its end.
std::uint64_t BytesLeft(std::istream& stream);

// Bytes one record of the element takes in a binary body; nullopt when it has a list
// property (records then vary in size).
std::optional<std::size_t> FixedRecordBytes(const PlyElement& element);

// Throws the end-of-file error for the element when its declared records need more than
// `bytesLeft` bytes.
void RequireRecordsFit(const PlyElement& element, std::size_t recordBytes, std::uint64_t bytesLeft);

// Reads the element's records from the stream a cache-sized block at a time and calls
// consume(records, count) for each block, in file order; throws the end-of-file error when
// the stream ends first. `buffer` holds the block and may be reused across calls.
void ReadRecordBlocks(std::istream& stream, const PlyElement& element, std::size_t recordBytes,
                      std::vector<std::byte>& buffer,
                      const std::function<void(const std::byte* records, std::size_t count)>& consume);

}  // namespace orrisk::ply
