#include "io/ply/PlyReader.h"
#include "io/ply/PlyFile.h"
#include "support/PlyBytes.h"
#include "support/ReadNoteLines.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

using testsupport::PlyBytes;

namespace {

struct Outcome {
    bool ok = false;
    std::string notes;  // as the log shows them once the document writes them
    PointCloudData cloud;
    ReadError code = ReadError::Malformed;
    std::string reason;
};

Outcome Read(const std::filesystem::path& path)
{
    Outcome result;
    ReadResult<PointCloudData> read = ReadPly(path.string());
    result.ok = read.Ok();
    if (read) {
        result.cloud = read.TakeValue();
    } else {
        result.code = read.Failure().code;
        result.reason = read.Failure().reason;
    }
    result.notes = testsupport::NoteText(read.Notes());
    return result;
}

Outcome ReadBytes(std::string_view bytes)
{
    testsupport::ScratchDir dir;
    return Read(dir.Write("cloud.ply", bytes));
}

Outcome ReadCorpus(const std::string& name)
{
    return Read(testsupport::TestDataFile("ply/" + name));
}

// A little-endian cloud of float x/y/z (x = 0, 1, 2, ...) with extra properties whose
// values the caller writes per record.
std::string CloudWith(int points, const std::string& properties, const std::vector<std::string>& asciiRecords)
{
    std::string text = "ply\nformat ascii 1.0\nelement vertex " + std::to_string(points) +
                       "\nproperty float x\nproperty float y\nproperty float z\n" + properties + "end_header\n";
    for (int i = 0; i < points; ++i)
        text += std::to_string(i) + " 0 0 " + asciiRecords.at(static_cast<std::size_t>(i)) + "\n";
    return text;
}

float Scaled(double value, double scale)
{
    return static_cast<float>(value * scale);
}

void ExpectSameCloud(const PointCloudData& a, const PointCloudData& b, const std::string& what)
{
    EXPECT_EQ(a.positions, b.positions) << what;
    EXPECT_EQ(a.colors, b.colors) << what;
    EXPECT_EQ(a.hasColors, b.hasColors) << what;
    EXPECT_EQ(a.origin, b.origin) << what;
    EXPECT_EQ(a.boundsMin, b.boundsMin) << what;
    EXPECT_EQ(a.boundsMax, b.boundsMax) << what;
    EXPECT_EQ(a.radius, b.radius) << what;
}

// The loading rules written out plainly on whole double arrays, to check the reader's
// single-pass conversion against.
bool ReferenceRead(const std::string& path, PointCloudData& cloud)
{
    cloud.Clear();
    const orrisk::ply::PlyFile ply(path);
    const orrisk::ply::PlyElement& vertex = ply.ElementNamed("vertex");
    const std::vector<double> xs = ReadPropertyAsDouble(vertex, "x");
    const std::vector<double> ys = ReadPropertyAsDouble(vertex, "y");
    const std::vector<double> zs = ReadPropertyAsDouble(vertex, "z");
    if (xs.empty() || ys.size() != xs.size() || zs.size() != xs.size())
        return false;
    const std::vector<double>* axes[3] = {&xs, &ys, &zs};
    for (int a = 0; a < 3; ++a) {
        double minimum = axes[a]->front();
        for (double v : *axes[a])
            if (v < minimum)
                minimum = v;
        cloud.origin[a] = minimum;
    }
    for (std::size_t i = 0; i < xs.size(); ++i)
        cloud.positions.emplace_back(static_cast<float>(xs[i] - cloud.origin.x()),
                                     static_cast<float>(ys[i] - cloud.origin.y()),
                                     static_cast<float>(zs[i] - cloud.origin.z()));
    const char* families[3][4] = {{"red", "green", "blue", "alpha"},
                                  {"r", "g", "b", "a"},
                                  {"diffuse_red", "diffuse_green", "diffuse_blue", "diffuse_alpha"}};
    for (const auto& family : families) {
        if (!vertex.ContainsProperty(family[0]) || !vertex.ContainsProperty(family[1]) ||
            !vertex.ContainsProperty(family[2]))
            continue;
        std::vector<double> channel[4];
        for (int c = 0; c < 4; ++c)
            channel[c] = ReadPropertyAsDouble(vertex, family[c]);
        if (channel[0].size() == xs.size() && channel[1].size() == xs.size() && channel[2].size() == xs.size()) {
            double maxChannel = 0.0;
            for (int c = 0; c < 3; ++c)
                for (double v : channel[c])
                    if (v > maxChannel)
                        maxChannel = v;
            const double scale = maxChannel <= 1.001 ? 1.0 : maxChannel <= 256 ? 0.00392156862745098 : 1.0 / maxChannel;
            for (std::size_t i = 0; i < xs.size(); ++i)
                cloud.colors.emplace_back(
                    static_cast<float>(channel[0][i] * scale), static_cast<float>(channel[1][i] * scale),
                    static_cast<float>(channel[2][i] * scale),
                    channel[3].size() == xs.size() ? static_cast<float>(std::min(channel[3][i] * scale, 1.0)) : 1.0f);
            cloud.hasColors = true;
        }
        break;
    }
    cloud.ComputeBounds();
    return true;
}

// Equal, or both NaN.
bool SameFloat(float a, float b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

template <typename Vector>
bool SameVectors(const LargeArray<Vector>& a, const LargeArray<Vector>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int c = 0; c < a[i].size(); ++c)
            if (!SameFloat(a[i][c], b[i][c]))
                return false;
    return true;
}

// The reader's cloud equals the one the plainly written rules give.
void ExpectMatchesReference(const std::filesystem::path& path)
{
    const Outcome loaded = Read(path);
    PointCloudData reference;
    ASSERT_TRUE(ReferenceRead(path.string(), reference));
    const std::string name = path.filename().string();
    EXPECT_TRUE(SameVectors(loaded.cloud.positions, reference.positions)) << name;
    EXPECT_TRUE(SameVectors(loaded.cloud.colors, reference.colors)) << name;
    EXPECT_EQ(loaded.cloud.hasColors, reference.hasColors) << name;
    for (int a = 0; a < 3; ++a) {
        EXPECT_TRUE(loaded.cloud.origin[a] == reference.origin[a] ||
                    (std::isnan(loaded.cloud.origin[a]) && std::isnan(reference.origin[a])))
            << name;
        EXPECT_TRUE(SameFloat(loaded.cloud.boundsMin[a], reference.boundsMin[a])) << name;
        EXPECT_TRUE(SameFloat(loaded.cloud.boundsMax[a], reference.boundsMax[a])) << name;
    }
}

const std::string kXyzMessage = "[CPlyLoader] failed to read x/y/z properties.\n";
const std::string kNoVertex = "[CPlyLoader] no 'vertex' element.\n";
const std::string kException = "[CPlyLoader] exception: ";

}  // namespace

