#include "convert/CopcBuilder.h"
#include "convert/CopcPages.h"
#include "convert/KeySort.h"
#include "convert/OctreeBuild.h"
#include "convert/OctreeKey.h"
#include "convert/UpperLevels.h"
#include "io/copc/CopcHierarchy.h"
#include "io/copc/CopcReader.h"
#include "io/core/LittleEndian.h"
#include "io/las/ExtendedRecords.h"
#include "io/laz/ChunkDecoder.h"
#include "io/laz/LazReader.h"
#include "platform/ThreadPool.h"
#include "scene/PointCloudData.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

using testsupport::ScratchDir;
using testsupport::TestDataFile;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

// A cloud as a source hands it over: its format and its records, one after another.
struct Cloud {
    PointRecordFormat format;
    Bytes records;
    std::size_t Count() const { return records.size() / format.recordLength; }
};

// The header, (E)VLRs and records of a LAS file (records only when not compressed), parsed
// here by hand.
Cloud LoadLas(const std::filesystem::path& path)
{
    const Bytes bytes = ReadBytes(path);
    Cloud cloud;
    PointRecordFormat& f = cloud.format;
    f.versionMinor = bytes[25];
    f.fileSourceId = LoadLE<std::uint16_t>(&bytes[4]);
    f.globalEncoding = LoadLE<std::uint16_t>(&bytes[6]);
    std::copy_n(&bytes[8], 16, f.projectId.begin());
    f.systemIdentifier.assign(reinterpret_cast<const char*>(&bytes[26]), strnlen(reinterpret_cast<const char*>(&bytes[26]), 32));
    const auto headerSize = LoadLE<std::uint16_t>(&bytes[94]);
    const auto pointDataOffset = LoadLE<std::uint32_t>(&bytes[96]);
    const auto vlrCount = LoadLE<std::uint32_t>(&bytes[100]);
    f.format = bytes[104] & 0x3F;
    f.recordLength = LoadLE<std::uint16_t>(&bytes[105]);
    std::uint64_t count = LoadLE<std::uint32_t>(&bytes[107]);
    for (int axis = 0; axis < 3; ++axis) {
        f.scale[axis] = LoadLE<double>(&bytes[131 + 8 * axis]);
        f.offset[axis] = LoadLE<double>(&bytes[155 + 8 * axis]);
    }
    std::uint64_t evlrOffset = 0;
    std::uint32_t evlrCount = 0;
    if (f.versionMinor >= 4 && headerSize >= 375) {
        evlrOffset = LoadLE<std::uint64_t>(&bytes[235]);
        evlrCount = LoadLE<std::uint32_t>(&bytes[243]);
        if (count == 0)
            count = LoadLE<std::uint64_t>(&bytes[247]);
    }
    f.pointCount = count;
    std::size_t at = headerSize;
    for (std::uint32_t i = 0; i < vlrCount; ++i) {
        VariableLengthRecord vlr;
        vlr.userId.assign(reinterpret_cast<const char*>(&bytes[at + 2]), strnlen(reinterpret_cast<const char*>(&bytes[at + 2]), 16));
        vlr.recordId = LoadLE<std::uint16_t>(&bytes[at + 18]);
        const auto length = LoadLE<std::uint16_t>(&bytes[at + 20]);
        vlr.data.assign(&bytes[at + 54], &bytes[at + 54] + length);
        f.vlrs.push_back(std::move(vlr));
        at += 54 + length;
    }
    for (std::uint32_t i = 0; i < evlrCount; ++i) {
        VariableLengthRecord evlr;
        evlr.extended = true;
        evlr.userId.assign(reinterpret_cast<const char*>(&bytes[evlrOffset + 2]),
                           strnlen(reinterpret_cast<const char*>(&bytes[evlrOffset + 2]), 16));
        evlr.recordId = LoadLE<std::uint16_t>(&bytes[evlrOffset + 18]);
        const auto length = LoadLE<std::uint64_t>(&bytes[evlrOffset + 20]);
        evlr.data.assign(&bytes[evlrOffset + 60], &bytes[evlrOffset + 60] + length);
        f.vlrs.push_back(std::move(evlr));
        evlrOffset += 60 + length;
    }
    const bool compressed = (bytes[104] & 0x80) != 0;  // LAZ: the header and (E)VLRs only
    if (!compressed)
        cloud.records.assign(&bytes[pointDataOffset], &bytes[pointDataOffset] + count * f.recordLength);
    return cloud;
}

