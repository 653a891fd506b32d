#pragma once

#include "io/ply/PlyElement.h"

#include <iosfwd>
#include <vector>

namespace orrisk::ply {

enum class PlyEncoding;

// Reads the body that follows the header on `stream` into the elements' properties,
// element by element in header order. Throws std::runtime_error when the body ends before
// an element's declared records are complete, or (ASCII) a record has too few values.
// Nothing is reserved beyond what the rest of the file can hold.
void ReadPlyBody(std::istream& stream, PlyEncoding encoding, std::vector<PlyElement>& elements);

}  // namespace orrisk::ply