TEST(PlyReader, EveryCorpusFileReadsOrFailsAsDocumented)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::map<std::string, std::string> failures = {
        {"ascii_crlf_blank_line.ply", kException + "PLY parser: too few values in an ASCII record for property x\n"},
        {"ascii_too_few_tokens.ply", kException + "PLY parser: too few values in an ASCII record for property z\n"},
        {"ascii_truncated_body.ply", kException + "PLY parser: unexpected end of file in element vertex\n"},
        {"binary_truncated_body_le.ply", kException + "PLY parser: unexpected end of file in element vertex\n"},
        {"binary_truncated_mid_value_be.ply", kException + "PLY parser: unexpected end of file in element vertex\n"},
        {"header_no_end_header_no_newline.ply", kException + "PLY parser: unexpected end of file in element vertex\n"},
        {"header_no_end_header_newline.ply", kXyzMessage},
        {"err_blank_header_line.ply", kException + "Unrecognized header line: \n"},
        {"err_count_not_number.ply", kXyzMessage},
        {"err_element_line.ply", kException + "PLY parser: Invalid element line\n"},
        {"err_empty_file.ply",
         kException + "PLY parser: File does not appear to be ply file. First line should be 'ply'\n"},
        {"err_first_line_caps.ply",
         kException + "PLY parser: File does not appear to be ply file. First line should be 'ply'\n"},
        {"err_first_line_extra_text.ply",
         kException + "PLY parser: File does not appear to be ply file. First line should be 'ply'\n"},
        {"err_format_keyword.ply", kException + "PLY parser: bad format line\n"},
        {"err_format_two_tokens.ply", kException + "PLY parser: bad format line\n"},
        {"err_format_unknown_encoding.ply", kException + "PLY parser: bad format line\n"},
        {"err_list_count_type_float.ply", kException + "Unrecognized list count type: float\n"},
        {"err_list_value_type_half.ply", kException + "Data type: half cannot be mapped to .ply format\n"},
        {"err_missing_z.ply", kXyzMessage},
        {"err_no_vertex_element.ply", kNoVertex},
        {"err_only_ply_line.ply", kException + "PLY parser: bad format line\n"},
        {"err_property_list_line.ply", kException + "PLY parser: Invalid property list line\n"},
        {"err_property_list_without_element.ply",
         kException + "PLY parser: Found property list without previous element\n"},
        {"err_property_tab.ply", kException + "PLY parser: Invalid property line\n"},
        {"err_property_without_element.ply", kException + "PLY parser: Found property without previous element\n"},
        {"err_type_capitalised.ply", kException + "Data type: Float cannot be mapped to .ply format\n"},
        {"err_type_uint64.ply", kException + "Data type: uint64 cannot be mapped to .ply format\n"},
        {"err_unknown_header_line.ply", kException + "Unrecognized header line: vertex_count 1\n"},
        {"err_unknown_header_line_crlf.ply", kException + "Unrecognized header line: bogus\r\n"},
        {"err_version_1_1.ply",
         kException + "PLY parser: encountered file with version != 1.0. Don't know how to parse that\n"},
        {"err_vertex_capitalised.ply", kNoVertex},
        {"err_x_is_list.ply", kXyzMessage},
        {"err_zero_vertices.ply", kXyzMessage},
        {"pdal_no_vertex.ply", kNoVertex},
        {"pdal_sized_dims.ply", kXyzMessage},
        {"pdal_unsized_dims.ply", kXyzMessage},
    };
    std::size_t seenFailures = 0;
    for (const auto& entry : std::filesystem::directory_iterator(testsupport::TestDataFile("ply"))) {
        if (!entry.is_regular_file())
            continue;
        const std::string name = entry.path().filename().string();
        const Outcome result = Read(entry.path());
        const auto failure = failures.find(name);
        if (failure == failures.end()) {
            EXPECT_TRUE(result.ok) << name << ": " << result.notes;
            EXPECT_EQ(result.notes, "") << name;
            EXPECT_FALSE(result.cloud.positions.empty()) << name;
            EXPECT_EQ(result.cloud.hasColors, !result.cloud.colors.empty()) << name;
            if (result.cloud.hasColors) {
                EXPECT_EQ(result.cloud.colors.size(), result.cloud.positions.size()) << name;
            }
        } else {
            ++seenFailures;
            EXPECT_FALSE(result.ok) << name;
            EXPECT_EQ(result.notes, failure->second) << name;
            EXPECT_TRUE(result.cloud.positions.empty()) << name;
        }
    }
    EXPECT_EQ(seenFailures, failures.size());
}

