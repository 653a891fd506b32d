#pragma once

#include "io/core/ReadResult.h"

#include <string_view>

// For the PLY readers' catch-all: the failure the exception being handled means (a body that
// ends early, memory, or a broken file), its reason naming `format`, with the note
// "[component] exception: ..." added to `notes`. Call only inside a catch block.
ReadFailure FailureOfCurrentException(std::string_view component, std::string_view format, ReadNotes& notes);
