#pragma once

#include "gl/GlObject.h"
#include "render/IRenderer.h"

#include <epoxy/gl.h>

#include <Eigen/Core>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct GaussianData;

// Draws a Gaussian splat scene: every splat is a screen-aligned quad with an elliptical
// Gaussian footprint, coloured from its spherical harmonics (and optionally tinted by its
// segment), blended back to front with premultiplied alpha.
//
// The splat data lives in four shader storage buffers (SplatBuf: 64-byte records with the
// packed covariance; OrderBuf: the draw order; SHBuf: higher-order SH; ObjIdBuf: segment ids).
// The back-to-front order follows the viewing direction: when it has turned by more than
// about 0.81 degrees, Draw starts one background thread that re-sorts the splats on the CPU.
// The thread hands its result over under sortMutex with the sortReady/sortBusy flags and
// then calls onSorted (from the sort thread); the next Draw uploads the new order. The UI
// thread joins the thread before it touches the sorter's arrays, and makes every GL call.
//
// The GL objects are owned by this object: ReleaseGpuResources (also run by the destructor)
// deletes them, with the context current.
class GaussianSplatRenderer final : public IRenderer {
public:
    // onSorted runs on the sort thread after every finished background sort; may be empty.
    explicit GaussianSplatRenderer(std::function<void()> onSorted = {});
    ~GaussianSplatRenderer() override;
    GaussianSplatRenderer(const GaussianSplatRenderer&) = delete;
    GaussianSplatRenderer& operator=(const GaussianSplatRenderer&) = delete;

    bool UploadSplats(const GaussianData& data);
    void Draw(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection) override;
    void DrawPick(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection) override;
    void SetPointStyle(const PointStyle&) override {}
    void Resize(int, int) override {}
    void ReleaseGpuResources() override;

    // Re-sorts at once, on the calling thread, for this view and uploads the order (after an
    // upload, and after the camera jumped).
    void SortNow(const Eigen::Matrix4f& view);

    // The viewing direction of a view matrix: its negated third row, along which depth grows
    // away from the camera.
    static Eigen::Vector3f SortDirection(const Eigen::Matrix4f& view);

    // What was uploaded, for diagnostics and tests.
    struct GpuObjects {
        GLuint vao, splatBuffer, orderBuffer, shBuffer, objIdBuffer, splatProgram, pickProgram;
    };
    GpuObjects Objects() const;
    uint32_t SplatCount() const { return splatCount; }
    int32_t ShDegree() const { return shDegree; }
    int32_t ShRestCount() const { return shRestCount; }
    // The order in orderBuffer, farthest splat first.
    const std::vector<uint32_t>& DrawOrder() const { return drawOrder; }

    bool hasObjectIds = false;  // objIdBuffer holds one id per splat
    bool segEnabled = false;    // segment tinting on (starts on when ids were uploaded)
    float segBlend = 0.5f;      // 0: splat colour .. 1: segment colour
    uint32_t segSeed = 1;       // seed of the segment colours

private:
    bool EnsurePrograms();
    // Orders sortPositions along direction d into `order` with the sorter's scratch arrays;
    // false when there is nothing to order.
    bool SortByDepth(const Eigen::Vector3f& d, std::vector<uint32_t>& order);
    void SortWorkerMain(Eigen::Vector3f d);
    void MaintainDrawOrder(const Eigen::Matrix4f& view);
    void StartBackgroundSort(const Eigen::Vector3f& d);
    void UploadDrawOrder();
    void JoinSortThread();
    // Sets shDegree and shRestCount and stores the coefficients when the shader will read them.
    void UploadShCoefficients(const GaussianData& data, std::size_t maxBlockBytes);
    // Deletes the scene's buffers and forgets what the last upload set (count, SH, ids).
    void DeleteSceneBuffers();

    GlVertexArray vao;
    GlBuffer splatBuffer;
    GlBuffer orderBuffer;
    GlBuffer shBuffer;     // none when the scene has no usable higher-order SH
    GlBuffer objIdBuffer;  // none when the scene has no ids
    uint32_t splatCount = 0;
    int32_t shDegree = 0;
    int32_t shRestCount = 0;
    GlProgram splatProgram;
    GlProgram pickProgram;

    // Sorter state. While the sort thread runs it owns sortPositions (reading), depthKeys,
    // radixKeys, radixScratch and workerOrder.
    std::vector<Eigen::Vector3f> sortPositions;
    std::vector<uint32_t> drawOrder;
    std::vector<float> depthKeys;
    std::vector<uint32_t> radixKeys;
    std::vector<uint32_t> workerOrder;
    std::vector<uint64_t> radixScratch;
    std::thread sortThread;
    std::mutex sortMutex;               // guards pendingOrder and pendingDir
    std::vector<uint32_t> pendingOrder;
    Eigen::Vector3f pendingDir = Eigen::Vector3f::Zero();
    std::atomic<bool> sortBusy{false};   // a background sort is running
    std::atomic<bool> sortReady{false};  // pendingOrder holds a result not yet applied
    Eigen::Vector3f lastSortDir = Eigen::Vector3f::Zero();
    bool orderDirty = true;
    const std::function<void()> onSorted;
};