TEST(PlyReader, EveryCorpusCloudMatchesThePlainlyWrittenRules)
{
    ORRISK_REQUIRE_TESTDATA();
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(testsupport::TestDataFile("ply"))) {
        if (entry.is_regular_file() && Read(entry.path()).ok) {
            ExpectMatchesReference(entry.path());
            ++compared;
        }
    }
    EXPECT_GT(compared, 80);
}

TEST(PlyReader, LargeCloudsReadTheSameInEveryEncodingAndFollowTheRules)
{
    // Enough points to span many read blocks and pieces, with an element before and after
    // the vertices, every kind of colour type and NaNs scattered through x (including, in
    // one variant, the first point).
    constexpr int kPoints = 70001;
    testsupport::ScratchDir dir;
    for (const bool nanFirst : {false, true}) {
        const std::string header = "element before 3\nproperty int a\nproperty double b\n"
                                   "element vertex " + std::to_string(kPoints) +
                                   "\nproperty float x\nproperty double y\nproperty int z\nproperty uchar red\n"
                                   "property ushort green\nproperty char blue\nproperty float alpha\n"
                                   "element after 2\nproperty short c\nend_header\n";
        PlyBytes le("ply\nformat binary_little_endian 1.0\n" + header);
        PlyBytes be("ply\nformat binary_big_endian 1.0\n" + header);
        for (int i = 0; i < 3; ++i) {
            le.Le(i).Le(i * 0.5);
            be.Be(i).Be(i * 0.5);
        }
        for (int i = 0; i < kPoints; ++i) {
            const bool nan = (nanFirst && i == 0) || i % 4099 == 17;
            const float x = nan ? std::numeric_limits<float>::quiet_NaN() : static_cast<float>((i * 37) % 1000) * 0.25f - 100.0f;
            const double y = 4.5e6 + (i % 5000) * 0.001;
            const int z = (i * 7919) % 20001 - 10000;
            const auto red = static_cast<std::uint8_t>(i * 3);
            const auto green = static_cast<std::uint16_t>((i * 11) % 1001);
            const auto blue = static_cast<std::int8_t>(i % 200 - 100);
            const float alpha = static_cast<float>(i % 1500);
            le.Le(x).Le(y).Le(z).Le(red).Le(green).Le(blue).Le(alpha);
            be.Be(x).Be(y).Be(z).Be(red).Be(green).Be(blue).Be(alpha);
        }
        le.Le<std::int16_t>(1).Le<std::int16_t>(2);
        be.Be<std::int16_t>(1).Be<std::int16_t>(2);

        const auto lePath = dir.Write("le.ply", le);
        const Outcome little = Read(lePath);
        ASSERT_TRUE(little.ok) << little.notes;
        ASSERT_EQ(little.cloud.positions.size(), static_cast<std::size_t>(kPoints));
        EXPECT_EQ(std::isnan(little.cloud.origin.x()), nanFirst);
        EXPECT_EQ(little.cloud.origin.z(), -10000.0);
        ExpectMatchesReference(lePath);
        const Outcome big = Read(dir.Write("be.ply", be));
        EXPECT_TRUE(SameVectors(little.cloud.positions, big.cloud.positions));
        EXPECT_TRUE(SameVectors(little.cloud.colors, big.cloud.colors));

        // Without NaNs (which an ASCII body cannot hold) the ASCII form gives the same too.
        if (!nanFirst) {
            const orrisk::ply::PlyFile stored(lePath.string());
            const Outcome ascii = Read(dir.Write("ascii.ply", testsupport::WritePly(stored, orrisk::ply::PlyEncoding::Ascii)));
            ASSERT_TRUE(ascii.ok) << ascii.notes;
            EXPECT_TRUE(SameVectors(little.cloud.colors, ascii.cloud.colors));
            for (std::size_t i = 0; i < ascii.cloud.positions.size(); ++i) {
                if (!std::isnan(little.cloud.positions[i].x())) {
                    ASSERT_EQ(ascii.cloud.positions[i], little.cloud.positions[i]) << i;
                }
            }
        }

        // A body that ends inside the element after the vertices fails the load.
        const std::string cut = le.Bytes().substr(0, le.Bytes().size() - 1);
        EXPECT_EQ(ReadBytes(cut).notes, kException + "PLY parser: unexpected end of file in element after\n");
    }
}

