#include "io/poses/PoseReader.h"

#include "io/poses/PoseRules.h"
#include "support/TestData.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using nlohmann::json;

struct LoadResult {
    bool ok = false;
    CameraPoseSet set;
    std::string error;
    ReadError code = ReadError::Malformed;
};

LoadResult Load(const std::filesystem::path& path)
{
    ReadResult<CameraPoseSet> read = ReadCameraPoses(path.string());
    LoadResult result;
    result.ok = read.Ok();
    if (read)
        result.set = read.TakeValue();
    else {
        result.code = read.Failure().code;
        result.error = read.Failure().reason;
    }
    return result;
}

void ExpectFailure(const LoadResult& result, const std::string& error, ReadError code = ReadError::Malformed)
{
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, error);
    EXPECT_EQ(result.code, code);
}

bool IsProperRotation(const Eigen::Matrix3d& r)
{
    return (r.transpose() * r).isIdentity(1e-9) && std::abs(r.determinant() - 1.0) < 1e-9;
}

Eigen::Vector3d Translation(const CameraFrame& frame)
{
    return frame.transform.topRightCorner<3, 1>();
}

Eigen::Matrix3d Rotation(const CameraFrame& frame)
{
    return frame.transform.topLeftCorner<3, 3>();
}

// No rotation, far from r or a small turn away from it, lies nearer to m than r does.
void ExpectNearestRotation(const Eigen::Matrix3d& m, const Eigen::Matrix3d& r)
{
    ASSERT_TRUE(IsProperRotation(r));
    std::mt19937 random(1234);
    std::normal_distribution<double> normal;
    for (int i = 0; i < 400; ++i) {
        const Eigen::Vector3d axis = Eigen::Vector3d(normal(random), normal(random), normal(random)).normalized();
        const double angle = normal(random) * (i < 200 ? 2.0 : 1e-3);
        const Eigen::Matrix3d other = r * Eigen::AngleAxisd(angle, axis).toRotationMatrix();
        EXPECT_GE((m - other).norm(), (m - r).norm() - 1e-9) << "rotation " << i;
    }
}

