#pragma once

#include "io/core/FixedRecordRead.h"
#include "io/ply/PlyFile.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace orrisk::ply {

// Reads the records of a binary PLY file straight from the file, block by block, without
// storing them in properties: for readers that turn an element into arrays of their own and
// would otherwise hold the file's values twice. Works where every element has fixed-size
// records (binary body, no list properties); elsewhere read a PlyFile.
class PlyRecordReader {
public:
    // Opens the file and reads its header; throws what PlyFile throws for these steps.
    explicit PlyRecordReader(const std::string& path);

    // The declared elements; their properties hold no values.
    const PlyFile& Header() const { return m_header; }

    // A binary body whose elements all have fixed-size records.
    bool HasFixedSizeRecords() const { return m_fixedSize; }

    // Throws the error reading the whole file as a PlyFile would give when the file ends
    // before the records of some element.
    void RequireCompleteBody();

    // Where the first property called `name` lies within the element's records; the element
    // must have it.
    std::size_t OffsetOf(const PlyElement& element, const std::string& name) const;
    std::size_t RecordBytes(const PlyElement& element) const;

    // The file's byte order is not the machine's.
    bool SwapsBytes() const { return m_swap; }

    // Calls consume(records, count) for the element's records, a block at a time in file
    // order; records are laid out as in the file. Throws when the file ends early (the whole
    // body is checked first).
    void ReadRecords(const PlyElement& element,
                     const std::function<void(const std::byte* records, std::size_t count)>& consume);

    // Where the element's records lie in the file, for reading them with positioned reads
    // (ReadFixedRecords); the whole body is checked first, as for ReadRecords.
    FixedRecords Layout(const PlyElement& element);
    const std::string& Path() const { return m_path; }

private:
    std::uint64_t BodyOffsetOf(const PlyElement& element) const;

    std::string m_path;
    std::ifstream m_stream;
    PlyFile m_header;
    std::uint64_t m_bodyStart = 0;
    bool m_fixedSize = false;
    bool m_swap = false;
    bool m_bodyChecked = false;
    std::vector<std::byte> m_block;
};

}  // namespace orrisk::ply
