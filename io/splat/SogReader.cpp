#include "io/splat/SogReader.h"

#include "io/core/FileName.h"
#include "io/core/ReadOnlyFile.h"
#include "io/splat/SplatActivation.h"
#include "io/splat/SplatBytes.h"
#include "io/splat/SplatFinish.h"
#include "io/splat/SplatShared.h"
#include "io/splat/WebpImage.h"
#include "io/splat/ZipArchive.h"
#include "platform/ThreadPool.h"

#include <nlohmann/json.hpp>

#include <array>
#include <atomic>
#include <cmath>
#include <exception>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

namespace {

constexpr const char* kFormat = "SOG";
constexpr const char* kMetaName = "meta.json";
constexpr std::uint64_t kMaxMetaBytes = 64u << 20;
constexpr std::size_t kCentroidsPerRow = 64;
constexpr std::size_t kCodebookSize = 256;

using FetchFile = std::function<ReadResult<Bytes>(const std::string& name, std::uint64_t maxBytes)>;

// What meta.json says, checked.
struct SogMeta {
    std::size_t count = 0;
    std::array<float, 3> meansMin{};
    std::array<float, 3> meansMax{};
    std::array<float, kCodebookSize> scaleCodebook{};
    std::array<float, kCodebookSize> sh0Codebook{};
    std::array<float, kCodebookSize> shNCodebook{};
    std::size_t paletteCount = 0;
    std::size_t shCoefficients = 0;  // per channel: 0, 3, 8 or 15
    bool antialias = false;
    std::array<std::string, 7> files;  // means_l, means_u, quats, scales, sh0, centroids, labels
};

enum ImageSlot { kMeansLow, kMeansHigh, kQuats, kScales, kSh0, kCentroids, kLabels };

template <std::size_t N>
void ReadFloats(const nlohmann::json& array, std::array<float, N>& out, const char* what)
{
    if (!array.is_array() || array.size() != N)
        throw std::runtime_error(std::string(what) + " must hold " + std::to_string(N) + " numbers");
    for (std::size_t i = 0; i < N; ++i)
        out[i] = array.at(i).get<float>();
}

std::string FileAt(const nlohmann::json& section, std::size_t index, const char* what)
{
    const nlohmann::json& files = section.at("files");
    if (!files.is_array() || files.size() <= index)
        throw std::runtime_error(std::string(what) + " lists too few files");
    return files.at(index).get<std::string>();
}

ReadResult<SogMeta> ParseMeta(const Bytes& bytes)
{
    const nlohmann::json json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return MalformedFailure(kFormat, "meta.json is not a JSON object");
    SogMeta meta;
    try {
        const int version = json.contains("version") ? json.at("version").get<int>() : 1;
        if (version != 2)
            return Fail(ReadError::Unsupported, "SOG: meta.json version " + std::to_string(version) + " is not read (only version 2)");
        const std::int64_t count = json.at("count").get<std::int64_t>();
        if (count <= 0 || count > (std::int64_t{1} << 32))
            return MalformedFailure(kFormat, "count " + std::to_string(count) + " is out of range");
        meta.count = static_cast<std::size_t>(count);
        meta.antialias = json.contains("antialias") && json.at("antialias").get<bool>();
        const nlohmann::json& means = json.at("means");
        ReadFloats(means.at("mins"), meta.meansMin, "means.mins");
        ReadFloats(means.at("maxs"), meta.meansMax, "means.maxs");
        meta.files[kMeansLow] = FileAt(means, 0, "means");
        meta.files[kMeansHigh] = FileAt(means, 1, "means");
        ReadFloats(json.at("scales").at("codebook"), meta.scaleCodebook, "scales.codebook");
        meta.files[kScales] = FileAt(json.at("scales"), 0, "scales");
        meta.files[kQuats] = FileAt(json.at("quats"), 0, "quats");
        ReadFloats(json.at("sh0").at("codebook"), meta.sh0Codebook, "sh0.codebook");
        meta.files[kSh0] = FileAt(json.at("sh0"), 0, "sh0");
        if (json.contains("shN")) {
            const nlohmann::json& shN = json.at("shN");
            const int bands = shN.at("bands").get<int>();
            if (bands < 1 || bands > 3)
                return MalformedFailure(kFormat, "shN.bands " + std::to_string(bands) + " is not 1, 2 or 3");
            meta.shCoefficients = static_cast<std::size_t>((bands + 1) * (bands + 1) - 1);
            const std::int64_t palette = shN.at("count").get<std::int64_t>();
            if (palette <= 0 || palette > 65536)
                return MalformedFailure(kFormat, "shN.count " + std::to_string(palette) + " is not within 1 to 65536");
            meta.paletteCount = static_cast<std::size_t>(palette);
            ReadFloats(shN.at("codebook"), meta.shNCodebook, "shN.codebook");
            meta.files[kCentroids] = FileAt(shN, 0, "shN");
            meta.files[kLabels] = FileAt(shN, 1, "shN");
        }
    } catch (const std::exception& error) {
        return MalformedFailure(kFormat, std::string("meta.json: ") + error.what());
    }
    return meta;
}

// A smallest-three component's byte, scaled to +-1/sqrt(2).
std::array<float, 256> QuaternionComponents()
{
    const float kRange = std::sqrt(2.0f);
    std::array<float, 256> table;
    for (int b = 0; b < 256; ++b)
        table[b] = (static_cast<float>(b) / 255.0f - 0.5f) * kRange;
    return table;
}

// Smallest three: the dropped component's index (w, x, y, z order) in alpha - 252, the
// others in red, green, blue.
Eigen::Vector4f UnpackQuaternion(const std::uint8_t* rgba, const std::array<float, 256>& component)
{
    const float a = component[rgba[0]];
    const float b = component[rgba[1]];
    const float c = component[rgba[2]];
    const float m = std::sqrt(std::max(0.0f, 1.0f - (a * a + b * b + c * c)));
    const unsigned mode = rgba[3] - 252u;
    return QuaternionWithLargestAt(mode < 3 ? mode : 3, m, a, b, c);
}

// Whether shN lists its labels before its centroids, as an early description of the format
// had it: only where the images fit that order and not the one written today.
bool ShFilesListedLabelsFirst(const Bytes& first, const Bytes& second, std::pair<std::size_t, std::size_t> labelPixels,
                              std::size_t centroidsWidth, std::size_t centroidRows)
{
    const auto fits = [&](const Bytes& centroids, const Bytes& labels) {
        const ReadResult<WebpSize> palette = ReadWebpSize(centroids, 1, std::size_t(-1), "centroids");
        const ReadResult<WebpSize> indices = ReadWebpSize(labels, labelPixels.first, labelPixels.second, "labels");
        return palette && indices && static_cast<std::size_t>(palette.Value().width) == centroidsWidth &&
               static_cast<std::size_t>(palette.Value().height) == centroidRows;
    };
    return !fits(first, second) && fits(second, first);
}

// Each Fill sizes its own arrays of the scene and fills them from an attribute's decoded
// images, so that the attributes can be filled side by side.

// False where a label points past the palette.
bool FillShRest(const SogMeta& meta, const RgbaImage& labels, const RgbaImage& centroids, ThreadPool* pool,
                GaussianData& data)
{
    const std::size_t coefficients = meta.shCoefficients;
    const std::size_t restCount = coefficients * 3;
    data.shRest.resize(meta.count * restCount);
    std::atomic<bool> allInPalette{true};
    ForSplatRanges(pool, meta.count, [&](std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) {
            const std::uint8_t* label = labels.Pixel(i);
            const std::size_t entry = label[0] | (label[1] << 8);
            if (entry >= meta.paletteCount) {
                allInPalette = false;
                continue;
            }
            const std::size_t pixel = (entry / kCentroidsPerRow) * kCentroidsPerRow * coefficients +
                                      (entry % kCentroidsPerRow) * coefficients;
            float* rest = data.shRest.data() + i * restCount;
            for (std::size_t k = 0; k < coefficients; ++k)
                for (std::size_t c = 0; c < 3; ++c)
                    rest[c * coefficients + k] = meta.shNCodebook[centroids.Pixel(pixel + k)[c]];
        }
    });
    return allInPalette;
}

