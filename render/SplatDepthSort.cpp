#include "render/SplatDepthSort.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Three least-significant-digit passes of 11, 11 and 10 bits over the 32-bit key. Every pass
// is a stable counting scatter, so the result is the order of ascending keys with ties in
// index order, whatever the digit widths. Keys travel with their indices as one 64-bit word
// (key in the high half), so a pass reads its digits sequentially instead of gathering keys
// through the index array; the last pass keeps only the indices.
constexpr int kDigitBits = 11;
constexpr int kPasses = 3;
constexpr uint32_t kBuckets = 1u << kDigitBits;
constexpr uint32_t kDigitMask = kBuckets - 1;
constexpr double kKeyRange = 4294967295.0;
constexpr std::size_t kLineBytes = 64;
// Below the last digit's bits a 32-bit word has room for the indices of this many splats.
constexpr int kLastDigitShift = (kPasses - 1) * kDigitBits;
constexpr uint32_t kPackedIndexMask = (1u << kLastDigitShift) - 1;
constexpr std::size_t kMaxPackedSplats = std::size_t{1} << kLastDigitShift;

using BucketOffsets = std::array<uint32_t, kBuckets>;
using Histograms = std::array<BucketOffsets, kPasses>;

bool IsFiniteDepth(float depth)
{
    return std::abs(depth) <= std::numeric_limits<float>::max();  // false for NaN
}

uint32_t Digit(uint32_t key, int pass)
{
    return (key >> (pass * kDigitBits)) & kDigitMask;
}

uint32_t KeyOf(uint64_t pair)
{
    return static_cast<uint32_t>(pair >> 32);
}

template <class T>
T* AlignToLine(T* p)
{
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    return p + (kLineBytes - address % kLineBytes) % kLineBytes / sizeof(T);
}

// Elements to reserve beyond `count` so that AlignToLine finds room.
template <class T>
constexpr std::size_t kLineSlack = kLineBytes / sizeof(T);

// Writes each splat's depth and returns the range of the finite ones (lo > hi when none is).
std::pair<float, float> ComputeDepths(std::span<const Eigen::Vector3f> positions, const Eigen::Vector3f& d,
                                      float* depths)
{
    float lo = std::numeric_limits<float>::infinity();
    float hi = -std::numeric_limits<float>::infinity();
    const float dx = d.x(), dy = d.y(), dz = d.z();
    for (std::size_t j = 0; j < positions.size(); ++j) {
        const Eigen::Vector3f& p = positions[j];
        const float depth = dx * p.x() + dy * p.y() + dz * p.z();
        depths[j] = depth;
        if (IsFiniteDepth(depth)) {
            lo = depth < lo ? depth : lo;
            hi = depth > hi ? depth : hi;
        }
    }
    return {lo, hi};
}

// Quantises the depths to keys and counts every pass's digits on the way.
template <class ToScaled>
void ComputeKeys(const float* depths, std::size_t n, ToScaled toScaled, uint32_t* keys, Histograms& histograms)
{
    for (auto& histogram : histograms)
        histogram.fill(0);
    for (std::size_t j = 0; j < n; ++j) {
        const float depth = depths[j];
        const double t = IsFiniteDepth(depth) ? std::min(toScaled(depth), kKeyRange) : kKeyRange;
        const uint32_t key = ~static_cast<uint32_t>(t);
        keys[j] = key;
        for (int pass = 0; pass < kPasses; ++pass)
            ++histograms[pass][Digit(key, pass)];
    }
}

// Turns counts into the first output slot of each bucket.
void ToBucketStarts(BucketOffsets& histogram)
{
    uint32_t sum = 0;
    for (uint32_t& count : histogram)
        sum += std::exchange(count, sum);
}

void WriteWholeLine(void* destination, const void* line)
{
#if defined(__SSE2__)
    auto* out = static_cast<__m128i*>(destination);
    const auto* in = static_cast<const __m128i*>(line);
    for (std::size_t k = 0; k < kLineBytes / sizeof(__m128i); ++k)
        _mm_stream_si128(out + k, _mm_load_si128(in + k));
#else
    std::memcpy(destination, line, kLineBytes);
#endif
}

