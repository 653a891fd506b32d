#pragma once

#include "io/core/ReadResult.h"
#include "scene/GaussianData.h"

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>

class ThreadPool;

// Sizes every per-splat array of a scene about to be filled with count splats.
void SizeSplatScene(GaussianData& data, std::size_t count, std::size_t restCount);

// The same for a freshly made scene in two parts that may run on two threads at once, since
// mapping the pages of large arrays costs much of a load: the SH rest (by far the largest
// array where there is SH) and every other array.
void SizeSplatShRest(GaussianData& data, std::size_t count, std::size_t restCount);
void SizeSplatAttributes(GaussianData& data, std::size_t count);

// Fills one range [first, end) of a sized scene with the values the viewer shows: opacity and
// scale through the activations of SplatActivation.h, unit (w, x, y, z) rotations, SH as
// stored (restCount values a splat, channel-major) and absolute positions.
using SplatRangeDecoder = std::function<void(std::size_t first, std::size_t end)>;

// Decodes a sized scene on ranges of splats over the pool (or this thread), each range in one
// pass while its data is in cache, then makes positions relative to their per-axis minimum
// (kept in origin) and sets the SH degree and the bounds. The result is bit for bit the one
// the 3DGS PLY reader gives for the same stored values, whatever the pool.
void DecodeSplatScene(GaussianData& data, std::size_t restCount, ThreadPool* pool, const SplatRangeDecoder& decode);

// The opacity an alpha byte a stands for, a / 255 being the opacity itself: the logistic
// function of its logit, which is what loading the logit from a 3DGS PLY gives.
std::array<float, 256> OpacityOfAlphaByte();

// A splat reader's result: the scene, with `notes` and then the two notes every splat reader
// ends with, "[tag] SH degree: N" and "[tag] Loaded N gaussians.".
ReadResult<GaussianData> SplatsRead(std::string_view tag, GaussianData data, ReadNotes notes = {});

// Calls task(first, end) for consecutive ranges of [0, count) on the pool (or this thread).
void ForSplatRanges(ThreadPool* pool, std::size_t count, const std::function<void(std::size_t, std::size_t)>& task);
