#include "io/splat/SplatReader.h"
#include "io/ply/PlyFile.h"
#include "io/splat/GaussianPlyWriter.h"
#include "samples/SampleScene.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ExpectedProperties(const GaussianData& data)
{
    std::vector<std::string> names = {"x", "y", "z", "nx", "ny", "nz", "f_dc_0", "f_dc_1", "f_dc_2"};
    for (int k = 0; k < data.shRestCount; ++k)
        names.push_back("f_rest_" + std::to_string(k));
    for (const char* name : {"opacity", "scale_0", "scale_1", "scale_2", "rot_0", "rot_1", "rot_2", "rot_3"})
        names.emplace_back(name);
    if (data.hasObjectIds)
        names.emplace_back("object_id");
    return names;
}

float Logistic(float v) { return 1.0f / (1.0f + std::exp(-v)); }

// Reads the file with the project's PLY reader and checks that undoing the activations
// gives the record back within float rounding.
void ExpectFileHolds(const std::filesystem::path& path, const GaussianData& data)
{
    const orrisk::ply::PlyFile file(path.string());
    EXPECT_EQ(file.encoding, orrisk::ply::PlyEncoding::LittleEndian);
    ASSERT_TRUE(file.ContainsElement("vertex"));
    const orrisk::ply::PlyElement& vertex = file.ElementNamed("vertex");
    const std::size_t n = data.positions.size();
    ASSERT_EQ(vertex.recordCount, n);

    std::vector<std::string> names;
    for (const auto& property : vertex.properties) {
        names.push_back(property->name);
        EXPECT_EQ(property->TypeName(), property->name == "object_id" ? "uint" : "float") << property->name;
    }
    ASSERT_EQ(names, ExpectedProperties(data));

    const auto column = [&vertex](const std::string& name) { return vertex.ValuesAs<float>(name); };
    const char* axes[] = {"x", "y", "z"};
    const char* normals[] = {"nx", "ny", "nz"};
    for (int axis = 0; axis < 3; ++axis) {
        const auto position = column(axes[axis]);
        const auto normal = column(normals[axis]);
        const auto dc = column("f_dc_" + std::to_string(axis));
        const auto scale = column("scale_" + std::to_string(axis));
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(position[i], static_cast<float>(data.origin[axis] + data.positions[i][axis])) << i;
            ASSERT_EQ(normal[i], 0.0f);
            ASSERT_EQ(dc[i], data.shDc[i][axis]);
            ASSERT_NEAR(std::exp(scale[i]), data.scales[i][axis], 1e-6f * data.scales[i][axis]) << i;
        }
    }
    for (int k = 0; k < data.shRestCount; ++k) {
        const auto rest = column("f_rest_" + std::to_string(k));
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_EQ(rest[i], data.shRest[i * data.shRestCount + k]) << "f_rest_" << k << " of " << i;
    }
    const auto opacity = column("opacity");
    for (std::size_t i = 0; i < n; ++i)
        ASSERT_NEAR(Logistic(opacity[i]), data.opacities[i], 1e-6f) << i;
    for (int component = 0; component < 4; ++component) {
        const auto rotation = column("rot_" + std::to_string(component));
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_EQ(rotation[i], data.rotations[i][component]);
    }
    if (data.hasObjectIds) {
        const std::vector<std::uint32_t> ids = vertex.ValuesAs<std::uint32_t>("object_id");
        EXPECT_TRUE(std::equal(ids.begin(), ids.end(), data.objectIds.begin(), data.objectIds.end()));
    }
}

GaussianData ThreeSplats()
{
    GaussianData data;
    data.positions = {{0.0f, 0.0f, 0.0f}, {1.5f, -2.0f, 0.25f}, {3.0f, 4.0f, -5.0f}};
    data.origin = {100.0, -20.0, 0.5};
    data.shDc = {{0.1f, 0.2f, 0.3f}, {-1.0f, 0.0f, 1.0f}, {1.77f, -1.77f, 0.0f}};
    data.shRestCount = 9;
    data.shDegree = 1;
    for (int i = 0; i < 27; ++i)
        data.shRest.push_back(0.01f * static_cast<float>(i) - 0.1f);
    data.opacities = {0.5f, 0.97f, 0.01f};
    data.scales = {{1.0f, 1.0f, 1.0f}, {0.02f, 0.03f, 0.002f}, {5.0f, 0.5f, 1e-4f}};
    data.rotations = {{1, 0, 0, 0}, {0, 0.6f, 0, 0.8f}, {0.5f, 0.5f, -0.5f, 0.5f}};
    data.objectIds = {0, 7, 4000000000u};
    data.hasObjectIds = true;
    return data;
}

}  // namespace

TEST(GaussianPlyWriter, SplatsReadBackThroughThePlyReader)
{
    testsupport::ScratchDir dir;
    const GaussianData data = ThreeSplats();
    WriteGaussianPly(dir.File("splats.ply"), data);
    ExpectFileHolds(dir.File("splats.ply"), data);

    // Writing again replaces the file rather than appending to it.
    WriteGaussianPly(dir.File("splats.ply"), data);
    ExpectFileHolds(dir.File("splats.ply"), data);
}

