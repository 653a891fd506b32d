#include "io/splat/SpzReader.h"

#include "io/core/LittleEndian.h"
#include "io/splat/BytesFilled.h"
#include "io/splat/Decompress.h"
#include "io/splat/OverwriteBuffer.h"
#include "io/splat/SplatActivation.h"
#include "io/splat/SplatBytes.h"
#include "io/splat/SplatFinish.h"
#include "io/splat/SplatShared.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <latch>

// SPZ keeps its scene in right-up-back axes; a 3DGS PLY in right-down-front. Reading flips y
// and z: in positions, in the rotation's vector part, and in the sign of every SH function
// that is odd in y or z taken together.

namespace {

constexpr const char* kFormat = "SPZ";
constexpr std::uint32_t kMagic = 0x5053474e;  // "NGSP"
constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kV4HeaderBytes = 32;
constexpr std::size_t kV4TocEntryBytes = 16;
constexpr float kColourScale = 0.15f;
constexpr std::size_t kKeptShCoefficients = 15;  // degrees 1 to 3

// Sign of each SH coefficient (degrees 1 to 3 in the usual order) under y -> -y, z -> -z.
constexpr std::array<float, 15> kShFlip = {-1, -1, 1, -1, 1, 1, -1, 1, -1, 1, -1, -1, 1, -1, 1};

struct SpzHeader {
    std::uint32_t version = 0;
    std::uint32_t count = 0;
    std::uint32_t shDegree = 0;
    std::uint32_t fractionalBits = 0;
    std::uint8_t flags = 0;
};

std::size_t ShCoefficients(std::uint32_t degree)
{
    return (degree + 1) * (degree + 1) - 1;
}

// The SH values a splat keeps: degrees up to 3, three channels.
std::size_t RestCount(const SpzHeader& header)
{
    return std::min(ShCoefficients(header.shDegree), kKeptShCoefficients) * 3;
}

// The byte size of each attribute block for count splats, in file order: positions, alphas,
// colours, scales, rotations, SH.
std::array<std::uint64_t, 6> BlockSizes(const SpzHeader& header)
{
    const std::uint64_t n = header.count;
    return {
        n * (header.version == 1 ? 6 : 9),
        n,
        n * 3,
        n * 3,
        n * (header.version >= 3 ? 4 : 3),
        n * ShCoefficients(header.shDegree) * 3,
    };
}

std::optional<ReadFailure> ParseHeader(const std::uint8_t* bytes, SpzHeader& header)
{
    if (LoadLE<std::uint32_t>(bytes) != kMagic)
        return Fail(ReadError::NotRecognised, "SPZ: the data does not start with 'NGSP'");
    header.version = LoadLE<std::uint32_t>(bytes + 4);
    header.count = LoadLE<std::uint32_t>(bytes + 8);
    header.shDegree = bytes[12];
    header.fractionalBits = bytes[13];
    header.flags = bytes[14];
    if (header.version < 1 || header.version > 4)
        return Fail(ReadError::Unsupported, "SPZ: version " + std::to_string(header.version) + " is not known");
    if (header.shDegree > 4)
        return Fail(ReadError::Malformed, "SPZ: SH degree " + std::to_string(header.shDegree) + " is beyond 4");
    if (header.fractionalBits > 24)
        return Fail(ReadError::Malformed, "SPZ: " + std::to_string(header.fractionalBits) + " fractional bits in 24-bit positions");
    if (header.count == 0)
        return Fail(ReadError::Malformed, "SPZ: the header claims no splats");
    return std::nullopt;
}

float HalfToFloat(std::uint16_t half)
{
    const std::uint32_t sign = (half >> 15) & 1;
    const std::uint32_t exponent = (half >> 10) & 31;
    const std::uint32_t mantissa = half & 1023;
    float magnitude;
    if (exponent == 0)
        magnitude = std::ldexp(static_cast<float>(mantissa), -24);
    else if (exponent == 31)
        magnitude = mantissa == 0 ? INFINITY : NAN;
    else
        magnitude = std::ldexp(static_cast<float>(mantissa | 1024), static_cast<int>(exponent) - 25);
    return sign ? -magnitude : magnitude;
}

float FixedPoint24(const std::uint8_t* p, float unit)
{
    std::int32_t value = p[0] | (p[1] << 8) | (p[2] << 16);
    if (value & 0x800000)
        value -= 0x1000000;
    return static_cast<float>(value) * unit;
}

// A smallest-three component's 10 bits: a sign bit over 9 bits of magnitude in units of
// sqrt(1/2) / 511.
std::array<float, 1024> SmallestThreeComponents()
{
    const float kUnit = std::sqrt(0.5f) / 511.0f;
    std::array<float, 1024> table;
    for (std::uint32_t bits = 0; bits < table.size(); ++bits) {
        const float magnitude = static_cast<float>(bits & 511) * kUnit;
        table[bits] = (bits & 512) ? -magnitude : magnitude;
    }
    return table;
}

// Rotation as (x, y, z, w) in SPZ's axes: the largest component's index in the top two bits,
// the others from the highest index down in 10 bits each, the lowest bits first.
Eigen::Vector4f SmallestThreeRotation(std::uint32_t packed, const std::array<float, 1024>& component)
{
    const float a = component[packed & 1023];
    const float b = component[(packed >> 10) & 1023];
    const float c = component[(packed >> 20) & 1023];
    const float largest = std::sqrt(std::max(0.0f, 1.0f - ((a * a + b * b) + c * c)));
    return QuaternionWithLargestAt(packed >> 30, largest, c, b, a);
}

Eigen::Vector4f ByteVectorRotation(const std::uint8_t* p)
{
    Eigen::Vector4f q;
    float sumSquares = 0;
    for (int i = 0; i < 3; ++i) {
        q[i] = static_cast<float>(p[i]) / 127.5f - 1.0f;
        sumSquares += q[i] * q[i];
    }
    q[3] = std::sqrt(std::max(0.0f, 1.0f - sumSquares));
    return q;
}

// The value of each possible byte of a byte-quantised attribute.
template <typename Decode>
std::array<float, 256> ByteTable(Decode decode)
{
    std::array<float, 256> table;
    for (int b = 0; b < 256; ++b)
        table[b] = decode(static_cast<float>(b));
    return table;
}

// The decoded attribute blocks, in file order.
using Blocks = std::array<const std::uint8_t*, 6>;

// Turns ranges of splats of the attribute blocks into the scene the viewer shows, in PLY axes.
class SplatDecoder {
public:
    SplatDecoder(const SpzHeader& header, const Blocks& blocks, GaussianData& data)
        : m_header(header), m_blocks(blocks), m_data(data),
          m_unit(1.0f / static_cast<float>(1u << header.fractionalBits)),
          m_stored(ShCoefficients(header.shDegree)),
          m_kept(RestCount(header) / 3),
          m_opacity(OpacityOfAlphaByte()),
          m_colour(ByteTable([](float b) { return (b / 255.0f - 0.5f) / kColourScale; })),
          m_scale(ByteTable([](float b) { return SplatScaleFromLog(b / 16.0f - 10.0f); })),
          m_shValue(ByteTable([](float b) { return (b - 128.0f) / 128.0f; }))
    {
    }

