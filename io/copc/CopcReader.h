#pragma once

#include "io/core/ReadResult.h"

#include <cstddef>
#include <string>

struct PointCloudData;

// True when the file starts as a COPC file does: a LAZ 1.4 header whose first VLR is the
// "copc" info record.
bool IsCopcFile(const std::string& path);

// Opens a COPC file to be drawn node by node: reads the header, the hierarchy and the root
// node alone, so the time it takes does not grow with the file. The cloud's arrays stay empty;
// its `streamed` member holds the nodes, which are decoded on options.pool (which must outlive
// the cloud) as the view asks for them, under a cache of cacheBudget bytes (0: a quarter of the
// physical memory).
//
// Two rules a whole read takes from every point are decided here once: positions are offsets
// from the header's minimum corner (as a whole read's are), and the colour scale (8- or 16-bit
// colours) comes from the root node's points alone, where a whole read looks at every point.
// Each hierarchy entry left out comes with a "[COPC] ..." warning note for the log; a node
// found damaged later, while it is decoded, is the decoder's failure (StreamedCloud logs it).
ReadResult<PointCloudData> ReadCopcStreamed(const std::string& path, const ReadOptions& options = {},
                                            std::size_t cacheBudget = 0);
