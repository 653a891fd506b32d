#include "document/SceneReaders.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

namespace {

using testsupport::ScratchDir;

const std::string kCloudPly = "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\n"
                              "property float z\nend_header\n1 2 3\n3 6 7\n";
const std::string kSplatPly =
    "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\nproperty float z\n"
    "property float f_dc_0\nproperty float f_dc_1\nproperty float f_dc_2\nproperty float opacity\n"
    "property float scale_0\nproperty float scale_1\nproperty float scale_2\nproperty float rot_0\n"
    "property float rot_1\nproperty float rot_2\nproperty float rot_3\nend_header\n"
    "5 6 7 0 0 0 0 0 0 0 1 0 0 0\n";

// Where a reader stands in the registry, or -1 for none.
long ReaderIndex(const SceneReader* reader)
{
    return reader ? reader - SceneReaders().data() : -1;
}

}  // namespace

TEST(SceneReaders, SplatHeadersComeFirstThenTheExtensionDecides)
{
    ScratchDir dir;
    const long splat = ReaderIndex(FindSceneReader(dir.Write("scene.ply", kSplatPly).string()));
    EXPECT_EQ(splat, 0);
    EXPECT_EQ(ReaderIndex(FindSceneReader(dir.Write("scene.las", kSplatPly).string())), splat);
    const long ply = ReaderIndex(FindSceneReader(dir.Write("cloud.PLY", kCloudPly).string()));
    EXPECT_GT(ply, splat);
    const long las = ReaderIndex(FindSceneReader(dir.Write("cloud.Las", "LASF").string()));
    EXPECT_GT(las, splat);
    EXPECT_NE(las, ply);
    const long laz = ReaderIndex(FindSceneReader(dir.Write("cloud.LAZ", kCloudPly).string()));
    EXPECT_GT(laz, splat);
    EXPECT_NE(laz, las);
    EXPECT_NE(laz, ply);
    EXPECT_EQ(FindSceneReader(dir.Write("cloud.xyz", kCloudPly).string()), nullptr);
    EXPECT_EQ(FindSceneReader(dir.Write("cloud", kCloudPly).string()), nullptr);
}

TEST(SceneReaders, ReadsGiveTheSceneOfTheirKindOrTheReadersFailure)
{
    ScratchDir dir;
    const std::string splatPath = dir.Write("scene.ply", kSplatPly).string();
    const ReadResult<Scene> splats = FindSceneReader(splatPath)->read(splatPath, {});
    ASSERT_TRUE(splats.Ok());
    EXPECT_EQ(std::get<GaussianData>(splats.Value()).positions.size(), 1u);

    const std::string cloudPath = dir.Write("cloud.ply", kCloudPly).string();
    const ReadResult<Scene> cloud = FindSceneReader(cloudPath)->read(cloudPath, {});
    ASSERT_TRUE(cloud.Ok());
    EXPECT_EQ(std::get<PointCloudData>(cloud.Value()).positions.size(), 2u);

    const std::string lasPath = dir.Write("short.las", "LASF").string();
    const ReadResult<Scene> las = FindSceneReader(lasPath)->read(lasPath, {});
    ASSERT_FALSE(las.Ok());
    EXPECT_EQ(las.Failure().code, ReadError::Truncated);
    EXPECT_EQ(las.Failure().reason, "LAS: the file ends inside its header");
}

TEST(SceneReaders, AProgressCallbackThatAsksToStopCancelsTheRead)
{
    ScratchDir dir;
    const std::string cloudPath = dir.Write("cloud.ply", kCloudPly).string();
    ReadOptions stop;
    stop.progress = [](double) { return false; };
    const ReadResult<Scene> cloud = FindSceneReader(cloudPath)->read(cloudPath, stop);
    ASSERT_FALSE(cloud.Ok());
    EXPECT_EQ(cloud.Failure().code, ReadError::Cancelled);
}