TEST(GaussianPlyWriter, TheSampleSceneReadsBackWithinFloatRounding)
{
    testsupport::ScratchDir dir;
    const GaussianData scene = MakeLighthouseScene();
    WriteGaussianPly(dir.File("lighthouse.ply"), scene);
    ExpectFileHolds(dir.File("lighthouse.ply"), scene);

    // The viewer recognises the file as a splat scene and gets the same scene back.
    const std::string path = dir.File("lighthouse.ply").string();
    ASSERT_TRUE(IsGaussianSplatPly(path));
    ReadResult<GaussianData> read = ReadGaussianPly(path);
    ASSERT_TRUE(read.Ok());
    const GaussianData& loaded = read.Value();
    ASSERT_EQ(loaded.positions.size(), scene.positions.size());
    EXPECT_EQ(loaded.shDegree, 3);
    EXPECT_EQ(loaded.objectIds, scene.objectIds);
    const auto world = [](const GaussianData& d, std::size_t i) { return d.origin + d.positions[i].cast<double>(); };
    for (std::size_t i = 0; i < scene.positions.size(); ++i) {
        ASSERT_LT((world(loaded, i) - world(scene, i)).norm(), 1e-5) << i;
        ASSERT_NEAR(loaded.opacities[i], scene.opacities[i], 1e-6f) << i;
        ASSERT_TRUE(loaded.scales[i].isApprox(scene.scales[i], 1e-5f)) << i;
    }
}

TEST(GaussianPlyWriter, BodyHoldsExactlyTheDeclaredRecords)
{
    testsupport::ScratchDir dir;
    for (const std::size_t count : {std::size_t{0}, std::size_t{2}}) {
        SCOPED_TRACE(count);
        GaussianData data;
        data.positions.assign(count, Eigen::Vector3f(1.0f, 2.0f, 3.0f));
        data.shDc.assign(count, Eigen::Vector3f::Zero());
        data.opacities.assign(count, 0.5f);
        data.scales.assign(count, Eigen::Vector3f::Ones());
        data.rotations.assign(count, Eigen::Vector4f(1, 0, 0, 0));
        const auto path = dir.File("plain.ply");
        WriteGaussianPly(path, data);

        const std::string bytes = testsupport::ReadWholeFile(path);
        const std::string header =
            "ply\nformat binary_little_endian 1.0\nelement vertex " + std::to_string(count) + "\n";
        ASSERT_EQ(bytes.rfind(header, 0), 0u);
        const std::size_t body = bytes.find("end_header\n") + 11;
        EXPECT_EQ(bytes.size() - body, count * 17 * 4);  // 17 floats, no f_rest, no object_id
        if (count > 0) {
            // First value of the first record: 1.0f in little-endian byte order.
            EXPECT_EQ(bytes.substr(body, 4), std::string("\x00\x00\x80\x3f", 4));
            ExpectFileHolds(path, data);
        }
    }
}

TEST(GaussianPlyWriter, SaturatedActivationsBecomeFiniteFileValues)
{
    testsupport::ScratchDir dir;
    GaussianData data;
    data.positions.assign(3, Eigen::Vector3f::Zero());
    data.shDc.assign(3, Eigen::Vector3f::Zero());
    data.rotations.assign(3, Eigen::Vector4f(1, 0, 0, 0));
    data.opacities = {0.0f, 1.0f, 0.5f};
    data.scales = {{0.0f, 1.0f, 1.0f}, {-2.0f, 1.0f, 1.0f}, {1e-30f, 1.0f, 1.0f}};
    WriteGaussianPly(dir.File("edge.ply"), data);

    const orrisk::ply::PlyFile file(dir.File("edge.ply").string());
    const auto& vertex = file.ElementNamed("vertex");
    const auto opacity = vertex.ValuesAs<float>("opacity");
    const auto scale = vertex.ValuesAs<float>("scale_0");
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(std::isfinite(opacity[i])) << i;
        EXPECT_TRUE(std::isfinite(scale[i])) << i;
    }
    EXPECT_NEAR(Logistic(opacity[0]), 0.0f, 1e-5f);
    EXPECT_NEAR(Logistic(opacity[1]), 1.0f, 1e-5f);
    EXPECT_LT(std::exp(scale[0]), 1e-30f);
    EXPECT_FLOAT_EQ(std::exp(scale[1]), 2.0f);  // a negative deviation is written by its size
    EXPECT_NEAR(std::exp(scale[2]), 1e-30f, 1e-35f);
}

TEST(GaussianPlyWriter, InconsistentRecordsAreRefusedAndLeaveTheTargetAlone)
{
    testsupport::ScratchDir dir;
    const auto target = dir.Write("scene.ply", std::string_view("earlier contents"));
    const struct {
        const char* name;
        void (*spoil)(GaussianData&);
    } cases[] = {
        {"shDc", [](GaussianData& d) { d.shDc.pop_back(); }},
        {"opacities", [](GaussianData& d) { d.opacities.push_back(0.5f); }},
        {"scales", [](GaussianData& d) { d.scales.clear(); }},
        {"rotations", [](GaussianData& d) { d.rotations.pop_back(); }},
        {"shRest", [](GaussianData& d) { d.shRest.pop_back(); }},
        {"shRestCount", [](GaussianData& d) { d.shRestCount = -3; }},
        {"objectIds", [](GaussianData& d) { d.objectIds.pop_back(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GaussianData data = ThreeSplats();
        c.spoil(data);
        try {
            WriteGaussianPly(target, data);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(c.name), std::string::npos) << error.what();
        }
        EXPECT_EQ(testsupport::ReadWholeFile(target), "earlier contents");
    }
    // Without ids the id array is not looked at.
    GaussianData data = ThreeSplats();
    data.hasObjectIds = false;
    data.objectIds.clear();
    WriteGaussianPly(dir.File("no-ids.ply"), data);
    ExpectFileHolds(dir.File("no-ids.ply"), data);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2) << "no partial files left";
}

TEST(GaussianPlyWriter, UnwritableTargetThrows)
{
    testsupport::ScratchDir dir;
    EXPECT_THROW(WriteGaussianPly(dir.File("missing/scene.ply"), ThreeSplats()), std::runtime_error);
    EXPECT_THROW(WriteGaussianPly(dir.Path(), ThreeSplats()), std::runtime_error);  // a directory
}
