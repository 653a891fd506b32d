#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orrisk::ply {

// Drops leading ' ' and trailing ' ', '\n' and '\r'.
std::string TrimPlyText(std::string_view text);

// The tokens of a line as SplitPlyTokens cuts them, found one after another as they are asked
// for: a record takes its values from the front of its line, and whatever follows them is
// never looked at, however long the line is.
class PlyLineTokens {
public:
    explicit PlyLineTokens(std::string_view line) : m_rest(line) {}

    // Token `index` (counting from 0); nothing when the line has fewer. Only the latest token
    // is kept, so an index must not be lower than the one asked for before.
    std::optional<std::string_view> At(std::size_t index);

private:
    std::optional<std::string_view> Next();

    std::string_view m_rest;
    bool m_done = false;
    std::size_t m_found = 0;  // tokens found so far
    std::string_view m_latest;
};

// Cuts the line at every single ' ' (tabs are not separators), trims each piece and keeps
// the non-empty ones in order; stops after `maxTokens` of them.
std::vector<std::string> SplitPlyTokens(std::string_view line,
                                        std::size_t maxTokens = std::numeric_limits<std::size_t>::max());

// True when the line starts with the keyword (a shorter line never matches).
bool HasPrefix(std::string_view line, std::string_view keyword);

}  // namespace orrisk::ply
