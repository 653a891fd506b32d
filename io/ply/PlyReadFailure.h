#pragma once

#include "io/core/ReadResult.h"

namespace orrisk::ply {
class PlyElement;
class PlyFile;
}

#include <string_view>

// For the PLY readers' catch-all: the failure the exception being handled means (a body that
// ends early, memory, or a broken file), its reason naming `format`, with the note
// "[component] exception: ..." added to `notes`. Call only inside a catch block.
// The file's "vertex" element, or null after noting "[component] no 'vertex' element.".
const orrisk::ply::PlyElement* FindVertex(const orrisk::ply::PlyFile& file, std::string_view component, ReadNotes& notes);

ReadFailure FailureOfCurrentException(std::string_view component, std::string_view format, ReadNotes& notes);