// A cloud of points spread over a box with a dense cluster in one corner, every field random.
Cloud RandomCloud(std::size_t count, std::uint8_t format, std::uint32_t seed)
{
    Cloud cloud;
    cloud.format.format = format;
    cloud.format.recordLength = StandardRecordLength(format);
    cloud.format.scale = {0.001, 0.001, 0.01};
    cloud.format.offset = {500000, 4000000, 100};
    cloud.format.pointCount = count;
    cloud.records.resize(count * cloud.format.recordLength);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> wide(0, 2000000), narrow(0, 20000), byte(0, 255);
    for (std::size_t i = 0; i < count; ++i) {
        unsigned char* r = &cloud.records[i * cloud.format.recordLength];
        for (std::size_t b = 12; b < cloud.format.recordLength; ++b)
            r[b] = static_cast<unsigned char>(byte(random));
        const bool clustered = i % 3 == 0;
        for (int axis = 0; axis < 3; ++axis)
            StoreLE(r + 4 * axis, static_cast<std::int32_t>((clustered ? narrow(random) : wide(random)) / (axis == 2 ? 10 : 1)));
        if (format >= 6 || format == 1 || format == 3)
            StoreLE(r + (format >= 6 ? 22 : 20), 1000.0 + i * 0.25);  // finite GPS times
    }
    return cloud;
}

// Hands the cloud over in batches. failAt: the record after which the read fails, on the
// read numbered failOnRead (1: the first).
struct SourceScript {
    std::size_t batch = 5000;
    std::size_t failAt = std::size_t(-1);
    int failOnRead = 0;
};

PointRecordSource SourceOf(const Cloud& cloud, SourceScript script = {})
{
    auto reads = std::make_shared<int>(0);
    return [&cloud, script, reads](PointRecordSink& sink) -> ReadResult<PointRecordFormat> {
        ++*reads;
        if (!sink.Begin(cloud.format))
            return Fail(ReadError::Cancelled, "stopped");
        const std::size_t length = cloud.format.recordLength;
        for (std::size_t at = 0; at < cloud.Count(); at += script.batch) {
            if (*reads == script.failOnRead && at >= script.failAt)
                return Fail(ReadError::Truncated, "the file ends early");
            const std::size_t n = std::min(script.batch, cloud.Count() - at);
            if (!sink.Take(&cloud.records[at * length], n))
                return Fail(ReadError::Cancelled, "stopped");
        }
        return cloud.format;
    };
}

// The cloud's records as the COPC file must hold them, each as a string, sorted.
std::vector<std::string> MappedRecords(const Cloud& cloud)
{
    const auto mapping = las::PlanExtendedMapping(cloud.format.format, cloud.format.recordLength);
    Bytes mapped(cloud.Count() * mapping->targetLength);
    las::MapToExtended(*mapping, cloud.records.data(), cloud.Count(), mapped.data());
    std::vector<std::string> out;
    for (std::size_t i = 0; i < cloud.Count(); ++i)
        out.emplace_back(reinterpret_cast<const char*>(&mapped[i * mapping->targetLength]), mapping->targetLength);
    std::sort(out.begin(), out.end());
    return out;
}

struct CopcSummary {
    std::size_t nodes = 0;
    std::size_t pages = 0;
    int depth = 0;
};

