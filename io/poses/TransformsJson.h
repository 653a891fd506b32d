#pragma once

#include "io/core/ReadResult.h"
#include "scene/CameraPoses.h"

#include <iosfwd>

// Reads the JSON text of a transforms.json from the stream, with the rules and messages of
// ReadCameraPoses. The text is taken event by event and only the frames and the keys the
// rules use are kept, so whatever else the file holds, and however deeply it nests, costs no
// memory beyond the text of a single value.
ReadResult<CameraPoseSet> ReadTransformsJson(std::istream& stream);
