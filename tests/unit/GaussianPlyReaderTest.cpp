#include "io/splat/SplatReader.h"
#include "io/ply/PlyFile.h"
#include "io/splat/GaussianPlyColumns.h"
#include "support/PlyBytes.h"
#include "support/RawBytes.h"
#include "support/ReadNoteLines.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::PlyBytes;
using testsupport::RawBytes;
using testsupport::ScratchDir;
using testsupport::TestDataFile;

constexpr float kC0 = 0.2820948f;
constexpr std::uint32_t kMinusOne = 4294967295u;

// A PLY file with one "vertex" element whose properties and records the test gives; values
// are converted to each property's type when written.
class VertexFile {
public:
    VertexFile& Property(std::string type, std::string name)
    {
        m_properties.emplace_back(std::move(type), std::move(name));
        return *this;
    }
    VertexFile& Floats(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            Property("float", name);
        return *this;
    }
    // x y z f_dc_0..2 opacity scale_0..2 rot_0..3, all float.
    VertexFile& Splat()
    {
        return Floats({"x", "y", "z", "f_dc_0", "f_dc_1", "f_dc_2", "opacity", "scale_0", "scale_1", "scale_2",
                       "rot_0", "rot_1", "rot_2", "rot_3"});
    }
    VertexFile& Record(std::vector<double> values)
    {
        m_records.push_back(std::move(values));
        return *this;
    }

    std::string Bytes(orrisk::ply::PlyEncoding encoding) const
    {
        static constexpr const char* kFormats[] = {"ascii", "binary_little_endian", "binary_big_endian"};
        PlyBytes bytes("ply\nformat " + std::string(kFormats[static_cast<int>(encoding)]) + " 1.0\nelement vertex " +
                       std::to_string(m_records.size()) + "\n");
        for (const auto& [type, name] : m_properties)
            bytes.Text("property " + type + " " + name + "\n");
        bytes.Text("end_header\n");
        for (const std::vector<double>& record : m_records) {
            for (std::size_t p = 0; p < m_properties.size(); ++p)
                WriteValue(bytes, m_properties[p].first, record.at(p), encoding);
            if (encoding == orrisk::ply::PlyEncoding::Ascii)
                bytes.Text("\n");
        }
        return bytes.Bytes();
    }

    std::string Write(const ScratchDir& dir, orrisk::ply::PlyEncoding encoding = orrisk::ply::PlyEncoding::LittleEndian) const
    {
        return dir.Write("vertices.ply", Bytes(encoding)).string();
    }

private:
    template <typename T>
    static void Put(PlyBytes& bytes, double value, orrisk::ply::PlyEncoding encoding)
    {
        if (encoding == orrisk::ply::PlyEncoding::Ascii) {
            char text[64];
            if constexpr (std::is_floating_point_v<T>)
                std::snprintf(text, sizeof text, "%.17g ", value);
            else
                std::snprintf(text, sizeof text, "%lld ", static_cast<long long>(value));
            bytes.Text(text);
        } else if (encoding == orrisk::ply::PlyEncoding::LittleEndian) {
            bytes.Le(static_cast<T>(value));
        } else {
            bytes.Be(static_cast<T>(value));
        }
    }
    static void WriteValue(PlyBytes& bytes, const std::string& type, double value, orrisk::ply::PlyEncoding encoding)
    {
        if (type == "float")
            Put<float>(bytes, value, encoding);
        else if (type == "double")
            Put<double>(bytes, value, encoding);
        else if (type == "uchar")
            Put<std::uint8_t>(bytes, value, encoding);
        else if (type == "char")
            Put<std::int8_t>(bytes, value, encoding);
        else if (type == "ushort")
            Put<std::uint16_t>(bytes, value, encoding);
        else if (type == "short")
            Put<std::int16_t>(bytes, value, encoding);
        else if (type == "uint")
            Put<std::uint32_t>(bytes, value, encoding);
        else
            Put<std::int32_t>(bytes, value, encoding);
    }

    std::vector<std::pair<std::string, std::string>> m_properties;
    std::vector<std::vector<double>> m_records;
};

struct Outcome {
    bool ok = false;
    GaussianData data;
    ReadError code = ReadError::Malformed;
    std::string reason;
    std::vector<std::string> notes;  // as the log shows them once the document writes them
};

Outcome Read(const std::string& path)
{
    Outcome result;
    ReadResult<GaussianData> read = ReadGaussianPly(path);
    result.notes = testsupport::NoteLines(read.Notes());
    result.ok = read.Ok();
    if (read) {
        result.data = read.TakeValue();
    } else {
        result.code = read.Failure().code;
        result.reason = read.Failure().reason;
    }
    return result;
}