TEST(PlyReader, CorpusPointCloudsHaveTheirDocumentedShape)
{
    ORRISK_REQUIRE_TESTDATA();
    const struct {
        const char* name;
        std::size_t points;
        bool colors;
    } clouds[] = {
        {"donut_color.ply", 45624, true},  {"bunny_mesh.ply", 34834, false},   {"pdal_issue_2421.ply", 1, false},
        {"pdal_mesh.ply", 4, false},       {"pdal_simple_binary.ply", 3, false}, {"pdal_simple_text.ply", 3, false},
        {"pdal_text_extradim.ply", 1, true}, {"cloud_ascii.ply", 40, true},    {"color_red_is_list.ply", 20, false},
        {"header_duplicate_vertex_element.ply", 3, false}, {"mesh_face_before_vertex_le.ply", 3, false},
        {"binary_trailing_bytes.ply", 10, false},
    };
    for (const auto& expected : clouds) {
        const Outcome result = ReadCorpus(expected.name);
        ASSERT_TRUE(result.ok) << expected.name << result.notes;
        EXPECT_EQ(result.cloud.positions.size(), expected.points) << expected.name;
        EXPECT_EQ(result.cloud.hasColors, expected.colors) << expected.name;
    }
    // pdal_text_extradim: red/green uchar, blue char, alpha uchar 255.
    const Outcome extradim = ReadCorpus("pdal_text_extradim.ply");
    EXPECT_EQ(extradim.cloud.colors[0], Eigen::Vector4f(Scaled(63, 1 / 255.0), Scaled(200, 1 / 255.0),
                                                        Scaled(64, 1 / 255.0), 1.0f));
    // The first of two x properties (float 1, 2.5, -3; the double x holds 100, 200, 300) wins.
    const Outcome duplicate = ReadCorpus("header_duplicate_property.ply");
    EXPECT_EQ(duplicate.cloud.origin.x(), -3.0);
    EXPECT_EQ(duplicate.cloud.positions[1].x(), 5.5f);
}

