#include "io/splat/SplatReader.h"

#include "io/core/ReadOnlyFile.h"
#include "io/ply/PlyFile.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <string_view>

// The sniff decides from whole header lines. It reads the file a piece at a time and
// searches each line across piece boundaries, so a binary file whose "lines" are huge
// costs no more memory than a piece; and it reads no further than a header can reach
// (kMaxPlyHeaderBytes), so such a file costs no more time than a header either.

namespace {

constexpr std::size_t kLinesAfterFirst = 300;
constexpr std::array<std::string_view, 4> kSplatKeys = {"f_dc_0", "opacity", "scale_0", "rot_0"};
constexpr std::string_view kEndHeader = "end_header";
// A match that straddles two pieces of a line starts within this many bytes of the first.
constexpr std::size_t kOverlap = kEndHeader.size() - 1;
constexpr std::size_t kPieceBytes = 64 * 1024;

// The bytes of a regular file from an offset on, a piece at a time.
class FilePieces {
public:
    FilePieces(const ReadOnlyFile& file, std::uint64_t size, std::uint64_t offset)
        : m_file(file), m_size(size), m_offset(offset)
    {
    }

    // The next piece; empty at the end of the file or when reading fails.
    std::string_view Next()
    {
        const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, m_size - std::min(m_size, m_offset)));
        if (bytes == 0 || !m_file.ReadAt(m_offset, m_buffer.data(), bytes))
            return {};
        m_offset += bytes;
        return {m_buffer.data(), bytes};
    }

private:
    const ReadOnlyFile& m_file;
    std::uint64_t m_size;
    std::uint64_t m_offset;
    std::array<char, kPieceBytes> m_buffer;
};

// What one header line contains, fed to it piece by piece.
class LineMatches {
public:
    void Feed(std::string_view part)
    {
        m_window.append(part);
        if (m_window.find(kEndHeader) != std::string::npos)
            m_endHeader = true;
        for (std::size_t k = 0; k < kSplatKeys.size(); ++k)
            if (m_window.find(kSplatKeys[k]) != std::string::npos)
                m_keys.set(k);
        m_window.erase(0, m_window.size() - std::min(m_window.size(), kOverlap));
        m_started = true;
    }
    bool Started() const { return m_started; }
    bool EndHeader() const { return m_endHeader; }
    std::bitset<4> Keys() const { return m_keys; }

private:
    std::string m_window;  // the line's last bytes, where a match may begin
    std::bitset<4> m_keys;
    bool m_endHeader = false;
    bool m_started = false;
};

}  // namespace

bool IsGaussianSplatPly(const std::string& path)
{
    const ReadOnlyFile file(path);
    const std::optional<std::uint64_t> size = file.RegularFileSize();
    std::array<char, 3> magic{};
    if (!size || *size < magic.size() || !file.ReadAt(0, magic.data(), magic.size()) ||
        std::string_view(magic.data(), magic.size()) != "ply")
        return false;

    FilePieces pieces(file, std::min<std::uint64_t>(*size, orrisk::ply::kMaxPlyHeaderBytes), magic.size());
    bool inFirstLine = true;
    std::size_t linesRead = 0;
    std::bitset<4> seen;
    LineMatches line;
    // Ends one line; false when the scan stops with it.
    auto endLine = [&]() {
        if (line.EndHeader())
            return false;
        seen |= line.Keys();
        line = LineMatches();
        return ++linesRead < kLinesAfterFirst;
    };
    for (std::string_view piece = pieces.Next(); !piece.empty(); piece = pieces.Next()) {
        while (!piece.empty()) {
            const std::size_t newline = piece.find('\n');
            const std::string_view part = piece.substr(0, newline);
            piece.remove_prefix(newline == std::string_view::npos ? piece.size() : newline + 1);
            if (inFirstLine) {
                inFirstLine = newline == std::string_view::npos;
                continue;
            }
            line.Feed(part);
            if (newline != std::string_view::npos && !endLine())
                return seen.all();
        }
    }
    // A last line without a newline still counts.
    if (line.Started())
        endLine();
    return seen.all();
}