// 16 bits an axis, low and high bytes in two images, through the symmetric log transform. A
// quantised value's position is the same wherever it occurs: each axis's 65536 of them are
// computed once, over the pool, and looked up.
void FillPositions(const SogMeta& meta, const RgbaImage& low, const RgbaImage& high, ThreadPool* pool,
                   GaussianData& data)
{
    constexpr std::size_t kValues = 65536;
    std::vector<float> positionOf(3 * kValues);
    ParallelFor(pool, 3, [&](std::size_t a) {
        for (std::size_t q = 0; q < kValues; ++q) {
            // The fraction of the range as dividing by 65535 gives it.
            const float n = Lerp(meta.meansMin[a], meta.meansMax[a], static_cast<float>(q) / 65535.0f);
            positionOf[a * kValues + q] = std::copysign(std::exp(std::fabs(n)) - 1.0f, n);
        }
    });
    data.positions.resize(meta.count);
    ForSplatRanges(pool, meta.count, [&](std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) {
            const std::uint8_t* lowBytes = low.Pixel(i);
            const std::uint8_t* highBytes = high.Pixel(i);
            for (std::size_t a = 0; a < 3; ++a)
                data.positions[i][a] = positionOf[a * kValues + (lowBytes[a] | (highBytes[a] << 8))];
        }
    });
}

