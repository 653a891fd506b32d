#include "io/ply/PlyText.h"

namespace happly {

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

std::vector<std::string> SplitPlyTokens(std::string_view line)
{
    std::vector<std::string> tokens;
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t end = line.find(' ', start);
        if (end == std::string_view::npos)
            end = line.size();
        std::string token = TrimPlyText(line.substr(start, end - start));
        if (!token.empty())
            tokens.push_back(std::move(token));
        start = end + 1;
    }
    return tokens;
}

bool HasPrefix(std::string_view line, std::string_view keyword)
{
    return line.starts_with(keyword);
}

}  // namespace happly