    // Everything but the SH rest.
    void Attributes(std::size_t first, std::size_t end) const
    {
        if (m_header.version == 1)
            AttributesOf<true, false>(first, end);
        else if (m_header.version == 2)
            AttributesOf<false, false>(first, end);
        else
            AttributesOf<false, true>(first, end);
    }

    // SPZ interleaves the channels per coefficient; the scene keeps each channel's
    // coefficients together.
    void Sh(std::size_t first, std::size_t end) const
    {
        // Degree 3, the common case, with the sizes known to the compiler.
        if (m_stored == kKeptShCoefficients && m_kept == kKeptShCoefficients)
            ShOf(first, end, kKeptShCoefficients, kKeptShCoefficients);
        else
            ShOf(first, end, m_stored, m_kept);
    }

private:
    void ShOf(std::size_t first, std::size_t end, std::size_t stored, std::size_t kept) const
    {
        const std::size_t restCount = kept * 3;
        for (std::size_t i = first; i < end; ++i) {
            const std::uint8_t* sh = m_blocks[5] + i * stored * 3;
            float* rest = m_data.shRest.data() + i * restCount;
            for (std::size_t c = 0; c < 3; ++c)
                for (std::size_t k = 0; k < kept; ++k)
                    rest[c * kept + k] = kShFlip[k] * m_shValue[sh[3 * k + c]];
        }
    }