TEST(PlyReader, TheThreeEncodingsGiveTheSameCloud)
{
    ORRISK_REQUIRE_TESTDATA();
    const Outcome ascii = ReadCorpus("cloud_ascii.ply");
    ASSERT_TRUE(ascii.ok);
    ExpectSameCloud(ascii.cloud, ReadCorpus("cloud_binary_le.ply").cloud, "little-endian");
    ExpectSameCloud(ascii.cloud, ReadCorpus("cloud_binary_be.ply").cloud, "big-endian");
    ExpectSameCloud(ReadCorpus("color_rgba_uchar.ply").cloud, ReadCorpus("color_rgba_uchar_ascii.ply").cloud, "rgba");
    ExpectSameCloud(ReadCorpus("mesh_face_before_vertex_ascii.ply").cloud,
                    ReadCorpus("mesh_face_before_vertex_be.ply").cloud, "mesh");
}

TEST(PlyReader, PositionsAreOffsetsFromTheMinimumCornerComputedInDouble)
{
    ORRISK_REQUIRE_TESTDATA();
    const Outcome million = ReadCorpus("xyz_million_offset.ply");
    ASSERT_TRUE(million.ok);
    EXPECT_EQ(million.cloud.origin, Eigen::Vector3d(1e6, 0, 0));
    EXPECT_EQ(million.cloud.positions[0], Eigen::Vector3f(0, 0, 0));
    EXPECT_EQ(million.cloud.positions[1], Eigen::Vector3f(1, 0, 0));

    const Outcome large = ReadCorpus("xyz_double_large_coords.ply");
    ASSERT_TRUE(large.ok);
    ASSERT_EQ(large.cloud.positions.size(), 16u);
    for (std::size_t i = 1; i < 16; ++i)
        EXPECT_NEAR(large.cloud.positions[i].x() - large.cloud.positions[i - 1].x(), 0.001f, 1e-6f) << i;

    const Outcome box = ReadCorpus("two_points_radius3.ply");
    EXPECT_EQ(box.cloud.center, Eigen::Vector3f(1, 2, 2));
    EXPECT_EQ(box.cloud.radius, 3.0f);

    const Outcome single = ReadCorpus("single_point.ply");
    EXPECT_EQ(single.cloud.origin, Eigen::Vector3d(3.5, -2, 7.25));
    EXPECT_EQ(single.cloud.radius, 0.0f);
}

TEST(PlyReader, NanCoordinatesNeverBecomeTheOriginUnlessFirst)
{
    ORRISK_REQUIRE_TESTDATA();
    const Outcome later = ReadCorpus("nan_coordinate.ply");
    ASSERT_TRUE(later.ok);
    EXPECT_FALSE(std::isnan(later.cloud.origin.x()));
    EXPECT_FALSE(std::isnan(later.cloud.boundsMin.x()));
    EXPECT_EQ(std::count_if(later.cloud.positions.begin(), later.cloud.positions.end(),
                            [](const Eigen::Vector3f& p) { return std::isnan(p.x()); }),
              1);

    const Outcome first = ReadCorpus("nan_first_point.ply");
    ASSERT_TRUE(first.ok);
    EXPECT_TRUE(std::isnan(first.cloud.origin.x()));
    for (const Eigen::Vector3f& p : first.cloud.positions)
        EXPECT_TRUE(std::isnan(p.x()));
    EXPECT_TRUE(std::isnan(first.cloud.radius));
    EXPECT_FALSE(std::isnan(first.cloud.origin.y()));
}

