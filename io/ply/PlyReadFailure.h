#pragma once

#include "io/core/ReadResult.h"

#include <string_view>

// For the PLY readers' catch-all: logs the exception being handled as
// "[logComponent] exception: ..." and returns the failure it means (a body that ends early,
// memory, or a broken file), its reason naming `format`. Call only inside a catch block.
ReadFailure FailureOfCurrentException(std::string_view logComponent, std::string_view format);
