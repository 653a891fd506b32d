#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace orrisk::ply {

// A body that ends before the records its header declares.
class TruncatedBody : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The error for a body that ends before the records its header declares, e.g.
// "PLY parser: unexpected end of file in element vertex".
inline TruncatedBody UnexpectedEndOfFile(std::string_view where)
{
    return TruncatedBody("PLY parser: unexpected end of file in " + std::string(where));
}

// A property's read that found the body's end. The element reading it reports the error in
// the element's words, so that every short body reads the same.
class PropertyReadPastEnd : public std::runtime_error {
public:
    explicit PropertyReadPastEnd(const std::string& property)
        : std::runtime_error("PLY parser: unexpected end of file in property " + property)
    {
    }
};

}  // namespace orrisk::ply