TEST(PlyReader, ColourFamiliesArePickedInOrderWhenComplete)
{
    ORRISK_REQUIRE_TESTDATA();
    const Eigen::Vector4f expected(1.0f, Scaled(12, 1 / 255.0), 0.0f, 1.0f);
    EXPECT_EQ(ReadCorpus("color_family_precedence.ply").cloud.colors.at(0), expected);
    EXPECT_EQ(ReadCorpus("color_family_fallback.ply").cloud.colors.at(0), expected);
    EXPECT_EQ(ReadCorpus("color_rgb_short_names.ply").cloud.colors.at(0), expected);
    EXPECT_TRUE(ReadCorpus("color_diffuse_rgb.ply").cloud.hasColors);

    const Outcome rgba = ReadCorpus("color_rgba_uchar.ply");
    EXPECT_EQ(rgba.cloud.colors.at(0), Eigen::Vector4f(1.0f, Scaled(12, 1 / 255.0), 0.0f, Scaled(93, 1 / 255.0)));
    EXPECT_EQ(rgba.cloud.colors.at(1)[3], Scaled(128, 1 / 255.0));
    EXPECT_EQ(rgba.cloud.colors.at(2)[3], 0.0f);
    EXPECT_EQ(ReadCorpus("color_rgba_short_names.ply").cloud.colors, rgba.cloud.colors);
    const Outcome diffuse = ReadCorpus("color_diffuse_rgba.ply");
    EXPECT_NE(diffuse.cloud.colors.at(1)[3], 1.0f);

    const Outcome alphaList = ReadCorpus("color_alpha_is_list.ply");
    ASSERT_TRUE(alphaList.cloud.hasColors);
    for (const Eigen::Vector4f& c : alphaList.cloud.colors)
        EXPECT_EQ(c[3], 1.0f);

    const Outcome redList = ReadCorpus("color_red_is_list.ply");
    EXPECT_TRUE(redList.ok);
    EXPECT_FALSE(redList.cloud.hasColors);
    EXPECT_TRUE(redList.cloud.colors.empty());

    const Outcome mixed = ReadCorpus("color_mixed_types.ply");
    EXPECT_EQ(mixed.cloud.colors.at(1), Eigen::Vector4f(Scaled(169, 1 / 255.0), Scaled(88, 1 / 255.0),
                                                        Scaled(10, 1 / 255.0), 1.0f));
    const Outcome negative = ReadCorpus("color_int_with_negatives.ply");
    EXPECT_EQ(negative.cloud.colors.at(0)[0], Scaled(-4, 1 / 255.0));
}

TEST(PlyReader, ColourScaleFollowsTheLargestChannel)
{
    ORRISK_REQUIRE_TESTDATA();
    EXPECT_EQ(ReadCorpus("color_ushort_max1000.ply").cloud.colors.at(0),
              Eigen::Vector4f(Scaled(692, 1 / 1000.0), Scaled(157, 1 / 1000.0), Scaled(971, 1 / 1000.0),
                              Scaled(809, 1 / 1000.0)));
    const Outcome max1000 = ReadCorpus("color_ushort_max1000.ply");
    EXPECT_TRUE(std::all_of(max1000.cloud.colors.begin(), max1000.cloud.colors.end(),
                            [](const Eigen::Vector4f& c) { return c[3] <= 1.0f; }));
    EXPECT_EQ(ReadCorpus("color_ushort_max256.ply").cloud.colors.at(0)[0], Scaled(156, 1 / 255.0));
    EXPECT_EQ(ReadCorpus("color_ushort_max257.ply").cloud.colors.at(0)[0], Scaled(156, 1 / 257.0));
    const float unchanged = static_cast<float>(0.8553265929222107);
    EXPECT_EQ(ReadCorpus("color_float_max_1_0005.ply").cloud.colors.at(0)[1], unchanged);
    EXPECT_EQ(ReadCorpus("color_float_max_1_5.ply").cloud.colors.at(0)[1],
              Scaled(static_cast<double>(unchanged), 1 / 255.0));
    const Outcome dim = ReadCorpus("color_uchar_only_0_1.ply");
    for (const Eigen::Vector4f& c : dim.cloud.colors)
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(c[i] == 0.0f || c[i] == 1.0f);
}