// Every rule a COPC file from the builder keeps, checked against the cloud it was built from.
CopcSummary ExpectValidCopc(const std::filesystem::path& path, const Cloud& cloud, std::uint32_t maxNodePoints)
{
    CopcSummary summary;
    auto read = ReadCopcHierarchy(path.string());
    EXPECT_TRUE(read) << read.Failure().reason;
    if (!read)
        return summary;
    const CopcHierarchy& h = read.Value();
    EXPECT_EQ(h.skippedCount, 0u) << (h.skipped.empty() ? "" : h.skipped.front());
    EXPECT_EQ(h.header.pointCount, cloud.Count());
    EXPECT_EQ(h.nodePoints, h.header.pointCount);
    summary = {h.nodes.size(), h.pageCount, h.depth};

    auto laz = ReadLazInfo(path.string());
    EXPECT_TRUE(laz) << laz.Failure().reason;
    if (!laz)
        return summary;
    const auto mapping = las::PlanExtendedMapping(cloud.format.format, cloud.format.recordLength);
    const std::uint16_t length = laz.Value().header.recordLength;
    EXPECT_EQ(length, mapping->targetLength);
    EXPECT_EQ(h.header.pointFormat, mapping->targetFormat);
    EXPECT_EQ(h.header.scale, cloud.format.scale);
    EXPECT_EQ(h.header.offset, cloud.format.offset);

    // Each chunk decodes alone to points inside its node's cube.
    const Bytes file = ReadBytes(path);
    const double tolerance = h.info.halfSize * 1e-9;
    std::vector<std::string> decoded;
    std::array<double, 3> low{}, high{};
    low.fill(INFINITY);
    high.fill(-INFINITY);
    for (const CopcNode& node : h.nodes) {
        EXPECT_TRUE(node.pointCount <= maxNodePoints || node.key.level == 21) << node.key.level << ": " << node.pointCount;
        if (node.pointCount == 0)
            continue;
        Bytes out(std::size_t{node.pointCount} * length);
        const laz::ChunkOutcome outcome = laz::DecodeChunk(laz.Value().layout, length, laz::kAllFields, &file[node.chunkOffset],
                                                           node.chunkSize, node.pointCount, out.data());
        EXPECT_TRUE(outcome.ok) << outcome.reason;
        const double size = 2 * h.info.halfSize / std::ldexp(1.0, node.key.level);
        const std::array<int, 3> cell{node.key.x, node.key.y, node.key.z};
        for (std::uint32_t i = 0; i < node.pointCount; ++i) {
            const unsigned char* r = &out[std::size_t{i} * length];
            for (int axis = 0; axis < 3; ++axis) {
                const double v = LoadLE<std::int32_t>(r + 4 * axis) * h.header.scale[axis] + h.header.offset[axis];
                const double cubeLow = h.info.center[axis] - h.info.halfSize + cell[axis] * size;
                EXPECT_GE(v, cubeLow - tolerance);
                EXPECT_LE(v, cubeLow + size + tolerance);
                low[axis] = std::min(low[axis], v);
                high[axis] = std::max(high[axis], v);
            }
            decoded.emplace_back(reinterpret_cast<const char*>(r), length);
        }
    }
    std::sort(decoded.begin(), decoded.end());
    EXPECT_TRUE(decoded == MappedRecords(cloud)) << "the nodes' records are not the source's";
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_EQ(h.header.minimum[axis], low[axis]);
        EXPECT_EQ(h.header.maximum[axis], high[axis]);
    }

    // The whole file also reads as a LAZ file, and opens in the viewer's streamed reader.
    std::size_t lazPoints = 0;
    auto whole = DecodeLazRecords(path.string(), laz::kAllFields,
                                  [&](std::uint64_t, const unsigned char*, std::size_t count) { lazPoints += count; });
    EXPECT_TRUE(whole) << whole.Failure().reason;
    EXPECT_EQ(lazPoints, cloud.Count());
    auto streamed = ReadCopcStreamed(path.string());
    EXPECT_TRUE(streamed) << streamed.Failure().reason;
    return summary;
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Scratch files have no name: an open descriptor is what would keep one alive.
std::size_t OpenDescriptors()
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// --- Field mapping -------------------------------------------------------------------------

struct LegacyRecord {
    std::uint8_t format;
    std::uint8_t returns;     // byte 14
    std::uint8_t classByte;   // byte 15
    std::int8_t scanRank;
    std::uint8_t expectedReturns;
    std::uint8_t expectedFlags;
    std::uint8_t expectedClass;
    std::int16_t expectedAngle;
    std::uint8_t expectedFormat;
};

