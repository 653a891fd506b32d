#pragma once

// Test-side writer of COPC files with hand-made hierarchies: a LAS 1.4 header, the info VLR,
// a point data area of placeholder chunk bytes and the hierarchy EVLR with its pages, laid out
// one after another.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace copctest {

struct Entry {
    std::int32_t level = 0, x = 0, y = 0, z = 0;
    std::uint64_t offset = 0;
    std::int32_t byteSize = 0;
    std::int32_t pointCount = 0;
};

template <typename T>
void Put(std::string& bytes, std::size_t at, T value)
{
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

struct CopcFile {
    static constexpr std::uint32_t kPointDataOffset = 375 + 54 + 160;
    static constexpr std::uint64_t kFirstChunk = kPointDataOffset + 8;

    std::uint64_t headerPointCount = 0;
    std::uint64_t chunkArea = 4096;  // placeholder bytes for the chunks
    std::vector<std::vector<Entry>> pages{{}};  // pages[0] is the root page
    std::uint32_t evlrCount = 1;

    std::uint64_t EvlrOffset() const { return kFirstChunk + chunkArea; }
    std::uint64_t PageOffset(std::size_t page) const
    {
        std::uint64_t at = EvlrOffset() + 60;
        for (std::size_t i = 0; i < page; ++i)
            at += 32 * pages[i].size();
        return at;
    }
    std::int32_t PageSize(std::size_t page) const { return static_cast<std::int32_t>(32 * pages[page].size()); }

    // An entry that points at another page of this file, as the pages are now: set it once
    // every page has all its entries.
    Entry PageEntry(std::int32_t level, std::int32_t x, std::int32_t y, std::int32_t z, std::size_t page) const
    {
        return {level, x, y, z, PageOffset(page), PageSize(page), -1};
    }

    // A node whose chunk is the slot-th 64-byte piece of the chunk area.
    static Entry Node(std::int32_t level, std::int32_t x, std::int32_t y, std::int32_t z, std::size_t slot,
                      std::int32_t points)
    {
        return {level, x, y, z, kFirstChunk + 64 * slot, 64, points};
    }

    std::string Bytes() const
    {
        std::uint64_t pagesSize = 0;
        for (const auto& page : pages)
            pagesSize += 32 * page.size();
        std::string bytes(EvlrOffset() + 60 + pagesSize, '\0');
        std::memcpy(bytes.data(), "LASF", 4);
        bytes[24] = 1;
        bytes[25] = 4;
        Put<std::uint16_t>(bytes, 94, 375);
        Put<std::uint32_t>(bytes, 96, kPointDataOffset);
        Put<std::uint32_t>(bytes, 100, 1);
        bytes[104] = static_cast<char>(6 | 0x80);
        Put<std::uint16_t>(bytes, 105, 30);
        for (std::size_t axis = 0; axis < 3; ++axis)
            Put<double>(bytes, 131 + 8 * axis, 0.01);
        Put<std::uint64_t>(bytes, 235, EvlrOffset());
        Put<std::uint32_t>(bytes, 243, evlrCount);
        Put<std::uint64_t>(bytes, 247, headerPointCount);
        // The info VLR.
        std::memcpy(bytes.data() + 377, "copc", 4);
        Put<std::uint16_t>(bytes, 393, 1);
        Put<std::uint16_t>(bytes, 395, 160);
        Put<double>(bytes, 429 + 24, 100.0);  // half size
        Put<double>(bytes, 429 + 32, 1.0);    // spacing
        Put<std::uint64_t>(bytes, 429 + 40, PageOffset(0));
        Put<std::uint64_t>(bytes, 429 + 48, static_cast<std::uint64_t>(PageSize(0)));
        // The chunk table offset, then placeholder chunk bytes.
        Put<std::int64_t>(bytes, kPointDataOffset, static_cast<std::int64_t>(EvlrOffset()));
        for (std::uint64_t i = kFirstChunk; i < EvlrOffset(); ++i)
            bytes[i] = static_cast<char>(i * 37);
        // The hierarchy EVLR.
        std::memcpy(bytes.data() + EvlrOffset() + 2, "copc", 4);
        Put<std::uint16_t>(bytes, EvlrOffset() + 18, 1000);
        Put<std::uint64_t>(bytes, EvlrOffset() + 20, pagesSize);
        for (std::size_t p = 0; p < pages.size(); ++p)
            for (std::size_t e = 0; e < pages[p].size(); ++e) {
                const Entry& entry = pages[p][e];
                const std::size_t at = PageOffset(p) + 32 * e;
                Put(bytes, at, entry.level);
                Put(bytes, at + 4, entry.x);
                Put(bytes, at + 8, entry.y);
                Put(bytes, at + 12, entry.z);
                Put(bytes, at + 16, entry.offset);
                Put(bytes, at + 24, entry.byteSize);
                Put(bytes, at + 28, entry.pointCount);
            }
        return bytes;
    }
};

// A root with its eight children over two pages: the root page holds the root and a child page
// reference for the children, which the second page lists. 9 nodes, 90 points.
inline CopcFile TwoPageFile()
{
    CopcFile file;
    file.headerPointCount = 90;
    file.pages.resize(2);
    file.pages[0] = {CopcFile::Node(0, 0, 0, 0, 0, 10), Entry{}};
    for (int child = 0; child < 8; ++child)
        file.pages[1].push_back(CopcFile::Node(1, child & 1, (child >> 1) & 1, child >> 2, 1 + child, 10));
    file.pages[0][1] = file.PageEntry(1, 0, 0, 0, 1);
    return file;
}

}  // namespace copctest
