#pragma once

#include "io/core/PointRecords.h"
#include "io/core/ReadResult.h"
#include "io/core/WriteResult.h"

#include <cstdint>
#include <functional>
#include <string>

class ThreadPool;

struct CopcBuildOptions {
    std::uint64_t memoryBytes = 0;        // working-set bound; 0: a quarter of physical memory
    std::uint32_t maxNodePoints = 100000;
    ThreadPool* pool = nullptr;
    std::function<bool(double)> progress; // 0..1; false cancels
};

// Feeds a cloud's records to the sink, in file order, each time it is called.
using PointRecordSource = std::function<ReadResult<PointRecordFormat>(PointRecordSink&)>;

// Reads the records (twice: once for the bounds, once to place them) and writes a COPC 1.0
// file at target through SafeFileWriter: LAS 1.4 in point format 6, 7 or 8 (the records
// rewritten as io/las/ExtendedRecords.h says, the source's scale and offset kept), one LAZ
// chunk per octree node (convert/OctreeBuild.h says how nodes are filled), the hierarchy in
// pages (convert/CopcPages.h). The same source and options give the same bytes whatever
// memoryBytes and the pool's size. Points beyond memoryBytes wait in nameless scratch files
// in the target's folder. A failure or a cancellation leaves no file behind.
WriteResult BuildCopc(const PointRecordSource& source, const std::string& target, const CopcBuildOptions& options);