std::filesystem::path PoseFile(const char* name)
{
    return testsupport::TestDataFile(std::string("poses/") + name);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Files of the shared corpus

TEST(CameraPoseReader, CorpusFilesThatFailGiveTheirMessage)
{
    ORRISK_REQUIRE_TESTDATA();
    struct Case {
        const char* file;
        const char* error;
    };
    const Case cases[] = {
        {"empty.json", "Invalid JSON format."},
        {"nan_literal.json", "Invalid JSON format."},
        // The JSON parser refuses a number too large for a double, so the whole file fails.
        {"nonfinite_entry.json", "Invalid JSON format."},
        {"top_level_array.json", "Invalid JSON format."},
        {"top_level_number.json", "Invalid JSON format."},
        {"trailing_comma.json", "Invalid JSON format."},
        {"two_values.json", "Invalid JSON format."},
        {"with_comment.json", "Invalid JSON format."},
        {"frames_is_object.json", "\"frames\" array not found."},
        {"no_frames_key.json", "\"frames\" array not found."},
        {"frames_empty.json", "No valid camera frames found."},
        {"all_frames_invalid.json", "No valid camera frames found."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ExpectFailure(Load(PoseFile(c.file)), c.error);
    }
}

TEST(CameraPoseReader, CorpusFilesThatLoadGiveProperRotations)
{
    ORRISK_REQUIRE_TESTDATA();
    const double pi = std::numbers::pi;
    struct Case {
        const char* file;
        std::size_t frames;
        float defaultFovY;
    };
    const Case cases[] = {
        {"fox_transforms.json", 67, static_cast<float>(2 * std::atan(0.5 * 1920.0 / 1374.49))},
        {"many_frames_utm.json", 200, static_cast<float>(2 * std::atan(0.5 * 2000 / 1000.5))},
        {"rows_camera_angle_x.json", 3, static_cast<float>(2 * std::atan(std::tan(0.5) * 600 / 800))},
        {"sixteen_numbers.json", 2, static_cast<float>(pi / 2)},
        {"skipped_frames.json", 3, 0.6f},
        {"trailing_whitespace.json", 1, 0.0f},
        {"fov_precedence.json", 8, 0.8f},
        {"camera_angle_x_without_size.json", 1, 0.0f},
        {"wrong_type_intrinsics.json", 1, 0.0f},
        {"scaled_rotation.json", 4, 0.9f},
        {"reflection.json", 3, 0.0f},
        {"reflection_pure.json", 2, 0.0f},
        {"singular_block.json", 3, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const LoadResult result = Load(PoseFile(c.file));
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(result.error.empty());
        EXPECT_EQ(result.set.frames.size(), c.frames);
        EXPECT_FLOAT_EQ(result.set.defaultFovY, c.defaultFovY);
        for (const CameraFrame& frame : result.set.frames)
            EXPECT_TRUE(IsProperRotation(Rotation(frame))) << frame.transform;
    }
}

TEST(CameraPoseReader, CorpusFramesKeepTheirTranslationsAndFieldsOfView)
{
    ORRISK_REQUIRE_TESTDATA();
    const auto load = [](const char* file) {
        LoadResult result = Load(PoseFile(file));
        EXPECT_TRUE(result.ok) << file << ": " << result.error;
        return result.set;
    };

    const CameraPoseSet fox = load("fox_transforms.json");
    ASSERT_EQ(fox.frames.size(), 67u);
    EXPECT_EQ(Translation(fox.frames[0]), Eigen::Vector3d(3.168359405609479, -5.4794898611466945, -0.9791660699008925));
    EXPECT_NEAR(fox.frames[0].transform(2, 1), 0.995442519072023, 1e-6);
    EXPECT_EQ(fox.frames[66].fovY, 0.0f);

    // Large world coordinates survive exactly in double precision.
    const CameraPoseSet utm = load("many_frames_utm.json");
    ASSERT_EQ(utm.frames.size(), 200u);
    EXPECT_EQ(Translation(utm.frames.front()), Eigen::Vector3d(637000.0, 849000.0, 120.0));
    EXPECT_EQ(Translation(utm.frames.back()), Eigen::Vector3d(637199.0, 848900.5, 120.0));

    const CameraPoseSet skipped = load("skipped_frames.json");
    ASSERT_EQ(skipped.frames.size(), 3u);
    EXPECT_EQ(skipped.frames[0].transform(0, 3), 1.0);
    EXPECT_EQ(skipped.frames[1].transform(0, 3), 3.0);
    EXPECT_EQ(skipped.frames[2].transform(0, 3), 4.0);

    const CameraPoseSet sixteen = load("sixteen_numbers.json");
    ASSERT_EQ(sixteen.frames.size(), 2u);
    EXPECT_EQ(Translation(sixteen.frames[0]), Eigen::Vector3d(7, 8, 9));
    EXPECT_EQ(Translation(sixteen.frames[1]), Eigen::Vector3d(11, 12, 13));

    const CameraPoseSet fov = load("fov_precedence.json");
    ASSERT_EQ(fov.frames.size(), 8u);
    const float expected[] = {
        static_cast<float>(std::numbers::pi / 2),                 // own fl_y with top-level h
        static_cast<float>(2 * std::atan(2.0)),                   // own h overrides
        0.5f,                                                     // camera_angle_y before _x
        static_cast<float>(2 * std::atan(std::tan(0.75) * 0.5)),  // top-level w and h
        static_cast<float>(2 * std::atan(std::tan(0.75) * 2.0)),  // own w and h
        0.0f,                                                     // only w and h
        static_cast<float>(2 * std::atan(std::tan(0.2) * 0.5)),   // negatives fall through
        0.0f,                                                     // fl_y with h 0
    };
    for (std::size_t i = 0; i < fov.frames.size(); ++i)
        EXPECT_FLOAT_EQ(fov.frames[i].fovY, expected[i]) << "frame " << i;

    EXPECT_EQ(load("camera_angle_x_without_size.json").frames.at(0).fovY, 0.0f);
    EXPECT_EQ(load("wrong_type_intrinsics.json").frames.at(0).fovY, 0.0f);
}

TEST(CameraPoseReader, CorpusRotationBlocksBecomeTheNearestRotation)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* file : {"scaled_rotation.json", "reflection.json", "reflection_pure.json", "singular_block.json"}) {
        SCOPED_TRACE(file);
        std::ifstream stream(PoseFile(file));
        const json raw = json::parse(stream);
        const LoadResult result = Load(PoseFile(file));
        ASSERT_TRUE(result.ok);
        ASSERT_EQ(result.set.frames.size(), raw["frames"].size());
        for (std::size_t i = 0; i < result.set.frames.size(); ++i) {
            SCOPED_TRACE(i);
            Eigen::Matrix4d asRead;
            ASSERT_TRUE(ParseTransformMatrix(raw["frames"][i]["transform_matrix"], asRead));
            const Eigen::Matrix4d& loaded = result.set.frames[i].transform;
            ExpectNearestRotation(asRead.topLeftCorner<3, 3>(), loaded.topLeftCorner<3, 3>());
            EXPECT_EQ(loaded.col(3), asRead.col(3));
            EXPECT_EQ(loaded.row(3), asRead.row(3));
        }
    }
}

// ---------------------------------------------------------------------------------------
// Files written by the tests

TEST(CameraPoseReader, WrittenFilesGiveEachFailureMessage)
{
    testsupport::ScratchDir dir;
    struct Case {
        const char* content;
        const char* error;
    };
    const Case cases[] = {
        {"", "Invalid JSON format."},
        {"{\"frames\": [", "Invalid JSON format."},
        {"null", "Invalid JSON format."},
        {"/* c */ {\"frames\": []}", "Invalid JSON format."},
        {"{\"frames\": [{\"transform_matrix\": [1e999,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1]}]}", "Invalid JSON format."},
        {"{\"frames\": [], \"frames\": 3}", "\"frames\" array not found."},
        {"{}", "\"frames\" array not found."},
        {"{\"frames\": []}", "No valid camera frames found."},
        {"{\"frames\": [1, \"a\", null, [], {}, {\"transform_matrix\": null}]}", "No valid camera frames found."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        ExpectFailure(Load(dir.Write("case.json", c.content)), c.error);
    }
}

TEST(CameraPoseReader, PathsThatAreNotReadableFilesCannotBeOpened)
{
    testsupport::ScratchDir dir;
    ExpectFailure(Load(dir.File("missing.json")), "Cannot open file.", ReadError::CannotOpen);
    ExpectFailure(Load(dir.Path()), "Cannot open file.", ReadError::CannotOpen);
    ExpectFailure(Load(""), "Cannot open file.", ReadError::CannotOpen);
}

TEST(CameraPoseReader, FileWithoutReadPermissionCannotBeOpened)
{
    testsupport::ScratchDir dir;
    const auto locked = dir.Write("locked.json", "{\"frames\": []}");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: file permissions are not enforced";
    ExpectFailure(Load(locked), "Cannot open file.", ReadError::CannotOpen);
}

TEST(CameraPoseReader, HugeFileIsRefusedBeforeParsing)
{
    testsupport::ScratchDir dir;
    const auto path = dir.Write("huge.json", "{\"frames\": []}");
    std::filesystem::resize_file(path, (std::uintmax_t{256} << 20) + 1);  // sparse, no disk use
    ExpectFailure(Load(path), "File is too large.", ReadError::TooLarge);
}

TEST(CameraPoseReader, WrittenFileLoadsProperRotationsAndKeepsTranslations)
{
    testsupport::ScratchDir dir;
    const auto path = dir.Write("ポーズ.json",  // UTF-8 name
                                " {\"frames\": ["
                                "{\"transform_matrix\": [[0,-2,0,5],[2,0,0,6],[0,0,2,7],[0,0,0,1]]},"  // scaled by 2
                                "{\"transform_matrix\": [[-1,0,0,1],[0,1,0,2],[0,0,1,3],[0,0,0,1]]}"   // mirror in x
                                "]}\n ");
    ReadResult<CameraPoseSet> read = ReadCameraPoses(path.string());
    ASSERT_TRUE(read.Ok());
    const CameraPoseSet& set = read.Value();
    ASSERT_EQ(set.frames.size(), 2u);

    Eigen::Matrix3d quarterTurn;
    quarterTurn << 0, -1, 0, 1, 0, 0, 0, 0, 1;
    EXPECT_TRUE(Rotation(set.frames[0]).isApprox(quarterTurn, 1e-12));
    EXPECT_EQ(Translation(set.frames[0]), Eigen::Vector3d(5, 6, 7));
    EXPECT_EQ(set.frames[0].transform.row(3), Eigen::RowVector4d(0, 0, 0, 1));
    EXPECT_TRUE(IsProperRotation(Rotation(set.frames[1])));
    EXPECT_EQ(Translation(set.frames[1]), Eigen::Vector3d(1, 2, 3));
}

TEST(CameraPoseReader, KeysOfTheWrongTypeAreIgnored)
{
    testsupport::ScratchDir dir;
    const std::string matrix = "\"transform_matrix\": [[1,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]]";
    const auto path = dir.Write("odd.json", "{\"w\": \"800\", \"h\": 600, \"fl_y\": null, \"camera_angle_y\": [1],"
                                            " \"camera_angle_x\": 1.0, \"frames\": ["
                                            "{" + matrix + ", \"camera_angle_y\": \"0.5\"},"
                                            "{" + matrix + ", \"fl_y\": 300, \"h\": {}},"
                                            "{" + matrix + ", \"camera_angle_x\": 1.0, \"w\": true},"
                                            "{" + matrix + ", \"camera_angle_x\": 1.0, \"w\": 800}]}");
    const LoadResult result = Load(path);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.set.frames.size(), 4u);
    EXPECT_EQ(result.set.defaultFovY, 0.0f);  // the string "800" is no width
    EXPECT_EQ(result.set.frames[0].fovY, 0.0f);
    EXPECT_FLOAT_EQ(result.set.frames[1].fovY, static_cast<float>(std::numbers::pi / 2));  // top-level h 600
    EXPECT_EQ(result.set.frames[2].fovY, 0.0f);
    EXPECT_NEAR(result.set.frames[3].fovY, 0.7777, 1e-4);
}

// ---------------------------------------------------------------------------------------
// The pieces on their own

TEST(CameraPoseReader, TransformMatrixAsRowsOrSixteenNumbers)
{
    Eigen::Matrix4d rows;
    ASSERT_TRUE(ParseTransformMatrix(json::parse("[[1,2,3,4],[5,6,7,8],[9,10,11,12],[13,14,15,16]]"), rows));
    Eigen::Matrix4d sixteen;
    ASSERT_TRUE(ParseTransformMatrix(json::parse("[1,2,3,4, 5,6,7,8, 9,10,11,12, 13,14,15,16]"), sixteen));
    for (const Eigen::Matrix4d* m : {&rows, &sixteen}) {
        EXPECT_EQ(m->row(0), Eigen::RowVector4d(1, 2, 3, 4));
        EXPECT_EQ(m->col(3), Eigen::Vector4d(4, 8, 12, 16));  // elements 3, 7, 11 are the translation
        EXPECT_EQ(m->data()[1], 5.0);                         // stored column-major
    }

    // Integers, negative integers, big unsigned values and floats are all numbers.
    Eigen::Matrix4d mixed;
    ASSERT_TRUE(ParseTransformMatrix(json::parse("[1,-2,0.5,18446744073709551615, 0,1,0,0, 0,0,1,0, 0,0,0,1]"), mixed));
    EXPECT_EQ(mixed.row(0), (Eigen::RowVector4d(1, -2, 0.5, 18446744073709551615.0)));
}

TEST(CameraPoseReader, UnacceptableTransformMatrixFailsAndLeavesIdentity)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const json identityRows = json::parse("[[1,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]]");
    json withInfinity = identityRows;
    withInfinity[1][3] = inf;
    json withNan = json::parse("[1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1]");
    withNan[15] = nan;

    const json cases[] = {
        json(),
        json("identity"),
        json::object(),
        json::parse("[[1,0,0,0],[0,1,0,0],[0,0,1,0]]"),
        json::parse("[[1,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1],[0,0,0,0]]"),
        json::parse("[[1,0,0],[0,1,0],[0,0,1],[0,0,0]]"),
        json::parse("[[1,0,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]]"),
        json::parse("[[1,0,0,0],[0,1,0,0],[0,0,1,\"0\"],[0,0,0,1]]"),
        json::parse("[[[1],0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]]"),
        json::parse("[{\"a\":1},[0,1,0,0],[0,0,1,0],[0,0,0,1]]"),
        json::parse("[1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0]"),
        json::parse("[1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1,0]"),
        json::parse("[1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,null,1]"),
        withInfinity,
        withNan,
    };
    for (const json& value : cases) {
        SCOPED_TRACE(value.dump());
        Eigen::Matrix4d m = Eigen::Matrix4d::Constant(7.0);
        EXPECT_FALSE(ParseTransformMatrix(value, m));
        EXPECT_EQ(m, Eigen::Matrix4d::Identity());
    }
}