void FinishWholeLineWrites()
{
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

// One counting scatter. Item i is source(i); it goes to slot next[bucketOf(item)]++ of `out`
// as emit(item). The slots are written through one cache-line buffer per bucket (`lines`,
// kBuckets lines, line-aligned): a full buffer goes out as one whole, aligned line with
// streaming stores, which skip reading the old line from memory. The random writes thus hit
// a cache-resident 128 KiB instead of a fresh memory line each, and memory sees whole-line
// writes only. A bucket's partial first and last lines are written slot by slot.
template <class T, class Source, class BucketOf, class Emit>
void ScatterPass(std::size_t n, Source source, BucketOf bucketOf, Emit emit, BucketOffsets& next, T* out, T* lines)
{
    constexpr std::size_t perLine = kLineBytes / sizeof(T);
    // Slot s of `out` lies at position (s + skew) % perLine of its memory line.
    const std::size_t skew = reinterpret_cast<std::uintptr_t>(out) / sizeof(T) % perLine;
    const BucketOffsets first = next;

    for (std::size_t i = 0; i < n; ++i) {
        const auto item = source(i);
        const uint32_t bucket = bucketOf(item);
        const std::size_t slot = next[bucket]++;
        T* line = lines + bucket * perLine;
        const std::size_t inLine = (slot + skew) % perLine;
        line[inLine] = emit(item);
        if (inLine != perLine - 1)
            continue;
        if (slot + 1 >= first[bucket] + perLine) {
            WriteWholeLine(out + (slot + 1 - perLine), line);
        } else {
            for (std::size_t s = first[bucket]; s <= slot; ++s)
                out[s] = line[(s + skew) % perLine];
        }
    }
    for (uint32_t bucket = 0; bucket < kBuckets; ++bucket) {
        // The slots of the bucket's last, unfinished line (none when it ended on a line end).
        const std::size_t end = next[bucket];
        const std::size_t pending = std::min<std::size_t>((end + skew) % perLine, end - first[bucket]);
        const T* line = lines + bucket * perLine;
        for (std::size_t s = end - pending; s < end; ++s)
            out[s] = line[(s + skew) % perLine];
    }
    FinishWholeLineWrites();
}

}  // namespace

bool SortSplatsByDepth(std::span<const Eigen::Vector3f> positions, const Eigen::Vector3f& direction,
                       std::vector<float>& depthKeys, std::vector<uint32_t>& radixKeys,
                       std::vector<uint64_t>& radixScratch, std::vector<uint32_t>& order)
{
    const std::size_t n = positions.size();
    if (n == 0 || n > std::numeric_limits<uint32_t>::max())
        return false;

    depthKeys.resize(n);
    const auto [lo, hi] = ComputeDepths(positions, direction, depthKeys.data());
    if (!(lo <= hi) || hi - lo < 1e-12)
        return false;

    // radixKeys: the keys, then line buffers for passes writing 32-bit words. radixScratch: two
    // arrays of (key, index) pairs and line buffers for passes writing pairs.
    radixKeys.resize(n + kBuckets * kLineSlack<uint32_t> + kLineSlack<uint32_t>);
    radixScratch.resize(2 * n + kBuckets * kLineSlack<uint64_t> + 3 * kLineSlack<uint64_t>);
    uint32_t* const keys = radixKeys.data();
    uint32_t* const indexLines = AlignToLine(keys + n);
    uint64_t* const pairs = AlignToLine(radixScratch.data());
    uint64_t* const pairsSorted = AlignToLine(pairs + n);
    uint64_t* const pairLines = AlignToLine(pairsSorted + n);

    Histograms histograms;
    const float span = hi - lo;
    if (std::isfinite(span)) {
        const double scale = kKeyRange / span;
        ComputeKeys(depthKeys.data(), n, [lo, scale](float depth) { return static_cast<double>(depth - lo) * scale; },
                    keys, histograms);
    } else {
        const double low = lo;
        const double scale = kKeyRange / (static_cast<double>(hi) - low);
        ComputeKeys(depthKeys.data(), n, [low, scale](float depth) { return (depth - low) * scale; }, keys,
                    histograms);
    }
    for (auto& histogram : histograms)
        ToBucketStarts(histogram);

    // The first pass starts from the identity order.
    ScatterPass(
        n, [keys](std::size_t j) { return (static_cast<uint64_t>(keys[j]) << 32) | j; },
        [](uint64_t pair) { return Digit(KeyOf(pair), 0); }, [](uint64_t pair) { return pair; }, histograms[0],
        pairs, pairLines);
    order.resize(n);

    if (n <= kMaxPackedSplats) {
        // The last digit and the index fit one 32-bit word: the second pass writes such words
        // (over the keys, no longer needed), which halves what the last pass reads.
        ScatterPass(
            n, [pairs](std::size_t i) { return pairs[i]; }, [](uint64_t pair) { return Digit(KeyOf(pair), 1); },
            [](uint64_t pair) { return (KeyOf(pair) & ~kPackedIndexMask) | static_cast<uint32_t>(pair); },
            histograms[1], keys, indexLines);
        ScatterPass(
            n, [keys](std::size_t i) { return keys[i]; }, [](uint32_t word) { return Digit(word, 2); },
            [](uint32_t word) { return word & kPackedIndexMask; }, histograms[2], order.data(), indexLines);
        return true;
    }
    ScatterPass(
        n, [pairs](std::size_t i) { return pairs[i]; }, [](uint64_t pair) { return Digit(KeyOf(pair), 1); },
        [](uint64_t pair) { return pair; }, histograms[1], pairsSorted, pairLines);
    ScatterPass(
        n, [pairsSorted](std::size_t i) { return pairsSorted[i]; },
        [](uint64_t pair) { return Digit(KeyOf(pair), 2); }, [](uint64_t pair) { return static_cast<uint32_t>(pair); },
        histograms[2], order.data(), indexLines);
    return true;
}
