#include "scene/PointCloudData.h"
#include "render/AxisGizmo.h"
#include "render/PointCloudRenderer.h"

#include <gtest/gtest.h>

// No GL context exists in this test program: every call below must stay away from GL, as the
// view relies on when it has no context (creation failed, or already torn down).

TEST(GpuOwnersWithoutContext, PointCloudRendererThatHoldsNothingMakesNoGlCall)
{
    {
        PointCloudRenderer renderer;
        EXPECT_EQ(renderer.VertexCount(), 0u);
        EXPECT_EQ(renderer.Program(), 0u);
        EXPECT_FLOAT_EQ(renderer.PointSize(), 2.0f);
        EXPECT_TRUE(renderer.RoundPoints());

        renderer.SetPointStyle({7.5f, false});
        EXPECT_FLOAT_EQ(renderer.PointSize(), 7.5f);
        EXPECT_FALSE(renderer.RoundPoints());

        renderer.Resize(640, 480);
        renderer.Draw(Eigen::Matrix4f::Identity(), Eigen::Matrix4f::Identity());
        renderer.DrawPick(Eigen::Matrix4f::Identity(), Eigen::Matrix4f::Identity());
        renderer.ReleaseGpuResources();
        renderer.ReleaseGpuResources();
    }
    SUCCEED();
}

TEST(GpuOwnersWithoutContext, AxisGizmoThatHoldsNothingMakesNoGlCall)
{
    {
        AxisGizmo gizmo;
        EXPECT_FALSE(gizmo.HoldsGpuObjects());
        gizmo.Draw(Eigen::Matrix4f::Identity(), 800, 600);
        gizmo.Release();
        gizmo.Release();
    }
    SUCCEED();
}