TEST(CopcFieldMapping, LegacyRecordsTakeTheirExtendedFields)
{
    // returns: return 3 of 5, scan direction and edge set; class byte: class 2 + synthetic + withheld.
    const LegacyRecord table[] = {
        {0, 0b11'101'011, 0b101'00010, 15, 0x53, 0b1100'0101, 2, 2500, 6},
        {1, 0b00'001'001, 0b010'00101, -90, 0x11, 0b0000'0010, 5, -15000, 6},
        {2, 0b01'111'111, 0b000'01100, 1, 0x77, 0b0100'1000, 1, 167, 7},      // class 12: overlap
        {3, 0b10'010'010, 0b111'11111, -1, 0x22, 0b1000'0111, 31, -167, 7},
        {4, 0b00'001'001, 0b000'00001, 127, 0x11, 0, 1, 21167, 6},
        {5, 0b00'001'001, 0b000'00111, -128, 0x11, 0, 7, -21333, 7},
    };
    for (const LegacyRecord& row : table) {
        SCOPED_TRACE(int(row.format));
        const std::uint16_t length = StandardRecordLength(row.format) + 3;  // three extra bytes
        Bytes in(length);
        for (std::size_t b = 0; b < in.size(); ++b)
            in[b] = static_cast<unsigned char>(b * 7 + 1);
        in[14] = row.returns;
        in[15] = row.classByte;
        in[16] = static_cast<unsigned char>(row.scanRank);
        const auto mapping = las::PlanExtendedMapping(row.format, length);
        ASSERT_TRUE(mapping);
        EXPECT_EQ(mapping->targetFormat, row.expectedFormat);
        EXPECT_EQ(mapping->targetLength, StandardRecordLength(row.expectedFormat) + 3);
        EXPECT_EQ(mapping->dropsWavePackets, row.format == 4 || row.format == 5);
        Bytes out(mapping->targetLength, 0xEE);
        las::MapToExtended(*mapping, in.data(), 1, out.data());

        EXPECT_TRUE(std::equal(in.begin(), in.begin() + 14, out.begin()));  // X, Y, Z, intensity
        EXPECT_EQ(out[14], row.expectedReturns);
        EXPECT_EQ(out[15], row.expectedFlags);
        EXPECT_EQ(out[16], row.expectedClass);
        EXPECT_EQ(out[17], in[17]);  // user data
        EXPECT_EQ(LoadLE<std::int16_t>(&out[18]), row.expectedAngle);
        EXPECT_EQ(LoadLE<std::uint16_t>(&out[20]), LoadLE<std::uint16_t>(&in[18]));  // point source id
        const bool hasTime = row.format != 0 && row.format != 2;
        EXPECT_EQ(LoadLE<double>(&out[22]), hasTime ? LoadLE<double>(&in[20]) : 0.0);
        if (row.expectedFormat == 7) {
            const std::size_t rgb = row.format == 2 ? 20 : 28;
            EXPECT_TRUE(std::equal(in.begin() + rgb, in.begin() + rgb + 6, out.begin() + 30));
        }
        const std::size_t extraIn = StandardRecordLength(row.format), extraOut = StandardRecordLength(row.expectedFormat);
        EXPECT_TRUE(std::equal(in.begin() + extraIn, in.end(), out.begin() + extraOut));
    }
}

TEST(CopcFieldMapping, ExtendedFormatsKeepTheirFieldsAndLoseOnlyWavePackets)
{
    const std::pair<std::uint8_t, std::uint8_t> table[] = {{6, 6}, {7, 7}, {8, 8}, {9, 6}, {10, 8}};
    for (const auto& [format, target] : table) {
        SCOPED_TRACE(int(format));
        const std::uint16_t length = StandardRecordLength(format) + 2;
        Bytes in(2 * length);
        for (std::size_t b = 0; b < in.size(); ++b)
            in[b] = static_cast<unsigned char>(b * 13 + 5);
        const auto mapping = las::PlanExtendedMapping(format, length);
        ASSERT_TRUE(mapping);
        EXPECT_EQ(mapping->targetFormat, target);
        Bytes out(2 * mapping->targetLength);
        las::MapToExtended(*mapping, in.data(), 2, out.data());
        for (std::size_t i = 0; i < 2; ++i) {
            const unsigned char* r = &in[i * length];
            const unsigned char* o = &out[i * mapping->targetLength];
            EXPECT_TRUE(std::equal(r, r + StandardRecordLength(target), o));
            EXPECT_TRUE(std::equal(r + StandardRecordLength(format), r + length, o + StandardRecordLength(target)));
        }
    }
    EXPECT_FALSE(las::PlanExtendedMapping(11, 40));
}

TEST(CopcFieldMapping, ShortRecordsReadAsZeros)
{
    Bytes in(12);
    StoreLE(&in[0], std::int32_t{7});
    StoreLE(&in[8], std::int32_t{-3});
    const auto mapping = las::PlanExtendedMapping(1, 12);
    ASSERT_TRUE(mapping);
    EXPECT_EQ(mapping->targetLength, 30);
    Bytes out(30, 0xEE);
    las::MapToExtended(*mapping, in.data(), 1, out.data());
    EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin()));
    EXPECT_TRUE(std::all_of(out.begin() + 12, out.end(), [](unsigned char b) { return b == 0; }));
}