// Same values bit for bit (so NaNs compare too).
void ExpectSameRecord(const GaussianData& a, const GaussianData& b)
{
    EXPECT_TRUE(RawBytes(a.positions) == RawBytes(b.positions)) << "positions";
    EXPECT_TRUE(RawBytes(a.shDc) == RawBytes(b.shDc)) << "shDc";
    EXPECT_TRUE(RawBytes(a.shRest) == RawBytes(b.shRest)) << "shRest";
    EXPECT_TRUE(RawBytes(a.opacities) == RawBytes(b.opacities)) << "opacities";
    EXPECT_TRUE(RawBytes(a.scales) == RawBytes(b.scales)) << "scales";
    EXPECT_TRUE(RawBytes(a.rotations) == RawBytes(b.rotations)) << "rotations";
    EXPECT_EQ(a.objectIds, b.objectIds);
    EXPECT_EQ(a.hasObjectIds, b.hasObjectIds);
    EXPECT_EQ(a.shRestCount, b.shRestCount);
    EXPECT_EQ(a.shDegree, b.shDegree);
    EXPECT_EQ(a.origin, b.origin);
    EXPECT_EQ(a.boundsMin, b.boundsMin);
    EXPECT_EQ(a.boundsMax, b.boundsMax);
    EXPECT_EQ(a.radius, b.radius);
}

// The scene the loading rules give, computed the plain way: the whole file read into a
// PlyFile, each property taken as a float array, each rule applied to it on its own.
GaussianData ReferenceScene(const std::string& path)
{
    const orrisk::ply::PlyFile ply(path);
    const orrisk::ply::PlyElement& vertex = ply.ElementNamed("vertex");
    auto floats = [&](const std::string& name) { return ReadPropertyAsFloat(vertex, name); };
    GaussianData data;
    const std::vector<float> xyz[3] = {floats("x"), floats("y"), floats("z")};
    const std::size_t n = xyz[0].size();
    for (int a = 0; a < 3; ++a) {
        data.origin[a] = xyz[a][0];
        for (float v : xyz[a])
            data.origin[a] = std::min<double>(data.origin[a], v);
    }
    std::vector<float> dc[3] = {floats("f_dc_0"), floats("f_dc_1"), floats("f_dc_2")};
    const bool fromRgb = dc[0].size() != n || dc[1].size() != n || dc[2].size() != n;
    if (fromRgb) {
        dc[0] = floats("red");
        dc[1] = floats("green");
        dc[2] = floats("blue");
    }
    std::vector<std::vector<float>> rest;
    while (vertex.ContainsProperty("f_rest_" + std::to_string(rest.size())))
        rest.push_back(floats("f_rest_" + std::to_string(rest.size())));
    const std::vector<float> opacity = floats("opacity");
    const std::vector<float> scale[3] = {floats("scale_0"), floats("scale_1"), floats("scale_2")};
    const std::vector<float> rot[4] = {floats("rot_0"), floats("rot_1"), floats("rot_2"), floats("rot_3")};
    for (std::size_t i = 0; i < n; ++i) {
        Eigen::Vector3f position;
        for (int a = 0; a < 3; ++a)
            position[a] = static_cast<float>(static_cast<double>(xyz[a][i]) - data.origin[a]);
        data.positions.push_back(position);
        Eigen::Vector3f color(dc[0][i], dc[1][i], dc[2][i]);
        if (fromRgb)
            for (float& c : color)
                c = (c / 255.0f - 0.5f) / kC0;
        data.shDc.push_back(color);
        for (const std::vector<float>& values : rest)
            data.shRest.push_back(values[i]);
        data.opacities.push_back(1.0f / (std::exp(-opacity[i]) + 1.0f));
        data.scales.emplace_back(std::exp(scale[0][i]), std::exp(scale[1][i]), std::exp(scale[2][i]));
        const Eigen::Vector4f q(rot[0][i], rot[1][i], rot[2][i], rot[3][i]);
        const float length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        data.rotations.push_back(length > 1e-8f ? Eigen::Vector4f(q / length) : Eigen::Vector4f(1, 0, 0, 0));
    }
    data.shRestCount = static_cast<std::int32_t>(rest.size());
    data.shDegree = ShDegreeForRestCount(data.shRestCount);
    for (const char* name : {"object_id", "obj_id", "segment_id"}) {
        if (vertex.ContainsProperty(name)) {
        {
            const std::vector<std::uint32_t> ids = ReadPropertyAsUInt32(vertex, name);
            data.objectIds.assign(ids.begin(), ids.end());
        }
            data.hasObjectIds = data.objectIds.size() == n;
            if (!data.hasObjectIds)
                data.objectIds.clear();
            break;
        }
    }
    data.ComputeBounds();
    return data;
}

}  // namespace