TEST(PlyReader, ColourScaleThresholdsAre1Point001And256)
{
    const std::string rgb = "property double red\nproperty double green\nproperty double blue\n";
    struct Case {
        double largest;
        double scale;
    };
    for (const Case c : {Case{1.001, 1.0}, Case{1.0011, 1 / 255.0}, Case{0.0, 1.0}, Case{256.0, 1 / 255.0},
                         Case{256.5, 1 / 256.5}, Case{65535.0, 1 / 65535.0}}) {
        const std::string largest = std::to_string(c.largest);
        const Outcome result = ReadBytes(CloudWith(2, rgb + "property double alpha\n",
                                                      {"0.5 -0.25 0 300", largest + " 0 " + largest + " 0.5"}));
        ASSERT_TRUE(result.ok) << result.notes;
        EXPECT_EQ(result.cloud.colors[0], Eigen::Vector4f(Scaled(0.5, c.scale), Scaled(-0.25, c.scale), 0.0f,
                                                          std::min(Scaled(300, c.scale), 1.0f)))
            << largest;
        EXPECT_EQ(result.cloud.colors[1][0], Scaled(c.largest, c.scale)) << largest;
    }
}

TEST(PlyReader, FailuresComeWithOneNoteAndTheirReason)
{
    {
        testsupport::ScratchDir dir;
        const std::string missing = (dir.Path() / "missing.ply").string();
        const Outcome result = Read(missing);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.notes, kException + "PLY parser: Could not open file " + missing + "\n");
        EXPECT_EQ(result.reason, "PLY parser: Could not open file " + missing);
    }

    const Outcome listZ = ReadBytes("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                                       "property list uchar float z\nend_header\n1 2 1 3\n");
    EXPECT_EQ(listZ.notes, kXyzMessage);
    EXPECT_EQ(listZ.code, ReadError::Malformed);
    EXPECT_EQ(listZ.reason, "PLY: the vertex element has no readable x, y and z properties");
    EXPECT_EQ(ReadBytes("ply\nformat ascii 1.0\nelement vertex 1\nproperty ushort x\nproperty float y\n"
                        "property float z\nend_header\n1 2 3\n")
                  .ok,
              true);
    // A binary body shorter than its header promises is corrupt, not a cloud of zeros.
    const Outcome truncated = ReadBytes(PlyBytes("ply\nformat binary_little_endian 1.0\nelement vertex 2\n"
                                                    "property float x\nproperty float y\nproperty float z\nend_header\n")
                                               .Le(1.0f)
                                               .Le(2.0f)
                                               .Le(3.0f)
                                               .Le(4.0f));
    EXPECT_FALSE(truncated.ok);
    EXPECT_EQ(truncated.notes, kException + "PLY parser: unexpected end of file in element vertex\n");
    EXPECT_EQ(truncated.code, ReadError::Truncated);
    EXPECT_EQ(truncated.reason, "PLY parser: unexpected end of file in element vertex");
}

TEST(PlyReader, ReadPropertyAsDoubleAcceptsEveryScalarType)
{
    testsupport::ScratchDir dir;
    const orrisk::ply::PlyFile ply(dir.Write("all.ply",
                                        "ply\nformat ascii 1.0\nelement v 2\nproperty char c\nproperty uchar uc\n"
                                        "property short s\nproperty ushort us\nproperty int i\nproperty uint ui\n"
                                        "property float f\nproperty double d\nproperty list uchar float l\nend_header\n"
                                        "-1 200 -300 60000 -70000 4000000000 0.1 0.2 1 5\n"
                                        "2 3 4 5 6 7 8 9 0\n")
                                  .string());
    const orrisk::ply::PlyElement& v = ply.elements.at(0);
    EXPECT_EQ(ReadPropertyAsDouble(v, "c"), (std::vector<double>{-1, 2}));
    EXPECT_EQ(ReadPropertyAsDouble(v, "uc"), (std::vector<double>{200, 3}));
    EXPECT_EQ(ReadPropertyAsDouble(v, "s"), (std::vector<double>{-300, 4}));
    EXPECT_EQ(ReadPropertyAsDouble(v, "us"), (std::vector<double>{60000, 5}));
    EXPECT_EQ(ReadPropertyAsDouble(v, "i"), (std::vector<double>{-70000, 6}));
    EXPECT_EQ(ReadPropertyAsDouble(v, "ui"), (std::vector<double>{4000000000.0, 7}));
    EXPECT_EQ(ReadPropertyAsDouble(v, "f"), (std::vector<double>{static_cast<double>(0.1f), 8}));
    EXPECT_EQ(ReadPropertyAsDouble(v, "d"), (std::vector<double>{0.2, 9}));
    EXPECT_TRUE(ReadPropertyAsDouble(v, "l").empty());
    EXPECT_TRUE(ReadPropertyAsDouble(v, "missing").empty());
}