    // Version 1 stores half-float positions, versions 1 and 2 rotations as three bytes.
    template <bool kHalfPositions, bool kSmallestThree>
    void AttributesOf(std::size_t first, std::size_t end) const
    {
        const std::uint8_t* positions = m_blocks[0];
        const std::uint8_t* alphas = m_blocks[1];
        const std::uint8_t* colours = m_blocks[2];
        const std::uint8_t* scales = m_blocks[3];
        const std::uint8_t* rotations = m_blocks[4];
        for (std::size_t i = first; i < end; ++i) {
            Eigen::Vector3f p;
            for (int a = 0; a < 3; ++a)
                p[a] = kHalfPositions ? HalfToFloat(LoadLE<std::uint16_t>(positions + 6 * i + 2 * a))
                                      : FixedPoint24(positions + 9 * i + 3 * a, m_unit);
            m_data.positions[i] = Eigen::Vector3f(p[0], -p[1], -p[2]);
            m_data.opacities[i] = m_opacity[alphas[i]];
            m_data.shDc[i] = Eigen::Vector3f(m_colour[colours[3 * i]], m_colour[colours[3 * i + 1]], m_colour[colours[3 * i + 2]]);
            m_data.scales[i] = Eigen::Vector3f(m_scale[scales[3 * i]], m_scale[scales[3 * i + 1]], m_scale[scales[3 * i + 2]]);
            const Eigen::Vector4f xyzw = kSmallestThree ? SmallestThreeRotation(LoadLE<std::uint32_t>(rotations + 4 * i), m_component)
                                                        : ByteVectorRotation(rotations + 3 * i);
            Eigen::Vector4f q(xyzw[3], xyzw[0], -xyzw[1], -xyzw[2]);
            NormaliseSplatRotation(q);
            m_data.rotations[i] = q;
        }
    }