// --- The octree ----------------------------------------------------------------------------

TEST(CopcOctree, KeysInterleaveAndSortStably)
{
    EXPECT_EQ(octree::Interleave(1, 0, 0), 1u);
    EXPECT_EQ(octree::Interleave(0, 1, 0), 2u);
    EXPECT_EQ(octree::Interleave(0, 0, 1), 4u);
    std::mt19937 random(7);
    std::uniform_int_distribution<std::uint32_t> cell(0, octree::kCellsPerAxis - 1), few(0, 40);
    std::vector<octree::KeyedRow> rows;
    for (std::uint32_t i = 0; i < 50000; ++i) {
        const std::array<std::uint32_t, 3> c{cell(random), cell(random), few(random)};
        const std::uint64_t key = octree::Interleave(c[0], c[1], c[2]);
        EXPECT_EQ(octree::Deinterleave(key), c);
        rows.push_back({i % 3 == 0 ? rows.empty() ? key : rows.back().key : key, i});  // some equal keys
    }
    std::vector<octree::KeyedRow> expected = rows, scratch;
    std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
    octree::SortByKey(rows, scratch);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        ASSERT_TRUE(rows[i].key == expected[i].key && rows[i].row == expected[i].row) << i;
}

// Building the cells one by one and the levels above them as the cells come in gives every
// node the points one build of the whole cloud gives it.
TEST(CopcOctree, CellByCellEqualsOneBuild)
{
    constexpr std::uint32_t kMaxNodePoints = 40;
    constexpr std::size_t kCellLimit = 600;
    std::mt19937 random(3);
    std::normal_distribution<double> spread(0.5, 0.12);
    std::vector<octree::KeyedRow> rows;
    for (std::uint32_t i = 0; i < 30000; ++i) {
        std::array<std::uint32_t, 3> c{};
        for (auto& v : c)
            v = static_cast<std::uint32_t>(std::clamp(spread(random), 0.0, 0.999999) * octree::kCellsPerAxis);
        rows.push_back({octree::Interleave(c[0], c[1], c[2]), i});
    }
    std::vector<octree::KeyedRow> scratch;
    octree::SortByKey(rows, scratch);

    using NodePoints = std::map<std::pair<int, std::uint64_t>, std::vector<std::uint64_t>>;
    NodePoints whole, celled;
    for (const octree::BuiltNode& node : octree::BuildSubtree(rows, 0, kMaxNodePoints))
        for (const std::uint32_t p : node.points)
            whole[{node.level, node.cell}].push_back(rows[p].key);

    // Records are the keys themselves, so that the sink sees which points each node holds.
    octree::UpperLevels upper(8, kMaxNodePoints, [&](int level, std::uint64_t cell, const unsigned char* records, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            celled[{level, cell}].push_back(LoadLE<std::uint64_t>(records + 8 * i));
        return true;
    });
    std::size_t cells = 0;
    const std::function<void(int, std::size_t, std::size_t)> split = [&](int level, std::size_t begin, std::size_t end) {
        if (end - begin > kCellLimit) {
            for (std::size_t at = begin; at < end;) {
                const std::uint64_t child = octree::NodeOf(rows[at].key, level + 1);
                std::size_t stop = at;
                while (stop < end && octree::NodeOf(rows[stop].key, level + 1) == child)
                    ++stop;
                split(level + 1, at, stop);
                at = stop;
            }
            return;
        }
        ++cells;
        const std::span<const octree::KeyedRow> cellRows(rows.data() + begin, end - begin);
        const auto nodes = octree::BuildSubtree(cellRows, level, kMaxNodePoints);
        for (std::size_t n = 1; n < nodes.size(); ++n)
            for (const std::uint32_t p : nodes[n].points)
                celled[{nodes[n].level, nodes[n].cell}].push_back(cellRows[p].key);
        octree::HeldPoints root{level, nodes[0].cell, {}, {}};
        for (const std::uint32_t p : nodes[0].points) {
            root.keys.push_back(cellRows[p].key);
            root.records.resize(root.records.size() + 8);
            StoreLE(&root.records[root.records.size() - 8], cellRows[p].key);
        }
        ASSERT_TRUE(upper.AddCellRoot(std::move(root)));
    };
    split(0, 0, rows.size());
    ASSERT_TRUE(upper.Finish());
    EXPECT_GT(cells, 20u);
    std::erase_if(whole, [](const auto& node) { return node.second.empty(); });
    std::erase_if(celled, [](const auto& node) { return node.second.empty(); });
    EXPECT_TRUE(whole == celled);
    std::size_t total = 0;
    for (const auto& [node, keys] : whole) {
        EXPECT_LE(keys.size(), kMaxNodePoints);
        total += keys.size();
    }
    EXPECT_EQ(total, rows.size());
}