TEST(ReadPropertyAs, FloatReadingsFollowTheTypeOrder)
{
    ScratchDir dir;
    std::string text = "ply\nformat ascii 1.0\nelement vertex 2\n";
    for (const char* type : {"float", "double", "uchar", "char", "short", "int", "ushort", "uint"})
        text += std::string("property ") + type + " v_" + type + "\n";
    text += "property list uchar int v_list\nend_header\n";
    text += "-1.5 0.1 255 -1 -32768 -2147483647 65535 4294967295 0\n";
    text += "2.5 16777217 0 127 32767 16777217 0 0 2 7 8\n";
    const orrisk::ply::PlyFile ply(dir.Write("types.ply", text).string());
    const orrisk::ply::PlyElement& vertex = ply.ElementNamed("vertex");

    EXPECT_EQ(ReadPropertyAsFloat(vertex, "v_float"), (std::vector<float>{-1.5f, 2.5f}));
    EXPECT_EQ(ReadPropertyAsFloat(vertex, "v_double"), (std::vector<float>{0.1f, 16777216.0f}));  // rounded to nearest
    EXPECT_EQ(ReadPropertyAsFloat(vertex, "v_uchar"), (std::vector<float>{255.0f, 0.0f}));
    EXPECT_EQ(ReadPropertyAsFloat(vertex, "v_char"), (std::vector<float>{-1.0f, 127.0f}));
    EXPECT_EQ(ReadPropertyAsFloat(vertex, "v_short"), (std::vector<float>{-32768.0f, 32767.0f}));
    EXPECT_EQ(ReadPropertyAsFloat(vertex, "v_int"), (std::vector<float>{-2147483648.0f, 16777216.0f}));
    // Unsigned 16- and 32-bit values, lists and missing names read as nothing.
    EXPECT_TRUE(ReadPropertyAsFloat(vertex, "v_ushort").empty());
    EXPECT_TRUE(ReadPropertyAsFloat(vertex, "v_uint").empty());
    EXPECT_TRUE(ReadPropertyAsFloat(vertex, "v_list").empty());
    EXPECT_TRUE(ReadPropertyAsFloat(vertex, "missing").empty());
}

TEST(ReadPropertyAs, UInt32ReadingsKeepLowBitsAndTruncateFloats)
{
    ScratchDir dir;
    VertexFile file;
    for (const char* type : {"float", "double", "uchar", "char", "short", "ushort", "int", "uint"})
        file.Property(type, std::string("v_") + type);
    file.Record({1.9, 4294967301.0, 200, -1, -2, 65535, -2147483648.0, 4294967295.0})
        .Record({-1.9, -0.5, 0, 5, 300, 7, 12, 3})
        .Record({3.999, 1e300, 1, -128, -32768, 0, -1, 0});
    const orrisk::ply::PlyFile ply(file.Write(dir, orrisk::ply::PlyEncoding::BigEndian));
    const orrisk::ply::PlyElement& vertex = ply.ElementNamed("vertex");

    using V = std::vector<std::uint32_t>;
    EXPECT_EQ(ReadPropertyAsUInt32(vertex, "v_float"), (V{1, kMinusOne, 3}));
    // 2^32 + 5 keeps its low 32 bits; a value beyond the 64-bit range gives 0.
    EXPECT_EQ(ReadPropertyAsUInt32(vertex, "v_double"), (V{5, 0, 0}));
    EXPECT_EQ(ReadPropertyAsUInt32(vertex, "v_uchar"), (V{200, 0, 1}));
    EXPECT_EQ(ReadPropertyAsUInt32(vertex, "v_char"), (V{kMinusOne, 5, 4294967168u}));
    EXPECT_EQ(ReadPropertyAsUInt32(vertex, "v_short"), (V{4294967294u, 300, 4294934528u}));
    EXPECT_EQ(ReadPropertyAsUInt32(vertex, "v_ushort"), (V{65535, 7, 0}));
    EXPECT_EQ(ReadPropertyAsUInt32(vertex, "v_int"), (V{2147483648u, 12, kMinusOne}));
    EXPECT_EQ(ReadPropertyAsUInt32(vertex, "v_uint"), (V{kMinusOne, 3, 0}));
    EXPECT_TRUE(ReadPropertyAsUInt32(vertex, "missing").empty());
}