    const SpzHeader& m_header;
    const Blocks& m_blocks;
    GaussianData& m_data;
    const float m_unit;
    const std::size_t m_stored;
    const std::size_t m_kept;
    const std::array<float, 256> m_opacity;
    const std::array<float, 256> m_colour;
    const std::array<float, 256> m_scale;
    const std::array<float, 256> m_shValue;
    const std::array<float, 1024> m_component = SmallestThreeComponents();
};

// The notes and the last progress every SPZ version ends with.
ReadResult<GaussianData> Finish(const SpzHeader& header, GaussianData data, const ReadOptions& options)
{
    constexpr const char* kComponent = "SpzReader";
    ReadNotes notes;
    notes.push_back({NoteLevel::Info, kComponent,
                     "version " + std::to_string(header.version) + ", antialiased: " + ((header.flags & 1) ? "yes" : "no")});
    if (header.shDegree > 3)
        notes.push_back({NoteLevel::Warning, kComponent, "SH degree 4 in the file: the fourth band was dropped."});
    ReportProgress(options, 1.0);
    return SplatsRead(kComponent, std::move(data), std::move(notes));
}

using Decompress = std::function<std::optional<ReadFailure>()>;

// Counts a latch down however its scope is left, so that a thread waiting on it never waits
// for ever.
class LatchCountDownOnExit {
public:
    explicit LatchCountDownOnExit(std::latch& latch) : m_latch(latch) {}
    ~LatchCountDownOnExit() { m_latch.count_down(); }
    LatchCountDownOnExit(const LatchCountDownOnExit&) = delete;
    LatchCountDownOnExit& operator=(const LatchCountDownOnExit&) = delete;

private:
    std::latch& m_latch;
};

// Decompresses the blocks on two threads and converts the SH (most of the output) as soon as
// its block is in: one thread sizes the scene and decompresses every block but the largest,
// the other the largest block (the SH where there is any), then converts the SH a range of
// splats at a time; the first thread joins in once its blocks are in. The other attributes
// are decoded over the pool afterwards. Without a second thread the jobs run one after the
// other and nothing waits.
ReadResult<GaussianData> DecompressAndDecode(const SpzHeader& header, const Blocks& blocks, const Decompress& largest,
                                             const Decompress& rest, const ReadOptions& options)
{
    constexpr std::size_t kShSplatsPerRange = 16 * 1024;
    const std::size_t count = header.count;
    const std::size_t restCount = RestCount(header);
    GaussianData data;
    const SplatDecoder decoder(header, blocks, data);
    std::array<std::optional<ReadFailure>, 2> failures;
    std::latch shRestSizing(1);
    std::atomic<bool> shRestSized{false};
    std::atomic<bool> shDecompressed{false};
    std::atomic<std::size_t> nextShRange{0};
    const std::size_t shRanges = restCount > 0 ? (count + kShSplatsPerRange - 1) / kShSplatsPerRange : 0;
    const auto convertSh = [&] {
        for (std::size_t range; (range = nextShRange.fetch_add(1)) < shRanges;) {
            const std::size_t first = range * kShSplatsPerRange;
            decoder.Sh(first, std::min(count, first + kShSplatsPerRange));
        }
    };
    ParallelFor(options.pool, 2, [&](std::size_t job) {
        if (job == 0) {
            {
                const LatchCountDownOnExit sizing(shRestSizing);
                SizeSplatShRest(data, count, restCount);
                shRestSized = true;
            }
            SizeSplatAttributes(data, count);
            failures[1] = rest();
            // Only where the SH is in already: the other job may be yet to start.
            if (!failures[1] && shDecompressed)
                convertSh();
        } else {
            failures[0] = largest();
            if (failures[0])
                return;
            shDecompressed = true;
            shRestSizing.wait();
            if (shRestSized)
                convertSh();
        }
    });
    for (const auto& failure : failures)
        if (failure)
            return *failure;
    if (!ReportProgress(options, 0.8))
        return CancelledFailure(kFormat);
    DecodeSplatScene(data, restCount, options.pool,
                     [&](std::size_t first, std::size_t end) { decoder.Attributes(first, end); });
    return Finish(header, std::move(data), options);
}

// Inflates the one gzip stream of versions 1 to 3 on one thread while another sizes the scene
// and decodes behind it: every attribute but the SH as soon as their blocks are in, then the
// SH (the last block, most of the payload) a range of splats at a time as the stream reaches
// it. The inflating thread joins in the SH once the stream has ended. Without a second
// thread the jobs run one after the other and nothing waits.
ReadResult<GaussianData> InflateAndDecode(InflateStream& stream, const SpzHeader& header,
                                          const std::array<std::uint64_t, 6>& sizes, const ReadOptions& options)
{
    constexpr std::size_t kInflateChunk = std::size_t{1} << 20;
    constexpr std::size_t kShSplatsPerRange = 16 * 1024;
    const std::size_t count = header.count;
    const std::size_t restCount = RestCount(header);
    const std::size_t shStride = ShCoefficients(header.shDegree) * 3;
    std::size_t total = 0;
    for (const std::uint64_t size : sizes)
        total += static_cast<std::size_t>(size);
    const std::size_t attributeBytes = total - static_cast<std::size_t>(sizes[5]);

    OverwriteBuffer payload(total);
    Blocks blocks;
    std::size_t offset = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        blocks[b] = payload.data() + offset;
        offset += static_cast<std::size_t>(sizes[b]);
    }
    GaussianData data;
    const SplatDecoder decoder(header, blocks, data);
    BytesFilled inflated;
    std::optional<ReadFailure> failure;
    std::atomic<bool> sized{false};
    std::atomic<std::size_t> nextShRange{0};
    const std::size_t shRanges = restCount > 0 ? (count + kShSplatsPerRange - 1) / kShSplatsPerRange : 0;
    const auto decodeSh = [&](bool waitForStream) {
        for (std::size_t range; (range = nextShRange.fetch_add(1)) < shRanges;) {
            const std::size_t first = range * kShSplatsPerRange;
            const std::size_t end = std::min(count, first + kShSplatsPerRange);
            if (waitForStream && !inflated.WaitFor(attributeBytes + end * shStride))
                return;
            decoder.Sh(first, end);
        }
    };