// --- Whole files ---------------------------------------------------------------------------

TEST(CopcBuilder, CorpusFilesBecomeValidCopcFiles)
{
    ORRISK_REQUIRE_TESTDATA();
    const char* files[] = {
        "laz-write/autzen_trim.las",      "laz-write/1.2-with-color.las",     "laz-write/extrabytes.las",
        "laz-write/simple1_3.las",        "laz-write/test1_4.las",            "laz-write/1_4_w_evlr.las",
        "laz-write/stress_f1.las",        "laz-write/stress_f8.las",          "laz-write/synthetic_format0.las",
        "laz-write/synthetic_format2.las", "laz-write/synthetic_format5.las", "laz-write/synthetic_format9.las",
        "laz-write/synthetic_format10.las", "las/negative_scale.las",         "las/permutation_1.0_format0.las",
        "laz-write/file_with_both_wkt_and_geotiff_vlrs.las",
    };
    ThreadPool pool(3);
    ScratchDir dir;
    for (const char* name : files) {
        SCOPED_TRACE(name);
        const Cloud cloud = LoadLas(TestDataFile(name));
        ASSERT_GT(cloud.Count(), 0u);
        const auto target = dir.File(std::filesystem::path(name).filename().string() + ".copc.laz");
        CopcBuildOptions options;
        options.maxNodePoints = 2000;
        options.pool = &pool;
        const WriteResult result = BuildCopc(SourceOf(cloud), target.string(), options);
        ASSERT_TRUE(result) << result.Failure().reason;
        const CopcSummary summary = ExpectValidCopc(target, cloud, options.maxNodePoints);
        if (cloud.Count() > 50000) {
            EXPECT_GE(summary.depth, 3);
        }
    }
}