// The DC coefficients through their codebook, the opacity as alpha / 255.
void FillColours(const SogMeta& meta, const RgbaImage& sh0, GaussianData& data)
{
    const auto opacity = OpacityOfAlphaByte();
    data.shDc.resize(meta.count);
    data.opacities.resize(meta.count);
    for (std::size_t i = 0; i < meta.count; ++i) {
        const std::uint8_t* pixel = sh0.Pixel(i);
        data.shDc[i] = Eigen::Vector3f(meta.sh0Codebook[pixel[0]], meta.sh0Codebook[pixel[1]], meta.sh0Codebook[pixel[2]]);
        data.opacities[i] = opacity[pixel[3]];
    }
}

void FillRotations(const RgbaImage& quats, std::size_t count, GaussianData& data)
{
    const auto component = QuaternionComponents();
    data.rotations.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        Eigen::Vector4f q = UnpackQuaternion(quats.Pixel(i), component);
        NormaliseSplatRotation(q);
        data.rotations[i] = q;
    }
}

// The log scales through their codebook.
void FillScales(const SogMeta& meta, const RgbaImage& scales, GaussianData& data)
{
    std::array<float, kCodebookSize> scaleOfByte;
    for (std::size_t b = 0; b < kCodebookSize; ++b)
        scaleOfByte[b] = SplatScaleFromLog(meta.scaleCodebook[b]);
    data.scales.resize(meta.count);
    for (std::size_t i = 0; i < meta.count; ++i) {
        const std::uint8_t* pixel = scales.Pixel(i);
        data.scales[i] = Eigen::Vector3f(scaleOfByte[pixel[0]], scaleOfByte[pixel[1]], scaleOfByte[pixel[2]]);
    }
}