    ParallelFor(options.pool, 2, [&](std::size_t job) {
        if (job == 0) {
            {
                const BytesFilled::EndOnExit ending(inflated);
                for (std::size_t at = 0; at < total; at += kInflateChunk) {
                    const std::size_t size = std::min(kInflateChunk, total - at);
                    if ((failure = stream.ReadExactly(payload.data() + at, size)))
                        return;
                    inflated.Publish(at + size);
                }
            }
            if (sized.load(std::memory_order_acquire))
                decodeSh(false);
        } else {
            SizeSplatShRest(data, count, restCount);
            SizeSplatAttributes(data, count);
            sized.store(true, std::memory_order_release);
            if (!inflated.WaitFor(attributeBytes))
                return;
            DecodeSplatScene(data, restCount, nullptr,
                             [&](std::size_t first, std::size_t end) { decoder.Attributes(first, end); });
            decodeSh(true);
        }
    });
    if (failure)
        return *failure;
    if (!ReportProgress(options, 0.8))
        return CancelledFailure(kFormat);
    return Finish(header, std::move(data), options);
}

ReadResult<GaussianData> ReadGzipped(const Bytes& file, const ReadOptions& options)
{
    InflateStream stream(file, InflateStream::Wrapping::Gzip, kFormat);
    std::array<std::uint8_t, kHeaderBytes> headerBytes;
    if (auto failure = stream.ReadExactly(headerBytes.data(), headerBytes.size()))
        return *failure;
    SpzHeader header;
    if (auto failure = ParseHeader(headerBytes.data(), header))
        return *failure;
    if (header.version > 3)
        return Fail(ReadError::Malformed, "SPZ: version 4 data inside a gzip stream");

    const std::array<std::uint64_t, 6> sizes = BlockSizes(header);
    std::uint64_t total = 0;
    for (std::uint64_t size : sizes)
        total += size;
    if (total > MaxInflatedSize(file.size()))
        return Fail(ReadError::TooLarge, "SPZ: the header claims " + std::to_string(header.count) + " splats (" +
                                             std::to_string(total) + " bytes), more than " +
                                             std::to_string(file.size()) + " compressed bytes can hold");
    if (!ReportProgress(options, 0.1))
        return CancelledFailure(kFormat);
    return InflateAndDecode(stream, header, sizes, options);
}