TEST(ReadPropertyAs, NanAndInfinityGiveZeroIds)
{
    ScratchDir dir;
    const auto nan = std::numeric_limits<double>::quiet_NaN();
    const auto inf = std::numeric_limits<double>::infinity();
    VertexFile file;
    file.Property("float", "f").Property("double", "d").Record({nan, inf}).Record({-inf, nan});
    const orrisk::ply::PlyFile ply(file.Write(dir));
    EXPECT_EQ(ReadPropertyAsUInt32(ply.ElementNamed("vertex"), "f"), (std::vector<std::uint32_t>{0, 0}));
    EXPECT_EQ(ReadPropertyAsUInt32(ply.ElementNamed("vertex"), "d"), (std::vector<std::uint32_t>{0, 0}));
}

TEST(ReadGaussianPly, ConvertsEachAttributeInEveryEncoding)
{
    ScratchDir dir;
    VertexFile file;
    file.Splat()
        .Record({10.5, -2, 100, 0.25, -0.5, 1, 0, 0, 1, -1, 0, 3, 0, 4})
        .Record({20.5, -3, 99, 1, 2, 3, 100, std::log(2.0), 0, 0, 2, 0, 0, 0})
        .Record({15, -1, 101, 0, 0, 0, -100, 0, 0, 0, 0, 0, 0, 0});
    GaussianData first;
    for (orrisk::ply::PlyEncoding encoding :
         {orrisk::ply::PlyEncoding::LittleEndian, orrisk::ply::PlyEncoding::BigEndian, orrisk::ply::PlyEncoding::Ascii}) {
        const Outcome result = Read(file.Write(dir, encoding));
        ASSERT_TRUE(result.ok);
        EXPECT_TRUE(result.notes.empty());
        const GaussianData& data = result.data;
        EXPECT_EQ(data.origin, Eigen::Vector3d(10.5, -3, 99));
        EXPECT_EQ(data.positions, (LargeArray<Eigen::Vector3f>{{0, 1, 1}, {10, 0, 0}, {4.5f, 2, 2}}));
        EXPECT_EQ(data.shDc[0], Eigen::Vector3f(0.25f, -0.5f, 1));
        EXPECT_EQ(data.opacities, (LargeArray<float>{0.5f, 1.0f, 1.0f / (std::exp(100.0f) + 1.0f)}));
        EXPECT_EQ(data.scales[0], Eigen::Vector3f(1, std::exp(1.0f), std::exp(-1.0f)));
        EXPECT_FLOAT_EQ(data.scales[1][0], 2.0f);
        EXPECT_EQ(data.rotations,
                  (LargeArray<Eigen::Vector4f>{{0, 0.6f, 0, 0.8f}, {1, 0, 0, 0}, {1, 0, 0, 0}}));
        EXPECT_TRUE(data.shRest.empty());
        EXPECT_EQ(data.shRestCount, 0);
        EXPECT_FALSE(data.hasObjectIds);
        if (encoding == orrisk::ply::PlyEncoding::LittleEndian)
            first = data;
        else
            ExpectSameRecord(data, first);
    }
}

TEST(ReadGaussianPly, RotationAndOpacityEdges)
{
    ScratchDir dir;
    VertexFile file;
    file.Splat()
        .Record({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1e-9, 0, 0, 0})  // below 1e-8: identity
        .Record({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1e-7, 0, 0})  // above: normalised
        .Record({0, 0, 0, 0, 0, 0, -90, 100, -104, 88, -1, 0, 0, 0})
        .Record({0, 0, 0, 0, 0, 0, 1e30, 0, 0, 0, 0.5, 0.5, 0.5, 0.5});
    const Outcome result = Read(file.Write(dir));
    ASSERT_TRUE(result.ok);
    const GaussianData& data = result.data;
    EXPECT_EQ(data.rotations[0], Eigen::Vector4f(1, 0, 0, 0));
    EXPECT_EQ(data.rotations[1], Eigen::Vector4f(0, 1, 0, 0));
    EXPECT_EQ(data.rotations[2], Eigen::Vector4f(-1, 0, 0, 0));  // the sign is kept
    EXPECT_EQ(data.rotations[3], Eigen::Vector4f(0.5f, 0.5f, 0.5f, 0.5f));
    EXPECT_EQ(data.opacities[2], 0.0f);  // e^90 overflows float
    EXPECT_EQ(data.opacities[3], 1.0f);
    EXPECT_EQ(data.scales[2][0], std::numeric_limits<float>::infinity());
    EXPECT_EQ(data.scales[2][1], 0.0f);  // underflows
    EXPECT_TRUE(std::isfinite(data.scales[2][2]));
}