// The source's records that are not about storage come through; the WKT bit follows the WKT record.
TEST(CopcBuilder, KeepsTheSourcesRecordsAndMarksWkt)
{
    ORRISK_REQUIRE_TESTDATA();
    ScratchDir dir;
    for (const char* name : {"laz-write/file_with_both_wkt_and_geotiff_vlrs.las", "laz-write/1_4_w_evlr.las",
                             "laz-write/extrabytes.las", "laz-write/simple1_3.las"}) {
        SCOPED_TRACE(name);
        const Cloud cloud = LoadLas(TestDataFile(name));
        const auto target = dir.File("kept.copc.laz");
        ASSERT_TRUE(BuildCopc(SourceOf(cloud), target.string(), {}));
        const Cloud out = LoadLas(target);
        ASSERT_GE(out.format.vlrs.size(), 3u);
        EXPECT_EQ(out.format.vlrs[0].userId, "copc");
        EXPECT_EQ(out.format.vlrs[0].recordId, 1);
        EXPECT_EQ(out.format.vlrs[1].userId, "laszip encoded");
        std::vector<std::tuple<std::string, std::uint16_t, Bytes, bool>> expected, kept;
        bool wkt = false;
        for (const auto& r : cloud.format.vlrs) {
            const bool wave = r.userId == "LASF_Spec" && ((r.recordId >= 100 && r.recordId <= 354) || r.recordId == 65535);
            if (!(wave && (cloud.format.format == 4 || cloud.format.format == 5)))
                expected.emplace_back(r.userId, r.recordId, r.data, r.extended);
            wkt = wkt || (r.userId == "LASF_Projection" && r.recordId == 2112);
        }
        for (const auto& r : out.format.vlrs)
            if (r.userId != "copc" && r.userId != "laszip encoded")
                kept.emplace_back(r.userId, r.recordId, r.data, r.extended);
        EXPECT_EQ(kept, expected);
        EXPECT_EQ((out.format.globalEncoding & 0x10) != 0, wkt);
        EXPECT_EQ(out.format.globalEncoding & 0x06, 0);  // no wave packets
        EXPECT_EQ(out.format.versionMinor, 4);
        EXPECT_EQ(out.format.systemIdentifier, cloud.format.systemIdentifier.empty() ? "OTHER" : cloud.format.systemIdentifier);
        EXPECT_EQ(out.format.fileSourceId, cloud.format.fileSourceId);
    }
}

TEST(CopcBuilder, RandomCloudsKeepEveryRuleAndSplitLargeHierarchies)
{
    ScratchDir dir;
    ThreadPool pool(2);
    struct Case {
        std::size_t count;
        std::uint8_t format;
        std::uint32_t maxNodePoints;
        bool paged;
    };
    for (const Case& c : {Case{40000, 3, 600, false}, Case{30000, 8, 3, true}, Case{1, 1, 100, false}, Case{5, 0, 1, false}}) {
        SCOPED_TRACE(c.count);
        const Cloud cloud = RandomCloud(c.count, c.format, static_cast<std::uint32_t>(c.count));
        const auto target = dir.File("random.copc.laz");
        CopcBuildOptions options;
        options.maxNodePoints = c.maxNodePoints;
        options.pool = &pool;
        ASSERT_TRUE(BuildCopc(SourceOf(cloud), target.string(), options));
        const CopcSummary summary = ExpectValidCopc(target, cloud, c.maxNodePoints);
        if (c.paged) {
            EXPECT_GT(summary.nodes, copcwrite::kSinglePageNodes);
            EXPECT_GT(summary.pages, 1u);
        } else {
            EXPECT_EQ(summary.pages, 1u);
        }
    }
}

TEST(CopcBuilder, SameBytesWhateverTheMemoryAndThreads)
{
    const Cloud cloud = RandomCloud(120000, 7, 11);
    ScratchDir dir;
    ThreadPool two(2), five(5);
    struct Run {
        std::uint64_t memoryBytes;
        ThreadPool* pool;
    };
    std::vector<Bytes> outputs;
    for (const Run& run : {Run{std::uint64_t{1} << 30, &two}, Run{std::uint64_t{1} << 20, nullptr}, Run{3 << 20, &five}}) {
        const auto target = dir.File("same-" + std::to_string(outputs.size()) + ".copc.laz");
        CopcBuildOptions options;
        options.memoryBytes = run.memoryBytes;
        options.maxNodePoints = 500;  // cells of 8000 points: many of them, and levels above them
        options.pool = run.pool;
        const WriteResult result = BuildCopc(SourceOf(cloud), target.string(), options);
        ASSERT_TRUE(result) << result.Failure().reason;
        outputs.push_back(ReadBytes(target));
    }
    ExpectValidCopc(dir.File("same-1.copc.laz"), cloud, 500);
    EXPECT_TRUE(outputs[0] == outputs[1]) << "in memory and spilled differ";
    EXPECT_TRUE(outputs[0] == outputs[2]) << "two and five threads differ";
    EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"same-0.copc.laz", "same-1.copc.laz", "same-2.copc.laz"}));
}

