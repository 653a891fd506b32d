#pragma once

#include "scene/GaussianData.h"

#include <cstddef>
#include <functional>
#include <string_view>

class ThreadPool;

// Turns a scene holding a splat file's stored values (absolute positions, SH as stored, opacity
// logits, log scales, unnormalised (w, x, y, z) rotations, shRest with restCount values a
// splat, channel-major) into the scene the viewer shows: the activations of SplatActivation.h,
// positions relative to their per-axis minimum (kept in origin), the SH degree and the bounds.
// The same steps, with the same NaN rules, as loading a 3DGS PLY file. Runs over ranges of
// splats on the pool when there is one.
void FinishSplatScene(GaussianData& data, std::size_t restCount, ThreadPool* pool);

// Sizes every per-splat array of a scene about to be filled with count splats.
void SizeSplatScene(GaussianData& data, std::size_t count, std::size_t restCount);

// The log lines every splat reader ends with: "[tag] SH degree: N" and "[tag] Loaded N
// gaussians.".
void LogLoadedSplats(std::string_view tag, const GaussianData& data);

// Calls task(first, end) for consecutive ranges of [0, count) on the pool (or this thread).
void ForSplatRanges(ThreadPool* pool, std::size_t count, const std::function<void(std::size_t, std::size_t)>& task);
