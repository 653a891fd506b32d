#pragma once

#include "AllocationCounter.h"
#include "document/Document.h"
#include "platform/Log.h"
#include "platform/ThreadPool.h"
#include "support/RecordingDesktop.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace hostile {

inline const std::string kPointCloudFailed =
    "Failed to load the point cloud file.\nPlease check the file format (PLY / LAS) and its contents.";
inline const std::string kSplatFailed = "Failed to load the 3D Gaussian Splatting file.\nPlease check the file contents.";
inline const std::string kCameraPosesFailed = "Failed to load the camera pose file (transforms.json).\n";

// What reading may take beyond the file's own size: stream and block buffers, and the
// header (at most 1 MiB of text, a few times that as elements and properties).
inline constexpr std::size_t kSmallConstant = std::size_t{16} << 20;

inline std::string CannotOpenMessage(const std::string& path)
{
    return "ファイル " + path + " を開けませんでした。";
}

// What one open or load cost.
struct Cost {
    bool result = false;
    std::size_t peakBytes = 0;  // above what was allocated before
    double seconds = 0;
};

template <typename F>
Cost Measure(F&& work)
{
    const PeakAllocation peak;
    const auto start = std::chrono::steady_clock::now();
    Cost cost;
    cost.result = work();
    cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.peakBytes = peak.Bytes();
    return cost;
}

// A document opening files built to break the readers. Every open is measured; the figures go
// to the test's XML report (--gtest_output=xml) as properties named after the file.
class HostileDocument : public ::testing::Test {
protected:
    HostileDocument() { document.OpenCameraPoses(dir.Write("start.json", kStartPoses).string()); }

    Cost Open(const std::filesystem::path& path)
    {
        desktop.messageBoxes.clear();
        const Cost cost = Measure([&] { return document.Open(path.string()); });
        Record(path, cost);
        return cost;
    }

    Cost LoadPoses(const std::filesystem::path& path)
    {
        desktop.messageBoxes.clear();
        const Cost cost = Measure([&] { return document.OpenCameraPoses(path.string()); });
        Record(path, cost);
        return cost;
    }

    // The file fails in the ordinary way: one message box, an empty document, and no more
    // memory than the file's size and a small constant.
    void ExpectOrdinaryFailure(const std::filesystem::path& path, const std::string& message)
    {
        SCOPED_TRACE(path.filename().string());
        const std::uintmax_t size = FileSize(path);
        const Cost cost = Open(path);
        EXPECT_FALSE(cost.result);
        EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{message});
        EXPECT_EQ(document.Kind(), SceneKind::None);
        EXPECT_EQ(document.PointCloud(), nullptr);
        EXPECT_EQ(document.Splats(), nullptr);
        EXPECT_LE(cost.peakBytes, size + kSmallConstant) << "bytes allocated for a file of " << size;
    }

    void ExpectPosesFailure(const std::filesystem::path& path, const std::string& errorText)
    {
        SCOPED_TRACE(path.filename().string());
        const std::uintmax_t size = FileSize(path);
        const Cost cost = LoadPoses(path);
        EXPECT_FALSE(cost.result);
        EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{kCameraPosesFailed + errorText});
        EXPECT_EQ(document.CameraPoses().frames.size(), 1u) << "the earlier frames stay";
        EXPECT_LE(cost.peakBytes, size + kSmallConstant) << "bytes allocated for a file of " << size;
    }

    static std::uintmax_t FileSize(const std::filesystem::path& path)
    {
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(path, ec);
        return ec ? 0 : size;
    }

    testsupport::ScratchDir dir;
    testsupport::RecordingDesktop desktop;
    // The readers decode in ranges on a pool, as in the application: those ranges must be as
    // careful as one thread.
    ThreadPool pool{3};
    Document document{desktop, &pool};
    ScopedLogCapture log;

private:
    static constexpr const char* kStartPoses = R"({"frames":[{"transform_matrix":[[1,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]]}]})";

    void Record(const std::filesystem::path& path, const Cost& cost)
    {
        const std::string name = path.filename().string();
        RecordProperty(name + ".peak_bytes", std::to_string(cost.peakBytes));
        RecordProperty(name + ".file_bytes", std::to_string(FileSize(path)));
        RecordProperty(name + ".milliseconds", std::to_string(static_cast<long long>(cost.seconds * 1000)));
    }
};

}  // namespace hostile