TEST(CameraPoseReader, VerticalFieldOfViewRules)
{
    const auto fov = [](const char* text, double w = 0, double h = 0) {
        return ReadVerticalFov(json::parse(text), w, h);
    };
    const float quarter = static_cast<float>(std::numbers::pi / 2);

    EXPECT_FLOAT_EQ(fov(R"({"h": 600, "fl_y": 300})"), quarter);
    EXPECT_NEAR(fov(R"({"camera_angle_x": 1.0, "w": 800, "h": 600})"), 0.7777, 1e-4);
    EXPECT_EQ(fov(R"({"camera_angle_x": 1.0})"), 0.0f);
    EXPECT_EQ(fov(R"({"w": 800, "h": 600})"), 0.0f);

    // Defaults stand in for missing sizes; the object's own values win.
    EXPECT_FLOAT_EQ(fov(R"({"fl_y": 300})", 0, 600), quarter);
    EXPECT_NEAR(fov(R"({"camera_angle_x": 1.0})", 800, 600), 0.7777, 1e-4);
    EXPECT_EQ(fov(R"({"camera_angle_x": 1.0, "w": 0})", 800, 600), 0.0f);

    // Order: fl_y, then camera_angle_y, then camera_angle_x; a non-positive value falls through.
    EXPECT_FLOAT_EQ(fov(R"({"h": 600, "fl_y": 300, "camera_angle_y": 0.3, "camera_angle_x": 0.2})"), quarter);
    EXPECT_FLOAT_EQ(fov(R"({"h": 600, "fl_y": 0, "camera_angle_y": 0.3})"), 0.3f);
    EXPECT_FLOAT_EQ(fov(R"({"fl_y": -1, "camera_angle_y": 0, "camera_angle_x": 1.0, "w": 800, "h": 600})"),
                    static_cast<float>(2 * std::atan(std::tan(0.5) * 0.75)));
    EXPECT_EQ(fov(R"({"camera_angle_y": -0.3, "camera_angle_x": -1, "w": 8, "h": 6})"), 0.0f);

    // Keys that are not numbers count as missing; a non-object gives no field of view.
    EXPECT_FLOAT_EQ(fov(R"({"h": "600", "fl_y": 300})", 0, 600), quarter);
    EXPECT_FLOAT_EQ(fov(R"({"fl_y": null, "camera_angle_y": 0.3})"), 0.3f);
    EXPECT_EQ(fov(R"({"camera_angle_y": "0.5", "camera_angle_x": [1]})", 800, 600), 0.0f);
    EXPECT_EQ(fov("[1, 2]", 800, 600), 0.0f);
}