ReadResult<GaussianData> Decode(const FetchFile& fetch, const ReadOptions& options)
{
    ReadResult<Bytes> metaBytes = fetch(kMetaName, kMaxMetaBytes);
    if (!metaBytes)
        return metaBytes.Failure();
    ReadResult<SogMeta> parsed = ParseMeta(metaBytes.Value());
    if (!parsed)
        return parsed.Failure();
    SogMeta& meta = parsed.Value();
    if (!ReportProgress(options, 0.1))
        return CancelledFailure(kFormat);

    const bool hasSh = meta.shCoefficients > 0;
    const std::size_t maxPixels = meta.count * 2 + 65536;
    const std::size_t centroidRows = (meta.paletteCount + kCentroidsPerRow - 1) / kCentroidsPerRow;
    const std::size_t coefficients = meta.shCoefficients;
    const std::size_t restCount = coefficients * 3;
    // Every image is fetched and its size checked before anything is sized for the count.
    const std::vector<std::size_t> slots =
        hasSh ? std::vector<std::size_t>{kMeansLow, kMeansHigh, kQuats, kScales, kSh0, kCentroids, kLabels}
              : std::vector<std::size_t>{kMeansLow, kMeansHigh, kQuats, kScales, kSh0};
    const auto pixelRange = [&](std::size_t slot) {
        const std::size_t centroidPixels = centroidRows * kCentroidsPerRow * coefficients;
        return slot == kCentroids ? std::pair(centroidPixels, centroidPixels) : std::pair(meta.count, maxPixels);
    };
    const std::uint64_t maxFileBytes = std::uint64_t{8} * std::max(maxPixels, centroidRows * kCentroidsPerRow * 15) + (1u << 20);
    std::array<std::optional<ReadResult<Bytes>>, 7> files;
    ParallelFor(options.pool, slots.size(), [&](std::size_t s) {
        files[slots[s]] = fetch(meta.files[slots[s]], maxFileBytes);
    });
    for (std::size_t slot : slots)
        if (!*files[slot])
            return files[slot]->Failure();
    if (hasSh && ShFilesListedLabelsFirst(files[kCentroids]->Value(), files[kLabels]->Value(), pixelRange(kLabels),
                                          kCentroidsPerRow * coefficients, centroidRows)) {
        std::swap(files[kCentroids], files[kLabels]);
        std::swap(meta.files[kCentroids], meta.files[kLabels]);
    }
    for (std::size_t slot : slots) {
        const auto [fewest, most] = pixelRange(slot);
        if (ReadResult<WebpSize> size = ReadWebpSize(files[slot]->Value(), fewest, most, meta.files[slot]); !size)
            return size.Failure();
        else if (slot == kCentroids && static_cast<std::size_t>(size.Value().width) != kCentroidsPerRow * coefficients)
            return MalformedFailure(kFormat, meta.files[kCentroids] + " is not " + std::to_string(kCentroidsPerRow * coefficients) +
                             " pixels wide");
    }

    // Each job decodes the images of one attribute, then sizes and fills that attribute's
    // arrays while the pixels are still in cache; the jobs run side by side, the costliest
    // first, and a thread with nothing left to decode helps fill the SH and the positions.
    GaussianData data;
    std::array<std::optional<ReadResult<RgbaImage>>, 7> images;
    const auto decode = [&](std::size_t slot) {
        const auto [fewest, most] = pixelRange(slot);
        images[slot] = DecodeWebp(files[slot]->Value(), fewest, most, meta.files[slot]);
        files[slot].reset();
        return images[slot]->Ok() ? &images[slot]->Value() : nullptr;
    };
    bool badLabel = false;
    enum Job { kShJob, kPositionsJob, kColoursJob, kRotationsJob, kScalesJob };
    const std::vector<Job> jobs = hasSh ? std::vector<Job>{kShJob, kPositionsJob, kColoursJob, kRotationsJob, kScalesJob}
                                        : std::vector<Job>{kPositionsJob, kColoursJob, kRotationsJob, kScalesJob};
    ParallelFor(options.pool, jobs.size(), [&](std::size_t j) {
        switch (jobs[j]) {
        case kShJob:
            if (const RgbaImage* centroids = decode(kCentroids))
                if (const RgbaImage* labels = decode(kLabels))
                    badLabel = !FillShRest(meta, *labels, *centroids, options.pool, data);
            return;
        case kPositionsJob:
            if (const RgbaImage* low = decode(kMeansLow))
                if (const RgbaImage* high = decode(kMeansHigh))
                    FillPositions(meta, *low, *high, options.pool, data);
            return;
        case kColoursJob:
            if (const RgbaImage* sh0 = decode(kSh0))
                FillColours(meta, *sh0, data);
            return;
        case kRotationsJob:
            if (const RgbaImage* quats = decode(kQuats))
                FillRotations(*quats, meta.count, data);
            return;
        case kScalesJob:
            if (const RgbaImage* scales = decode(kScales))
                FillScales(meta, *scales, data);
            return;
        }
    });
    for (std::size_t slot : slots)
        if (images[slot] && !*images[slot])
            return images[slot]->Failure();
    if (badLabel)
        return MalformedFailure(kFormat, "an SH label points past the " + std::to_string(meta.paletteCount) + " palette entries");
    if (!ReportProgress(options, 0.7))
        return CancelledFailure(kFormat);
    // Everything is decoded: what is left is the origin and the bounds.
    DecodeSplatScene(data, restCount, options.pool, [](std::size_t, std::size_t) {});
    ReportProgress(options, 1.0);
    return SplatsRead("SogReader", std::move(data),
                      {{NoteLevel::Info, "SogReader", meta.antialias ? "antialiased: yes" : "antialiased: no"}});
}

