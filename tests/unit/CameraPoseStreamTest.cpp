#include "io/poses/PoseReader.h"
#include "support/CameraPoseReference.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

// The reader takes the JSON text event by event and keeps only what it uses; it must give
// what the rules give when applied to the whole JSON tree, in particular where a key comes
// twice (the last one counts) or after the frames it affects.

namespace {

struct Outcome {
    bool ok = false;
    CameraPoseSet set;
    std::string error;
};

Outcome Read(const testsupport::ScratchDir& dir, const std::string& text)
{
    Outcome outcome;
    ReadResult<CameraPoseSet> read = ReadCameraPoses(dir.Write("poses.json", text).string());
    outcome.ok = read.Ok();
    if (read)
        outcome.set = read.TakeValue();
    else
        outcome.error = read.Failure().reason;
    return outcome;
}

Outcome Reference(const std::string& text)
{
    Outcome outcome;
    outcome.ok = testsupport::ReferenceCameraPoses(text, outcome.set, outcome.error);
    return outcome;
}

void ExpectSame(const Outcome& read, const Outcome& reference)
{
    ASSERT_EQ(read.ok, reference.ok) << read.error << " / " << reference.error;
    EXPECT_EQ(read.error, reference.error);
    EXPECT_EQ(read.set.defaultFovY, reference.set.defaultFovY);
    ASSERT_EQ(read.set.frames.size(), reference.set.frames.size());
    for (std::size_t i = 0; i < read.set.frames.size(); ++i) {
        EXPECT_EQ(read.set.frames[i].transform, reference.set.frames[i].transform) << i;
        EXPECT_EQ(read.set.frames[i].fovY, reference.set.frames[i].fovY) << i;
    }
}

const std::string kMatrix = "[[1,0,0,1],[0,1,0,2],[0,0,1,3],[0,0,0,1]]";

// Random JSON built from the keys the rules know and values of every kind, matrices among them.
class RandomPoseText {
public:
    explicit RandomPoseText(unsigned seed) : m_random(seed) {}

    std::string Document()
    {
        if (Chance(5))
            return Value(2);  // any value at the top
        std::string text = "{";
        const int keys = Pick(4);
        for (int k = 0; k < keys; ++k) {
            if (k)
                text += ",";
            text += Chance(3) ? "\"frames\":" + Frames() : Key() + ":" + Value(2);
        }
        return text + "}";
    }

private:
    bool Chance(int oneIn) { return Pick(oneIn) == 0; }
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    std::string Key()
    {
        static const char* keys[] = {"frames", "transform_matrix", "w", "h", "fl_y", "camera_angle_x", "camera_angle_y", "x"};
        return std::string("\"") + keys[Pick(8)] + "\"";
    }

    std::string Number()
    {
        static const char* numbers[] = {"0", "1", "-1", "300", "600", "0.5", "1e-3", "2.5e2", "-0.0", "18446744073709551615", "-7"};
        return numbers[Pick(11)];
    }

    std::string Matrix()
    {
        std::string text = "[";
        const bool rows = Chance(2);
        const int count = Chance(4) ? Pick(18) : rows ? 4 : 16;
        for (int i = 0; i < count; ++i) {
            if (i)
                text += ",";
            if (rows && !Chance(10)) {
                text += "[";
                const int columns = Chance(6) ? Pick(6) : 4;
                for (int c = 0; c < columns; ++c)
                    text += (c ? "," : "") + (Chance(20) ? Value(1) : Number());
                text += "]";
            } else {
                text += Chance(20) ? Value(1) : Number();
            }
        }
        return text + "]";
    }

    std::string Frame()
    {
        std::string text = "{";
        const int keys = Pick(5);
        for (int k = 0; k < keys; ++k) {
            if (k)
                text += ",";
            const std::string key = Chance(2) ? "\"transform_matrix\"" : Key();
            text += key + ":" + (key == "\"transform_matrix\"" && !Chance(8) ? Matrix() : Chance(2) ? Number() : Value(1));
        }
        return text + "}";
    }

    std::string Frames()
    {
        if (Chance(8))
            return Value(2);
        std::string text = "[";
        const int count = Pick(5);
        for (int i = 0; i < count; ++i)
            text += (i ? "," : "") + (Chance(6) ? Value(2) : Frame());
        return text + "]";
    }

    std::string Value(int depth)
    {
        switch (depth > 0 ? Pick(7) : Pick(4)) {
        case 0: return Number();
        case 1: return "\"text\"";
        case 2: return Chance(2) ? "null" : "true";
        case 3: return Number();
        case 4: return Matrix();
        case 5: {
            std::string text = "[";
            for (int i = Pick(3); i > 0; --i)
                text += Value(depth - 1) + (i > 1 ? "," : "");
            return text + "]";
        }
        default: {
            std::string text = "{";
            for (int i = Pick(3); i > 0; --i)
                text += Key() + ":" + Value(depth - 1) + (i > 1 ? "," : "");
            return text + "}";
        }
        }
    }

    std::mt19937 m_random;
};

}  // namespace

TEST(CameraPoseStream, RepeatedKeysAndKeysAfterTheFramesFollowTheWholeTreeRules)
{
    testsupport::ScratchDir dir;
    const std::string frame = "{\"transform_matrix\":" + kMatrix + "}";
    const std::string texts[] = {
        // The last "frames" counts, even when it is not an array.
        "{\"frames\":[" + frame + "],\"frames\":[" + frame + "," + frame + "]}",
        "{\"frames\":[" + frame + "],\"frames\":{}}",
        "{\"frames\":7,\"frames\":[" + frame + "]}",
        // Top-level "h" and "fl_y" after the frames still give their fields of view.
        "{\"frames\":[{\"fl_y\":300,\"transform_matrix\":" + kMatrix + "}],\"h\":600,\"fl_y\":150}",
        // A key given twice: its last value counts, a value that is no number leaves none.
        "{\"frames\":[{\"transform_matrix\":" + kMatrix + ",\"camera_angle_y\":0.5,\"camera_angle_y\":\"a\"}]}",
        "{\"frames\":[{\"transform_matrix\":" + kMatrix + ",\"transform_matrix\":[1,2]}]}",
        "{\"frames\":[{\"transform_matrix\":[1,2],\"transform_matrix\":" + kMatrix + "}]}",
        "{\"h\":600,\"fl_y\":300,\"h\":[600],\"frames\":[" + frame + "]}",
        // "frames" and matrices further down are not the file's.
        "{\"other\":{\"frames\":[" + frame + "]}}",
        "{\"frames\":[{\"x\":{\"transform_matrix\":" + kMatrix + "}}]}",
        "{\"frames\":[[" + frame + "]]}",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        ExpectSame(Read(dir, text), Reference(text));
    }
    const Outcome last = Read(dir, texts[0]);
    EXPECT_EQ(last.set.frames.size(), 2u);
    const Outcome late = Read(dir, texts[3]);
    ASSERT_TRUE(late.ok);
    EXPECT_FLOAT_EQ(late.set.defaultFovY, static_cast<float>(2 * std::atan(2.0)));
    EXPECT_FLOAT_EQ(late.set.frames[0].fovY, static_cast<float>(std::numbers::pi / 2));
}

TEST(CameraPoseStream, RandomDocumentsReadAsTheWholeTreeRulesSay)
{
    testsupport::ScratchDir dir;
    RandomPoseText random(20240611u);
    int loaded = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string text = random.Document();
        SCOPED_TRACE(text);
        const Outcome reference = Reference(text);
        loaded += reference.ok;
        ExpectSame(Read(dir, text), reference);
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(loaded, 100) << "the documents exercise loading, not only failures";
}