TEST(ReadGaussianPly, ColoursFromRedGreenBlueWhenTheDcTripleIsUnusable)
{
    ScratchDir dir;
    for (const char* type : {"uchar", "float", "int"}) {
        VertexFile file;
        file.Splat().Property(type, "red").Property(type, "green").Property(type, "blue");
        file.Record({0, 0, 0, 9, 9, 9, 0, 0, 0, 0, 1, 0, 0, 0, 255, 0, 51});
        // The triple is unusable when one of its three is missing.
        std::string bytes = file.Bytes(orrisk::ply::PlyEncoding::LittleEndian);
        bytes.replace(bytes.find("f_dc_2"), 6, "f_dc_x");
        const Outcome result = Read(dir.Write("rgb.ply", bytes).string());
        ASSERT_TRUE(result.ok) << type;
        EXPECT_EQ(result.data.shDc[0],
                  Eigen::Vector3f(0.5f / kC0, -0.5f / kC0, (51.0f / 255.0f - 0.5f) / kC0)) << type;
    }
}

TEST(ReadGaussianPly, RestCoefficientsAreCountedFromZeroAndStoredSplatBySplat)
{
    ScratchDir dir;
    const std::pair<int, int> degreeForCount[] = {{0, 0}, {3, 0}, {9, 1}, {10, 1}, {12, 0}, {24, 2}, {45, 3}};
    for (const auto& [count, degree] : degreeForCount) {
        VertexFile file;
        file.Splat();
        for (int j = 0; j < count; ++j)
            file.Property(j % 2 ? "float" : "double", "f_rest_" + std::to_string(j));
        for (int i = 0; i < 2; ++i) {
            std::vector<double> record = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
            for (int j = 0; j < count; ++j)
                record.push_back(100 * i + j);
            file.Record(record);
        }
        const Outcome result = Read(file.Write(dir));
        ASSERT_TRUE(result.ok) << count;
        EXPECT_EQ(result.data.shRestCount, count);
        EXPECT_EQ(result.data.shDegree, degree) << count;
        ASSERT_EQ(result.data.shRest.size(), 2u * static_cast<std::size_t>(count));
        for (int j = 0; j < count; ++j) {
            EXPECT_EQ(result.data.shRest[static_cast<std::size_t>(j)], j);
            EXPECT_EQ(result.data.shRest[static_cast<std::size_t>(count + j)], 100 + j);
        }
    }
}

TEST(ReadGaussianPly, SegmentIdsFromTheFirstIdPropertyElseTheLargestMask)
{
    ScratchDir dir;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto splatWith = [&](std::vector<std::pair<const char*, const char*>> extra,
                         std::vector<std::vector<double>> values) {
        VertexFile file;
        file.Splat();
        for (const auto& [type, name] : extra)
            file.Property(type, name);
        for (std::vector<double>& tail : values) {
            std::vector<double> record = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
            record.insert(record.end(), tail.begin(), tail.end());
            file.Record(record);
        }
        return Read(file.Write(dir));
    };

    Outcome ids = splatWith({{"short", "segment_id"}, {"int", "obj_id"}, {"float", "mask_0"}},
                               {{9, -1, 5}, {9, 7, 5}});
    EXPECT_TRUE(ids.data.hasObjectIds);
    EXPECT_EQ(ids.data.objectIds, (LargeArray<std::uint32_t>{kMinusOne, 7}));
    EXPECT_TRUE(ids.notes.empty());

    Outcome masks = splatWith({{"float", "mask_0"}, {"uchar", "mask_1"}, {"double", "mask_2"}},
                                 {{0.2, 0, 0.7}, {1, 1, 1}, {nan, 0, -1}, {-1, 0, nan}, {0, 0, 0.5}});
    EXPECT_TRUE(masks.data.hasObjectIds);
    EXPECT_EQ(masks.data.objectIds, (LargeArray<std::uint32_t>{2, 0, 1, 1, 2}));
    EXPECT_EQ(masks.notes, std::vector<std::string>{"[CGaussianPlyLoader] segmentation from 3 masks (argmax)."});

    // Masks are counted from mask_0 on without gaps.
    Outcome gap = splatWith({{"float", "mask_0"}, {"float", "mask_2"}}, {{0, 5}});
    EXPECT_EQ(gap.data.objectIds, LargeArray<std::uint32_t>{0});
    EXPECT_EQ(gap.notes, std::vector<std::string>{"[CGaussianPlyLoader] segmentation from 1 masks (argmax)."});
    EXPECT_FALSE(splatWith({{"float", "mask_1"}}, {{1}}).data.hasObjectIds);

    Outcome badSecond = splatWith({{"float", "mask_0"}, {"ushort", "mask_1"}}, {{1, 2}});
    EXPECT_TRUE(badSecond.ok);
    EXPECT_FALSE(badSecond.data.hasObjectIds);
    EXPECT_TRUE(badSecond.data.objectIds.empty());
    EXPECT_EQ(badSecond.notes, std::vector<std::string>{"[CGaussianPlyLoader] mask_* size mismatch; ignored."});

    // An unreadable first mask leaves nothing collected: no ids and no line.
    Outcome badFirst = splatWith({{"uint", "mask_0"}, {"float", "mask_1"}}, {{1, 2}});
    EXPECT_TRUE(badFirst.ok);
    EXPECT_FALSE(badFirst.data.hasObjectIds);
    EXPECT_TRUE(badFirst.notes.empty());
}

