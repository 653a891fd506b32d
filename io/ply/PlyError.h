#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace orrisk::ply {

// The error for a body that ends before the records its header declares, e.g.
// "PLY parser: unexpected end of file in element vertex".
inline std::runtime_error UnexpectedEndOfFile(std::string_view where)
{
    return std::runtime_error("PLY parser: unexpected end of file in " + std::string(where));
}

}  // namespace orrisk::ply
