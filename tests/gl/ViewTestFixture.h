#pragma once

#include "document/Document.h"
#include "platform/Log.h"
#include "scene/SceneBounds.h"
#include "gl/HeadlessEglBackend.h"
#include "support/RecordingDesktop.h"
#include "tests/gl/PixelChecks.h"
#include "view/SceneView.h"
#include "view/InputEvents.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// A view on a headless surface of kWidth x kHeight pixels, created, sized and given its
// first update like the desktop shell does, showing `document`. Skipped where no OpenGL 4.5
// core context can be made.
class ViewTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 150;

    void SetUp() override
    {
        desktop.clientSize = {kWidth, kHeight};
        view = MakeView();
        view->SetDocument(&document);
        ScopedLogCapture capture;
        if (!view->Create())
            GTEST_SKIP() << "no headless OpenGL 4.5 core context on this machine: " << capture.Text();
        view->OnSize(kWidth, kHeight);
        view->OnInitialUpdate();
    }

    void TearDown() override
    {
        if (view) {
            view->OnDestroy();
            view.reset();
        }
    }

    std::unique_ptr<SceneView> MakeView()
    {
        return std::make_unique<SceneView>(desktop, [] { return std::make_unique<HeadlessEglBackend>(kWidth, kHeight); });
    }

    const ViewCamera& Camera() const { return view->Camera(); }
    // Changes the view's camera as the tests need it, then hands it back to the view.
    template <typename Change>
    void EditCamera(Change change)
    {
        ViewCamera camera = view->Camera();
        change(camera);
        view->SetCamera(camera);
    }

    HeadlessEglBackend& Headless() { return dynamic_cast<HeadlessEglBackend&>(*view->GlBackend()); }

    // Puts a point cloud into the document and tells the views, as a successful open does.
    void ShowPoints(const std::vector<Eigen::Vector3f>& positions, const Eigen::Vector3d& origin = Eigen::Vector3d::Zero())
    {
        PointCloudData cloud;
        cloud.positions.assign(positions.begin(), positions.end());
        cloud.origin = origin;
        cloud.ComputeBounds();
        document.SetScene(std::move(cloud));
    }

    void ShowSplats(GaussianData splats)
    {
        splats.ComputeBounds();
        document.SetScene(std::move(splats));
    }

    // The document's cloud, which the test has put in (ShowPoints, or a file it opened).
    const PointCloudData& Cloud() const { return *document.PointCloud(); }

    // Paints, as the window would, and returns the pixel at client (x, y), y growing downwards.
    std::optional<Rgba8> PaintAndRead(int x, int y)
    {
        view->OnDraw();
        return Headless().ReadColor(x, kHeight - 1 - y);
    }

    // Pixels of the last paint that differ from the background colour.
    int PixelsUnlike(const Rgba8& background)
    {
        const std::vector<std::uint8_t> image = Headless().ReadColorImage();
        int count = 0;
        for (std::size_t i = 0; i < image.size(); i += 4)
            if (image[i] != background[0] || image[i + 1] != background[1] || image[i + 2] != background[2])
                ++count;
        return count;
    }

    // The client pixel where a world point is drawn by the view's current camera.
    Eigen::Vector2f ProjectToClient(const Eigen::Vector3f& point)
    {
        ViewCamera camera = view->Camera();
        if (const SceneBounds* bounds = view->Bounds())
            camera.UpdateClipPlanes(bounds->boundsMin, bounds->boundsMax);
        const Eigen::Vector4f clip = camera.ProjectionMatrix(static_cast<float>(kWidth) / kHeight) *
                                     camera.ViewMatrix() * point.homogeneous();
        const Eigen::Vector3f ndc = clip.head<3>() / clip.w();
        return {(ndc.x() + 1.0f) * 0.5f * kWidth, (1.0f - ndc.y()) * 0.5f * kHeight};
    }

    RecordingDesktop desktop;
    Document document{desktop};
    std::unique_ptr<SceneView> view;
};

}  // namespace testsupport
