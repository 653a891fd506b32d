#include "io/ply/PlyText.h"

#include <stdexcept>

namespace orrisk::ply {

std::string TrimPlyText(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \n\r");
    if (last == std::string_view::npos)
        return {};
    return std::string(text.substr(first, last - first + 1));
}

std::optional<std::string_view> PlyLineTokens::Next()
{
    while (!m_done) {
        const std::size_t space = m_rest.find(' ');
        std::string_view piece = m_rest.substr(0, space);
        if (space == std::string_view::npos)
            m_done = true;
        else
            m_rest.remove_prefix(space + 1);
        // A piece holds no ' ', so trimming only drops its trailing line-end characters.
        const std::size_t last = piece.find_last_not_of("\n\r");
        if (last != std::string_view::npos)
            return piece.substr(0, last + 1);
    }
    return std::nullopt;
}

std::optional<std::string_view> PlyLineTokens::At(std::size_t index)
{
    if (m_found > index + 1)
        throw std::logic_error("PlyLineTokens: tokens are taken in order");
    while (m_found <= index) {
        const std::optional<std::string_view> token = Next();
        if (!token)
            return std::nullopt;
        m_latest = *token;
        ++m_found;
    }
    return m_latest;
}

std::vector<std::string> SplitPlyTokens(std::string_view line, std::size_t maxTokens)
{
    std::vector<std::string> tokens;
    PlyLineTokens pieces(line);
    for (std::size_t i = 0; i < maxTokens; ++i) {
        const std::optional<std::string_view> token = pieces.At(i);
        if (!token)
            break;
        tokens.emplace_back(*token);
    }
    return tokens;
}

bool HasPrefix(std::string_view line, std::string_view keyword)
{
    return line.starts_with(keyword);
}

}  // namespace orrisk::ply
