#include "tests/gl/ViewTestFixture.h"
#include "settings/AppSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

using Eigen::Vector2d;
using Eigen::Vector3f;

namespace {

class PinholeRenderTest : public testsupport::ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        if (IsSkipped())
            return;
        AppSettings settings = view->DisplaySettings();
        settings.showAxisGizmo = false;
        view->SetDisplaySettings(settings);
        // One point on the camera's axis and one above it, seen from z = 5 looking along -z.
        ShowPoints({{0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}});
        CameraFrame frame;
        frame.transform(2, 3) = 5.0;
        frame.fovY = 2.0f * std::atan(0.5f * kHeight / kFocal);
        ASSERT_TRUE(view->ApplyCameraPose(frame, frame.fovY));
    }

    // Draws with the lens (none: the view's own projection) and returns the mean position of the
    // pixels unlike the background, in pixels from the left and top edges.
    std::optional<Vector2d> DrawnCentre(const std::optional<PinholeIntrinsics>& lens)
    {
        view->SetPinhole(lens);
        view->OnDraw();
        const std::vector<std::uint8_t> image = Headless().ReadColorImage();
        const std::uint8_t* background = image.data();  // a corner, far from both points
        Vector2d sum = Vector2d::Zero();
        int count = 0;
        for (int row = 0; row < kHeight; ++row) {
            for (int x = 0; x < kWidth; ++x) {
                const std::uint8_t* pixel = image.data() + (static_cast<std::size_t>(row) * kWidth + x) * 4;
                if (pixel[0] == background[0] && pixel[1] == background[1] && pixel[2] == background[2])
                    continue;
                // Rows come bottom first; pixel centres sit at half pixels.
                sum += Vector2d(x + 0.5, kHeight - row - 0.5);
                ++count;
            }
        }
        if (count == 0)
            return std::nullopt;
        return sum / count;
    }

    static constexpr float kFocal = 120.0f;
};

TEST_F(PinholeRenderTest, ACentredLensDrawsWhatTheViewDraws)
{
    const std::optional<Vector2d> plain = DrawnCentre(std::nullopt);
    const std::optional<Vector2d> centred =
        DrawnCentre(PinholeIntrinsics{kFocal, kFocal, 0.5f * kWidth, 0.5f * kHeight, kWidth, kHeight});
    ASSERT_TRUE(plain);
    ASSERT_TRUE(centred);
    // Half way between the image centre and the point kFocal / 5 pixels above it.
    EXPECT_NEAR(plain->x(), 0.5 * kWidth, 0.25);
    EXPECT_NEAR(plain->y(), 0.5 * kHeight - 0.5 * kFocal / 5.0, 0.25);
    EXPECT_NEAR(centred->x(), plain->x(), 1e-3);
    EXPECT_NEAR(centred->y(), plain->y(), 1e-3);
}

TEST_F(PinholeRenderTest, AnOffCentrePrincipalPointShiftsTheImageByItsOffset)
{
    const std::optional<Vector2d> centred =
        DrawnCentre(PinholeIntrinsics{kFocal, kFocal, 0.5f * kWidth, 0.5f * kHeight, kWidth, kHeight});
    const std::optional<Vector2d> shifted =
        DrawnCentre(PinholeIntrinsics{kFocal, kFocal, 0.5f * kWidth + 30.0f, 0.5f * kHeight - 20.0f, kWidth, kHeight});
    ASSERT_TRUE(centred);
    ASSERT_TRUE(shifted);
    EXPECT_NEAR(shifted->x() - centred->x(), 30.0, 0.25);
    EXPECT_NEAR(shifted->y() - centred->y(), -20.0, 0.25);

    // A longer vertical focal length spreads the two points apart along y only.
    const std::optional<Vector2d> taller =
        DrawnCentre(PinholeIntrinsics{kFocal, 2.0f * kFocal, 0.5f * kWidth, 0.5f * kHeight, kWidth, kHeight});
    ASSERT_TRUE(taller);
    EXPECT_NEAR(taller->x(), centred->x(), 0.25);
    EXPECT_NEAR(taller->y(), 0.5 * kHeight - kFocal / 5.0, 0.25);
}

}  // namespace