TEST(ReadGaussianPly, NotesOneLineAndGivesTheReasonForEachFailure)
{
    ScratchDir dir;
    struct Case {
        const char* rename;  // a property renamed so that it is missing
        const char* retype;  // or a property stored as ushort, which has no float reading
        const char* line;
    };
    const Case cases[] = {
        {"x", nullptr, "[CGaussianPlyLoader] failed to read x/y/z."},
        {nullptr, "z", "[CGaussianPlyLoader] failed to read x/y/z."},
        {"f_dc_1", nullptr, "[CGaussianPlyLoader] no f_dc_* or red/green/blue."},
        {nullptr, "f_rest_1", "[CGaussianPlyLoader] f_rest_* size mismatch."},
        {"opacity", nullptr, "[CGaussianPlyLoader] failed to read opacity."},
        {nullptr, "opacity", "[CGaussianPlyLoader] failed to read opacity."},
        {"scale_2", nullptr, "[CGaussianPlyLoader] failed to read scale_*."},
        {nullptr, "rot_3", "[CGaussianPlyLoader] failed to read rot_*."},
    };
    for (const Case& c : cases) {
        VertexFile file;
        for (const char* name : {"x", "y", "z", "f_dc_0", "f_dc_1", "f_dc_2", "f_rest_0", "f_rest_1", "opacity",
                                 "scale_0", "scale_1", "scale_2", "rot_0", "rot_1", "rot_2", "rot_3"}) {
            const bool renamed = c.rename && std::string(name) == c.rename;
            const bool retyped = c.retype && std::string(name) == c.retype;
            file.Property(retyped ? "ushort" : "float", renamed ? std::string(name) + "_gone" : name);
        }
        file.Record(std::vector<double>(16, 1.0));
        const Outcome result = Read(file.Write(dir));
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.notes, std::vector<std::string>{c.line});
        EXPECT_EQ(result.code, ReadError::Malformed);
        // The reason is the note's text, named for the format.
        const std::string text = std::string(c.line).substr(std::string("[CGaussianPlyLoader] ").size());
        EXPECT_EQ(result.reason, "Gaussian splat PLY: " + text.substr(0, text.size() - 1));
    }

    // Colours present but unreadable.
    VertexFile rgb;
    rgb.Floats({"x", "y", "z", "opacity", "scale_0", "scale_1", "scale_2", "rot_0", "rot_1", "rot_2", "rot_3"})
        .Property("ushort", "red")
        .Property("ushort", "green")
        .Property("ushort", "blue")
        .Record(std::vector<double>(14, 1.0));
    EXPECT_EQ(Read(rgb.Write(dir)).notes, std::vector<std::string>{"[CGaussianPlyLoader] failed to read base color."});

    VertexFile empty;
    empty.Splat();
    EXPECT_EQ(Read(empty.Write(dir)).notes, std::vector<std::string>{"[CGaussianPlyLoader] failed to read x/y/z."});
}

TEST(ReadGaussianPly, ReaderErrorsBecomeExceptionLines)
{
    ScratchDir dir;
    const std::string missing = dir.File("missing.ply").string();
    Outcome result = Read(missing);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.notes,
              std::vector<std::string>{"[CGaussianPlyLoader] exception: PLY parser: Could not open file " + missing});
    EXPECT_EQ(result.reason, "PLY parser: Could not open file " + missing);

    result = Read(dir.Write("other.ply", "ply\nformat ascii 1.0\nelement splat 1\nproperty float x\nend_header\n1\n")
                      .string());
    EXPECT_EQ(result.notes, std::vector<std::string>{"[CGaussianPlyLoader] no 'vertex' element."});
    EXPECT_EQ(result.reason, "Gaussian splat PLY: no 'vertex' element");

    // A body shorter than the header says fails before anything is converted.
    VertexFile file;
    file.Splat().Record(std::vector<double>(14, 1.0)).Record(std::vector<double>(14, 1.0));
    std::string bytes = file.Bytes(orrisk::ply::PlyEncoding::LittleEndian);
    bytes.resize(bytes.size() - 3);
    result = Read(dir.Write("short.ply", bytes).string());
    EXPECT_FALSE(result.ok);
    ASSERT_EQ(result.notes.size(), 1u);
    EXPECT_EQ(result.notes[0].rfind("[CGaussianPlyLoader] exception: PLY parser: ", 0), 0u) << result.notes[0];
    EXPECT_EQ(result.code, ReadError::Truncated);
}

