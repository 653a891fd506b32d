#pragma once

#include "platform/LargeAllocation.h"
#include "scene/SceneBounds.h"

#include <Eigen/Core>

#include <cstdint>
#include <memory>
#include <vector>

class StreamedCloud;

// One loaded point cloud. Positions are single-precision offsets from a double-precision
// origin (the readers subtract the per-axis minimum corner before narrowing), so huge
// world coordinates keep their precision. The arrays are uploaded to the GPU byte for
// byte: 12 bytes per position, 16 bytes per colour.
struct PointCloudData : SceneBounds {
    LargeArray<Eigen::Vector3f> positions;
    LargeArray<Eigen::Vector4f> colors;  // empty, or one RGBA per position
    bool hasColors = false;
    // Set for a file read node by node as it is drawn (the arrays then stay empty): its nodes,
    // their cache and their decoding. The bounds and origin are the file's all the same.
    std::shared_ptr<StreamedCloud> streamed;

    // Per-point attributes of airborne LiDAR, each empty or one per position, filled only
    // where the file has the field.
    LargeArray<std::uint16_t> intensity;
    LargeArray<std::uint8_t> classification;
    LargeArray<std::uint8_t> returnNumber;
    LargeArray<std::uint8_t> numberOfReturns;
    // The axis that points up in the file's convention (0 x, 1 y, 2 z): LAS is z-up, PLY
    // scans are mostly y-up. Elevation colouring measures height along it.
    int upAxis = 2;

    void Clear();
    // Recomputes bounds, centre and radius from the positions; does nothing when empty.
    void ComputeBounds();
    // Sets bounds, centre and radius from corners found elsewhere, as ComputeBounds does from
    // the corners it finds.
    void SetBounds(const Eigen::Vector3f& lo, const Eigen::Vector3f& hi);
};

static_assert(sizeof(Eigen::Vector3f) == 12, "positions must be tightly packed");
static_assert(sizeof(Eigen::Vector4f) == 16, "colours must be tightly packed");