// A file beside meta.json, by its plain name only.
ReadResult<Bytes> FetchBeside(const std::filesystem::path& folder, const std::string& name, std::uint64_t maxBytes)
{
    if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos || name == "." ||
        name == "..")
        return MalformedFailure(kFormat, "meta.json names the file '" + name + "', which is not a plain file name");
    const std::string path = (folder / name).string();
    const ReadOnlyFile file(path);
    const std::optional<std::uint64_t> size = file.RegularFileSize();
    if (!size)
        return Fail(ReadError::CannotOpen, "SOG: " + name + " is missing beside meta.json");
    if (*size > maxBytes)
        return Fail(ReadError::TooLarge, "SOG: " + name + " is larger than its contents could need");
    return ReadFileBytes(path, kFormat);
}

}  // namespace

bool IsSogFile(const std::string& path)
{
    if (ZipArchive::HasZipSignature(path)) {
        ReadResult<ZipArchive> archive = ZipArchive::Open(path, kFormat);
        return archive && archive.Value().Find(kMetaName) != nullptr;
    }
    if (LowerCaseFileName(path) != kMetaName)
        return false;
    const Bytes start = ReadFileStart(path, 4096);
    const std::string_view text(reinterpret_cast<const char*>(start.data()), start.size());
    return text.find('{') != std::string_view::npos && text.find("\"means\"") != std::string_view::npos;
}

ReadResult<GaussianData> ReadSog(const std::string& path, const ReadOptions& options)
{
    if (ZipArchive::HasZipSignature(path)) {
        ReadResult<ZipArchive> archive = ZipArchive::Open(path, kFormat);
        if (!archive)
            return archive.Failure();
        const ZipArchive& zip = archive.Value();
        return Decode(
            [&](const std::string& name, std::uint64_t maxBytes) -> ReadResult<Bytes> {
                const ZipArchive::Entry* entry = zip.Find(name);
                if (!entry)
                    return MalformedFailure(kFormat, "the bundle has no " + name);
                return zip.Read(*entry, maxBytes);
            },
            options);
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const std::optional<std::uint64_t> size = ReadOnlyFile(path).RegularFileSize();
    if (!size)
        return Fail(ReadError::CannotOpen, "SOG: cannot open " + path + " as a regular file");
    if (*size > kMaxMetaBytes)
        return Fail(ReadError::TooLarge, "SOG: " + path + " is too large for a meta.json");
    return Decode(
        [&](const std::string& name, std::uint64_t maxBytes) -> ReadResult<Bytes> {
            if (name == kMetaName)
                return ReadFileBytes(path, kFormat);
            return FetchBeside(folder, name, maxBytes);
        },
        options);
}