TEST(ReadGaussianPly, CorpusScenesMatchThePlainReading)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* name :
         {"donut_fused.ply", "splat_sh0.ply", "splat_sh1.ply", "splat_sh2.ply", "splat_sh3.ply", "splat_sh1_le.ply",
          "splat_sh1_be.ply", "splat_sh1_ascii.ply", "splat_crlf_header.ply", "splat_named_as.las",
          "f_rest_10.ply", "f_rest_12.ply", "f_rest_gap.ply", "fdc_double.ply", "color_fdc_incomplete_rgb_255.ply",
          "color_from_rgb_float.ply", "color_from_rgb_uchar.ply", "keys_in_other_element.ply",
          "positions_double_large.ply", "positions_x_10_5_to_20_5.ply", "rotation_opacity_scale_edges.ply",
          "single_splat_degenerate.ply", "single_splat_inf_scale.ply", "sniff_300_lines_inside.ply",
          "sniff_rot0_on_line_301.ply", "ids_obj_id.ply", "ids_obj_id_and_segment_id.ply",
          "ids_object_id_char.ply", "ids_object_id_double.ply", "ids_object_id_float.ply",
          "ids_object_id_float_truncation.ply", "ids_object_id_int.ply", "ids_object_id_short.ply",
          "ids_object_id_uchar.ply", "ids_object_id_uint.ply", "ids_object_id_ushort.ply", "ids_segment_id.ply",
          "masks_with_object_id.ply"}) {
        SCOPED_TRACE(name);
        const std::string path = TestDataFile(std::string("splat/") + name).string();
        const Outcome result = Read(path);
        ASSERT_TRUE(result.ok);
        EXPECT_TRUE(result.notes.empty());
        ExpectSameRecord(result.data, ReferenceScene(path));
    }
}

TEST(ReadGaussianPly, CorpusValuesNamedByTheCorpus)
{
    ORRISK_REQUIRE_TESTDATA();
    auto load = [](const char* name) { return Read(TestDataFile(std::string("splat/") + name).string()); };

    const Outcome donut = load("donut_fused.ply");
    EXPECT_EQ(donut.data.positions.size(), 45624u);
    EXPECT_EQ(donut.data.shDegree, 0);
    for (const Eigen::Vector4f& q : donut.data.rotations)
        ASSERT_NEAR(q.norm(), 1.0f, 1e-6f);
    for (float opacity : donut.data.opacities)
        ASSERT_TRUE(opacity >= 0.0f && opacity <= 1.0f);

    EXPECT_EQ(load("splat_sh3.ply").data.shDegree, 3);
    EXPECT_EQ(load("f_rest_10.ply").data.shDegree, 1);
    EXPECT_EQ(load("f_rest_12.ply").data.shDegree, 0);
    EXPECT_EQ(load("f_rest_gap.ply").data.shRestCount, 2);
    EXPECT_EQ(load("keys_in_other_element.ply").data.positions.size(), 8u);

    const Outcome shifted = load("positions_x_10_5_to_20_5.ply");
    EXPECT_EQ(shifted.data.origin.x(), 10.5);
    EXPECT_EQ(shifted.data.boundsMin.x() <= 0.0f, true);
    float maxX = 0;
    for (const Eigen::Vector3f& p : shifted.data.positions)
        maxX = std::max(maxX, p.x());
    EXPECT_EQ(maxX, 10.0f);

    for (const Eigen::Vector3f& dc : load("color_fdc_incomplete_rgb_255.ply").data.shDc)
        EXPECT_EQ(dc, Eigen::Vector3f::Constant(0.5f / kC0));

    const GaussianData edges = load("rotation_opacity_scale_edges.ply").data;
    EXPECT_EQ(edges.rotations[0], Eigen::Vector4f(1, 0, 0, 0));
    EXPECT_EQ(edges.rotations[1], Eigen::Vector4f(1, 0, 0, 0));
    EXPECT_EQ(edges.rotations[2], Eigen::Vector4f(0, 0.6f, 0, 0.8f));

    const GaussianData inf = load("single_splat_inf_scale.ply").data;
    EXPECT_EQ(inf.boundsMin, inf.positions[0]);
    EXPECT_EQ(inf.boundsMax, inf.positions[0]);
    EXPECT_EQ(inf.radius, 1.0f);
    EXPECT_EQ(load("single_splat_degenerate.ply").data.rotations[0], Eigen::Vector4f(1, 0, 0, 0));

    const LargeArray<std::uint32_t> truncated = load("ids_object_id_float_truncation.ply").data.objectIds;
    EXPECT_EQ(std::vector<std::uint32_t>(truncated.begin(), truncated.begin() + 6),
              (std::vector<std::uint32_t>{1, kMinusOne, 3, 0, 7, 0}));
    for (const char* name : {"ids_object_id_char.ply", "ids_object_id_short.ply", "ids_object_id_int.ply"}) {
        const LargeArray<std::uint32_t> ids = load(name).data.objectIds;
        EXPECT_NE(std::find(ids.begin(), ids.end(), kMinusOne), ids.end()) << name;
    }
    for (std::uint32_t id : load("ids_obj_id_and_segment_id.ply").data.objectIds)
        EXPECT_NE(id, 9u);

    const Outcome masks = load("masks_3.ply");
    EXPECT_EQ(masks.notes, std::vector<std::string>{"[CGaussianPlyLoader] segmentation from 3 masks (argmax)."});
    EXPECT_EQ(std::vector<std::uint32_t>(masks.data.objectIds.begin(), masks.data.objectIds.begin() + 3),
              (std::vector<std::uint32_t>{1, 0, 0}));
    for (std::uint32_t id : load("masks_gap.ply").data.objectIds)
        EXPECT_EQ(id, 0u);
    EXPECT_TRUE(load("masks_uchar_int.ply").data.hasObjectIds);
}