TEST(CameraPoseReader, NearestRotationOfAssortedBlocks)
{
    const Eigen::Matrix3d turn = Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, 3).normalized()).toRotationMatrix();
    EXPECT_TRUE(NearestRotation(turn).isApprox(turn, 1e-12));

    // Columns scaled differently: the rotation they were scaled from.
    const Eigen::Matrix3d stretched = turn * Eigen::Vector3d(0.5, 2, 4).asDiagonal();
    EXPECT_TRUE(NearestRotation(stretched).isApprox(turn, 1e-12));

    // A reflection with distinct singular values: the smallest one's direction flips.
    const Eigen::Matrix3d mirrored = Eigen::Vector3d(3, 2, -1).asDiagonal();
    EXPECT_TRUE(NearestRotation(mirrored).isApprox(Eigen::Matrix3d::Identity(), 1e-12));

    Eigen::Matrix3d sheared;
    sheared << 1, 0.4, -0.3, 0.2, -0.9, 0.1, 0.5, 0.3, 1.7;
    for (const Eigen::Matrix3d& m : {sheared, Eigen::Matrix3d(-sheared), Eigen::Matrix3d(Eigen::Matrix3d::Zero())}) {
        SCOPED_TRACE(m);
        ExpectNearestRotation(m, NearestRotation(m));
    }

    // Nothing sensible can come from non-finite entries; the reader never passes them.
    Eigen::Matrix3d broken = turn;
    broken(1, 2) = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(NearestRotation(broken), Eigen::Matrix3d::Identity());
}
