#pragma once

#include "io/core/WriteResult.h"
#include "io/ply/PlyRecordStream.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class ThreadPool;

enum class PointCloudOutput { Las, Laz, Copc };

// By the target's name: ".copc.laz" is COPC, ".laz" LAZ, ".las" LAS (any case); nothing else.
std::optional<PointCloudOutput> OutputFromName(const std::string& target);

struct ConvertOptions {
    PointCloudOutput output = PointCloudOutput::Laz;
    std::uint64_t memoryBytes = 0;      // COPC: the working set; 0: a quarter of physical memory
    std::uint32_t chunkSize = 50000;    // LAZ: points per chunk
    PlyQuantisation quantisation;       // PLY sources only
    ThreadPool* pool = nullptr;
    std::function<bool(double)> progress;             // 0 to 1; false cancels
    std::function<void(const std::string&)> warning;  // what the output could not keep
};

// Converts a point cloud's own records (never the arrays drawn from them) into LAS, LAZ or
// COPC. The target appears only when the whole conversion succeeded; the source is never
// written, and a target that is the source is refused.
WriteResult ConvertPointCloud(const std::string& source, const std::string& target, const ConvertOptions& options);