ReadResult<GaussianData> ReadVersion4(const Bytes& file, const ReadOptions& options)
{
    if (file.size() < kV4HeaderBytes)
        return Fail(ReadError::Truncated, "SPZ: the file ends inside its 32-byte header");
    SpzHeader header;
    if (auto failure = ParseHeader(file.data(), header))
        return *failure;
    if (header.version != 4)
        return Fail(ReadError::Malformed, "SPZ: version " + std::to_string(header.version) + " data without gzip");
    const std::size_t streamCount = file[15];
    const std::uint64_t tocOffset = LoadLE<std::uint32_t>(file.data() + 16);
    const std::array<std::uint64_t, 6> sizes = BlockSizes(header);
    const std::size_t expectedStreams = header.shDegree > 0 ? 6 : 5;
    if (streamCount != expectedStreams)
        return Fail(ReadError::Malformed, "SPZ: " + std::to_string(streamCount) + " streams where SH degree " +
                                              std::to_string(header.shDegree) + " needs " +
                                              std::to_string(expectedStreams));
    if (tocOffset < kV4HeaderBytes || tocOffset + streamCount * kV4TocEntryBytes > file.size())
        return Fail(ReadError::Truncated, "SPZ: the stream table lies outside the file");

    std::uint64_t total = 0;
    std::uint64_t offset = tocOffset + streamCount * kV4TocEntryBytes;
    std::array<ByteSpan, 6> compressed;
    for (std::size_t s = 0; s < streamCount; ++s) {
        const std::uint8_t* entry = file.data() + tocOffset + s * kV4TocEntryBytes;
        const std::uint64_t compressedSize = LoadLE<std::uint64_t>(entry);
        const std::uint64_t size = LoadLE<std::uint64_t>(entry + 8);
        if (size != sizes[s])
            return Fail(ReadError::Malformed, "SPZ: stream " + std::to_string(s) + " holds " + std::to_string(size) +
                                                  " bytes where " + std::to_string(header.count) + " splats need " +
                                                  std::to_string(sizes[s]));
        if (compressedSize > file.size() - offset)
            return Fail(ReadError::Truncated, "SPZ: stream " + std::to_string(s) + " runs past the end of the file");
        compressed[s] = ByteSpan(file.data() + offset, static_cast<std::size_t>(compressedSize));
        offset += compressedSize;
        total += size;
    }
    if (total > MaxInflatedSize(file.size()))
        return Fail(ReadError::TooLarge, "SPZ: the header claims " + std::to_string(header.count) +
                                             " splats, more than the file's compressed streams can hold");
    if (!ReportProgress(options, 0.1))
        return CancelledFailure(kFormat);

    // The largest stream's buffer is mapped first; the others by the thread that sizes the
    // scene, after it (mapping waits while another thread populates pages).
    std::array<OverwriteBuffer, 6> streams;
    Blocks blocks{};
    const auto allocate = [&](std::size_t s) {
        streams[s] = OverwriteBuffer(static_cast<std::size_t>(sizes[s]));
        blocks[s] = streams[s].data();
    };
    const auto decode = [&](std::size_t s) {
        if (!blocks[s])
            allocate(s);
        return ZstdDecodeExactly(compressed[s], streams[s].data(), streams[s].size(), kFormat);
    };
    const std::size_t largest = streamCount == 6 ? 5 : 0;
    allocate(largest);
    return DecompressAndDecode(
        header, blocks, [&] { return decode(largest); },
        [&]() -> std::optional<ReadFailure> {
            for (std::size_t s = 0; s < streamCount; ++s)
                if (s != largest)
                    if (auto failure = decode(s))
                        return failure;
            return std::nullopt;
        },
        options);
}

}  // namespace

bool IsSpzFile(const std::string& path)
{
    const Bytes start = ReadFileStart(path, 64 * 1024);
    if (start.size() >= 4 && LoadLE<std::uint32_t>(start.data()) == kMagic)
        return true;
    if (start.size() < 2 || start[0] != 0x1f || start[1] != 0x8b)
        return false;
    std::array<std::uint8_t, 4> magic;
    InflateStream stream(start, InflateStream::Wrapping::Gzip, kFormat);
    return !stream.ReadExactly(magic.data(), magic.size()) && LoadLE<std::uint32_t>(magic.data()) == kMagic;
}

ReadResult<GaussianData> ReadSpz(const std::string& path, const ReadOptions& options)
{
    ReadResult<Bytes> file = ReadFileBytes(path, kFormat);
    if (!file)
        return file.Failure();
    const Bytes& bytes = file.Value();
    if (bytes.size() >= 2 && bytes[0] == 0x1f && bytes[1] == 0x8b)
        return ReadGzipped(bytes, options);
    if (bytes.size() >= 4 && LoadLE<std::uint32_t>(bytes.data()) == kMagic)
        return ReadVersion4(bytes, options);
    return Fail(ReadError::NotRecognised, "SPZ: neither a gzip stream nor 'NGSP' at the start of the file");
}