// A build may run as a job of the pool it encodes on, even a pool of one busy thread.
TEST(CopcBuilder, RunsInsideAJobOfItsOwnPool)
{
    const Cloud cloud = RandomCloud(20000, 3, 3);
    ScratchDir dir;
    ThreadPool pool(1);
    WriteResult result = WriteFailure{WriteError::WriteFailed, "not run"};
    pool.Submit([&] {
          CopcBuildOptions options;
          options.maxNodePoints = 300;
          options.pool = &pool;
          result = BuildCopc(SourceOf(cloud), dir.File("job.copc.laz").string(), options);
      }).get();
    ASSERT_TRUE(result) << result.Failure().reason;
    ExpectValidCopc(dir.File("job.copc.laz"), cloud, 300);
}

// --- Failures leave nothing ----------------------------------------------------------------

TEST(CopcBuilder, CancellingLeavesNothingBehind)
{
    const Cloud cloud = RandomCloud(60000, 1, 5);
    for (const double at : {0.0, 0.5, 1.0}) {
        SCOPED_TRACE(at);
        ScratchDir dir;
        CopcBuildOptions options;
        options.memoryBytes = 1 << 20;  // spilled
        options.maxNodePoints = 1000;
        double last = -1;
        bool monotonic = true;
        // Stops at the first report at or past `at`: the very first one, one half-way, the last.
        options.progress = [&](double fraction) {
            monotonic = monotonic && fraction >= last && fraction <= 1.0;
            last = fraction;
            return at > 0.0 && fraction < at;
        };
        const std::size_t descriptors = OpenDescriptors();
        const WriteResult result = BuildCopc(SourceOf(cloud), dir.File("x.copc.laz").string(), options);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.Failure().code, WriteError::Cancelled);
        EXPECT_TRUE(monotonic);
        EXPECT_TRUE(FolderEntries(dir.Path()).empty());
        EXPECT_EQ(OpenDescriptors(), descriptors);
    }
}

TEST(CopcBuilder, BadSourcesFailWithTheirReasonAndNoFile)
{
    const Cloud good = RandomCloud(30000, 3, 9);
    Cloud zeroScale = good;
    zeroScale.format.scale[1] = 0;
    Cloud nanOffset = good;
    nanOffset.format.offset[0] = NAN;
    Cloud hugeOffset = good;
    hugeOffset.format.offset[2] = 1e308;
    hugeOffset.format.scale[2] = 1e305;
    Cloud empty = good;
    empty.records.clear();
    Cloud unknownFormat = good;
    unknownFormat.format.format = 11;
    struct Case {
        const char* what;
        const Cloud* cloud;
        SourceScript script;
        WriteError code;
    };
    const Case cases[] = {
        {"zero scale", &zeroScale, {}, WriteError::Refused},
        {"offset not a number", &nanOffset, {}, WriteError::Refused},
        {"coordinates beyond doubles", &hugeOffset, {}, WriteError::Refused},
        {"no points", &empty, {}, WriteError::Refused},
        {"format 11", &unknownFormat, {}, WriteError::Refused},
        {"fails in the first read", &good, {5000, 15000, 1}, WriteError::SourceFailed},
        {"fails in the second read", &good, {5000, 15000, 2}, WriteError::SourceFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        CopcBuildOptions options;
        options.memoryBytes = 1 << 20;
        const std::size_t descriptors = OpenDescriptors();
        const WriteResult result = BuildCopc(SourceOf(*c.cloud, c.script), dir.File("bad.copc.laz").string(), options);
        EXPECT_EQ(OpenDescriptors(), descriptors);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.Failure().code, c.code) << result.Failure().reason;
        EXPECT_FALSE(result.Failure().reason.empty());
        EXPECT_TRUE(FolderEntries(dir.Path()).empty());
    }
    ScratchDir dir;
    const WriteResult noFolder = BuildCopc(SourceOf(good), (dir.Path() / "missing" / "x.copc.laz").string(), {});
    ASSERT_FALSE(noFolder);
    EXPECT_EQ(noFolder.Failure().code, WriteError::CannotCreate);
}

}  // namespace
