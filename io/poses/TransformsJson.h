#pragma once

#include "io/poses/PoseReader.h"

#include <iosfwd>
#include <string>

// Reads the JSON text of a camera pose file from the stream into `set` (which must be
// empty), with the rules and messages of ReadCameraPoses. The text is taken event by event
// and only the frames and the keys the rules use are kept, so whatever else the file holds,
// and however deeply it nests, costs no memory beyond the text of a single value.
bool ReadCameraPoseStream(std::istream& stream, CameraPoseSet& set, std::string& errorText);
