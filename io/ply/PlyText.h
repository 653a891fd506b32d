#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace happly {

// Drops leading ' ' and trailing ' ', '\n' and '\r'.
std::string TrimPlyText(std::string_view text);

// Cuts the line at every single ' ' (tabs are not separators), trims each piece and keeps
// the non-empty ones in order.
std::vector<std::string> SplitPlyTokens(std::string_view line);

// True when the line starts with the keyword (a shorter line never matches).
bool HasPrefix(std::string_view line, std::string_view keyword);

}  // namespace happly