TEST(ReadGaussianPly, CorpusFailuresAndWarnings)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::pair<const char*, const char*> cases[] = {
        {"color_from_rgb_ushort_fails.ply", "[CGaussianPlyLoader] failed to read base color."},
        {"color_none_fails.ply", "[CGaussianPlyLoader] no f_dc_* or red/green/blue."},
        {"f_rest_unreadable_fails.ply", "[CGaussianPlyLoader] f_rest_* size mismatch."},
        {"keys_only_in_other_element.ply", "[CGaussianPlyLoader] no f_dc_* or red/green/blue."},
        {"no_vertex_element_fails.ply", "[CGaussianPlyLoader] no 'vertex' element."},
        {"pointcloud_with_splat_keys_in_comment.ply", "[CGaussianPlyLoader] failed to read opacity."},
        {"rot_missing_fails.ply", "[CGaussianPlyLoader] failed to read rot_*."},
        {"scale_unreadable_fails.ply", "[CGaussianPlyLoader] failed to read scale_*."},
        {"sniff_yes_opacity_missing.ply", "[CGaussianPlyLoader] failed to read opacity."},
        {"x_unreadable_fails.ply", "[CGaussianPlyLoader] failed to read x/y/z."},
        {"zero_splats_fails.ply", "[CGaussianPlyLoader] failed to read x/y/z."},
    };
    for (const auto& [name, line] : cases) {
        const Outcome result = Read(TestDataFile(std::string("splat/") + name).string());
        EXPECT_FALSE(result.ok) << name;
        EXPECT_EQ(result.notes, std::vector<std::string>{line}) << name;
    }
    // Files the PLY parser turns away: one note, and the failure the parser's error means.
    const std::pair<const char*, ReadError> parserFailures[] = {
        {"sniff_yes_bad_type_fails.ply", ReadError::Malformed},
        {"truncated_body.ply", ReadError::Truncated},
        {"splat_first_line_ply_extra.ply", ReadError::Malformed},
    };
    for (const auto& [name, code] : parserFailures) {
        const Outcome result = Read(TestDataFile(std::string("splat/") + name).string());
        EXPECT_FALSE(result.ok) << name;
        EXPECT_EQ(result.code, code) << name;
        ASSERT_EQ(result.notes.size(), 1u) << name;
        EXPECT_EQ(result.notes[0], "[CGaussianPlyLoader] exception: " + result.reason) << name;
    }
    const Outcome half = Read(TestDataFile("splat/sniff_yes_bad_type_fails.ply").string());
    EXPECT_EQ(half.reason.rfind("Data type: half", 0), 0u) << half.reason;

    const std::pair<const char*, std::vector<std::string>> warnings[] = {
        {"ids_object_id_list.ply", {"[CGaussianPlyLoader] object_id size mismatch; ignored."}},
        {"masks_unreadable_second.ply", {"[CGaussianPlyLoader] mask_* size mismatch; ignored."}},
        {"masks_unreadable_first.ply", {}},
    };
    for (const auto& [name, notes] : warnings) {
        const Outcome result = Read(TestDataFile(std::string("splat/") + name).string());
        EXPECT_TRUE(result.ok) << name;
        EXPECT_FALSE(result.data.hasObjectIds) << name;
        EXPECT_EQ(result.notes, notes) << name;
    }
}
