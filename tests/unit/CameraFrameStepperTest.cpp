#include "view/CameraFrameStepper.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

CameraPoseSet Frames(std::size_t count)
{
    CameraPoseSet poses;
    poses.frames.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        poses.frames[i].fovY = static_cast<float>(i);  // tells the frames apart
    return poses;
}

// Shows every frame but those listed; records the frames it was asked to show and the index
// the stepper reported meanwhile.
struct Shower {
    std::set<int> refused;
    std::vector<int> asked;
    std::vector<int> indexWhileShown;
    const CameraFrameStepper* stepper = nullptr;

    CameraFrameStepper::ShowFrame Show()
    {
        return [this](const CameraFrame& frame, float) {
            const int k = static_cast<int>(frame.fovY);
            asked.push_back(k);
            indexWhileShown.push_back(stepper->Index());
            return !refused.contains(k);
        };
    }
};

}  // namespace

TEST(CameraFrameStepper, StepsFromNoFrameToTheFirstAndWrapsBothWays)
{
    CameraFrameStepper stepper;
    EXPECT_EQ(stepper.Index(), -1);
    EXPECT_EQ(stepper.Next(), 0);
    EXPECT_EQ(stepper.Previous(), 0);

    const CameraPoseSet poses = Frames(4);
    Shower shower;
    shower.stepper = &stepper;
    const std::pair<int, int> cases[] = {{-1, 3}, {4, 0}, {-5, 3}, {9, 1}, {INT32_MIN, 0}, {INT32_MAX, 3}};
    for (const auto& [index, expected] : cases) {
        stepper.GoTo(poses, index, shower.Show());
        EXPECT_EQ(stepper.Index(), expected) << index;
        EXPECT_EQ(shower.indexWhileShown.back(), expected) << index;
    }
    EXPECT_EQ(stepper.Next(), 4);  // wrapped by the next GoTo
    EXPECT_EQ(stepper.Previous(), 2);
    stepper.Forget();
    EXPECT_EQ(stepper.Index(), -1);
}

TEST(CameraFrameStepper, FramesThatCannotBeShownAreSkippedInTheStepsDirection)
{
    CameraFrameStepper stepper;
    Shower shower;
    shower.stepper = &stepper;
    shower.refused = {1, 2};
    const CameraPoseSet poses = Frames(5);

    stepper.GoTo(poses, 0, shower.Show());
    stepper.GoTo(poses, stepper.Next(), shower.Show());
    EXPECT_EQ(stepper.Index(), 3);
    EXPECT_EQ(shower.asked, (std::vector<int>{0, 1, 2, 3}));

    shower.asked.clear();
    stepper.GoTo(poses, stepper.Previous(), shower.Show());
    EXPECT_EQ(stepper.Index(), 0);
    EXPECT_EQ(shower.asked, (std::vector<int>{2, 1, 0}));

    // None can be shown: every frame is tried once and the index stays.
    shower.refused = {0, 1, 2, 3, 4};
    shower.asked.clear();
    stepper.GoTo(poses, 3, shower.Show());
    EXPECT_EQ(stepper.Index(), 0);
    EXPECT_EQ(shower.asked.size(), 5u);

    // No frames at all: nothing is asked.
    shower.asked.clear();
    stepper.GoTo(CameraPoseSet{}, 2, shower.Show());
    EXPECT_TRUE(shower.asked.empty());
    EXPECT_EQ(stepper.Index(), 0);
}
