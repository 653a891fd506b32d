#include "render/GaussianSplatRenderer.h"

#include "scene/GaussianData.h"
#include "platform/Log.h"
#include "render/ShaderProgram.h"
#include "render/SplatDepthSort.h"
#include "render/SplatRecords.h"
#include "render/SplatShaders.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <numeric>
#include <string>
#include <system_error>

namespace {

// A new sort starts when the viewing direction has turned by more than about 0.81 degrees.
constexpr float kResortCosine = 0.9999f;
constexpr float kPickPointSize = 15.0f;
// The shaders index SplatBuf with 32-bit arithmetic (four vec4 per splat).
constexpr std::size_t kMaxSplats = std::size_t{1} << 30;
// Splat records are packed and stored in slices of this many, to bound the CPU copy.
constexpr std::size_t kRecordsPerSlice = 65536;

GlBuffer CreateStorageBuffer(std::size_t bytes, const void* data, GLenum usage)
{
    GlBuffer buffer = GlBuffer::Create();
    glNamedBufferData(buffer.Name(), static_cast<GLsizeiptr>(bytes), data, usage);
    return buffer;
}

// Builds a program into an owner; an empty owner when the build failed (and was logged).
GlProgram BuildOwnedProgram(const char* vertexSource, const char* fragmentSource)
{
    GLuint name = 0;
    ShaderProgram::Build(name, vertexSource, fragmentSource);
    return GlProgram::Adopt(name);
}

// The largest storage block a shader may address, in bytes.
std::size_t MaxStorageBlockBytes()
{
    GLint64 bytes = 0;
    glGetInteger64v(GL_MAX_SHADER_STORAGE_BLOCK_SIZE, &bytes);
    return static_cast<std::size_t>(std::max<GLint64>(bytes, 0));
}

// Takes the pending GL errors (a bounded number: a lost context may keep reporting) and
// tells whether one of them was GL_OUT_OF_MEMORY.
bool TakeGlErrorsFindingOutOfMemory()
{
    bool outOfMemory = false;
    for (int i = 0; i < 16; ++i) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR)
            break;
        outOfMemory = outOfMemory || error == GL_OUT_OF_MEMORY;
    }
    return outOfMemory;
}

// Uniform setters that skip a uniform the program lacks.
class Uniforms {
public:
    explicit Uniforms(GLuint program) : m_program(program) {}
    void Set(const char* name, const Eigen::Matrix4f& m) const
    {
        if (const GLint at = Location(name); at >= 0)
            glUniformMatrix4fv(at, 1, GL_FALSE, m.data());
    }
    void Set(const char* name, const Eigen::Vector3f& v) const
    {
        if (const GLint at = Location(name); at >= 0)
            glUniform3f(at, v.x(), v.y(), v.z());
    }
    void Set(const char* name, float x, float y) const
    {
        if (const GLint at = Location(name); at >= 0)
            glUniform2f(at, x, y);
    }
    void Set(const char* name, float v) const
    {
        if (const GLint at = Location(name); at >= 0)
            glUniform1f(at, v);
    }
    void Set(const char* name, int v) const
    {
        if (const GLint at = Location(name); at >= 0)
            glUniform1i(at, v);
    }
    void Set(const char* name, uint32_t v) const
    {
        if (const GLint at = Location(name); at >= 0)
            glUniform1ui(at, v);
    }

private:
    GLint Location(const char* name) const { return glGetUniformLocation(m_program, name); }
    GLuint m_program;
};

void LogLine(const std::string& line)
{
    Log(LogLevel::Error, "GaussianSplatRenderer", line);
}

GlBuffer UploadSplatRecords(const GaussianData& data)
{
    const std::size_t n = data.positions.size();
    GlBuffer buffer = CreateStorageBuffer(n * sizeof(SplatRecord), nullptr, GL_STATIC_DRAW);
    std::vector<SplatRecord> slice(std::min(n, kRecordsPerSlice));
    for (std::size_t first = 0; first < n; first += slice.size()) {
        const std::size_t count = std::min(slice.size(), n - first);
        PackSplatRecords(data, first, count, slice.data());
        glNamedBufferSubData(buffer.Name(), static_cast<GLintptr>(first * sizeof(SplatRecord)),
                             static_cast<GLsizeiptr>(count * sizeof(SplatRecord)), slice.data());
    }
    return buffer;
}

}  // namespace

GaussianSplatRenderer::GaussianSplatRenderer(std::function<void()> onSortedCallback)
    : onSorted(std::move(onSortedCallback))
{
}

GaussianSplatRenderer::~GaussianSplatRenderer()
{
    ReleaseGpuResources();
}

Eigen::Vector3f GaussianSplatRenderer::SortDirection(const Eigen::Matrix4f& view)
{
    return -Eigen::Vector3f(view(2, 0), view(2, 1), view(2, 2));
}

GaussianSplatRenderer::GpuObjects GaussianSplatRenderer::Objects() const
{
    return {vao.Name(),      splatBuffer.Name(),  orderBuffer.Name(), shBuffer.Name(),
            objIdBuffer.Name(), splatProgram.Name(), pickProgram.Name()};
}

bool GaussianSplatRenderer::EnsurePrograms()
{
    if (splatProgram.Name() == 0) {
        splatProgram = BuildOwnedProgram(SplatShaders::kSplatVertex, SplatShaders::kSplatFragment);
        if (splatProgram.Name() == 0) {
            LogLine("failed to create splat shader.");
            return false;
        }
    }
    if (pickProgram.Name() == 0) {
        pickProgram = BuildOwnedProgram(SplatShaders::kPickVertex, SplatShaders::kPickFragment);
        if (pickProgram.Name() == 0) {
            LogLine("failed to create pick shader.");
            return false;
        }
    }
    return true;
}

void GaussianSplatRenderer::DeleteSceneBuffers()
{
    splatBuffer.Reset();
    orderBuffer.Reset();
    shBuffer.Reset();
    objIdBuffer.Reset();
    vao.Reset();
    splatCount = 0;
    shDegree = 0;
    shRestCount = 0;
    hasObjectIds = false;
    segEnabled = false;
}

bool GaussianSplatRenderer::UploadSplats(const GaussianData& data)
{
    if (!EnsurePrograms())
        return false;
    JoinSortThread();
    sortReady = false;
    DeleteSceneBuffers();
    sortPositions.clear();
    drawOrder.clear();

    const std::size_t n = data.positions.size();
    if (n == 0)
        return true;
    if (!SplatArraysConsistent(data)) {
        LogLine("GaussianData size mismatch.");
        return false;
    }
    // A buffer larger than the shader can address would not be drawn correctly, if at all.
    const std::size_t maxBlockBytes = MaxStorageBlockBytes();
    if (n > kMaxSplats || n * sizeof(SplatRecord) > maxBlockBytes) {
        LogLine(std::to_string(n) + " splats need " + std::to_string(n * sizeof(SplatRecord)) +
            " bytes of shader storage; this GPU allows " + std::to_string(maxBlockBytes) + ".");
        return false;
    }

    TakeGlErrorsFindingOutOfMemory();  // forget errors of earlier calls
    vao = GlVertexArray::Create();

    splatBuffer = UploadSplatRecords(data);

    drawOrder.resize(n);
    std::iota(drawOrder.begin(), drawOrder.end(), 0u);
    orderBuffer = CreateStorageBuffer(n * sizeof(uint32_t), drawOrder.data(), GL_DYNAMIC_DRAW);

    UploadShCoefficients(data, maxBlockBytes);

    if (data.hasObjectIds && data.objectIds.size() == n) {
        objIdBuffer = CreateStorageBuffer(n * sizeof(uint32_t), data.objectIds.data(), GL_STATIC_DRAW);
        hasObjectIds = true;
    }
    segEnabled = hasObjectIds;

    if (TakeGlErrorsFindingOutOfMemory()) {
        LogLine("out of GPU memory for " + std::to_string(n) + " splats.");
        DeleteSceneBuffers();
        drawOrder.clear();
        return false;
    }

    sortPositions.assign(data.positions.begin(), data.positions.end());
    splatCount = static_cast<uint32_t>(n);
    orderDirty = true;
    return true;
}

void GaussianSplatRenderer::UploadShCoefficients(const GaussianData& data, std::size_t maxBlockBytes)
{
    shRestCount = data.shRestCount;
    shDegree = ShDegreeSupportedBy(data.shDegree, shRestCount);
    const std::size_t count = data.shRest.size();
    if (shDegree < 1 || count != static_cast<std::size_t>(shRestCount) * data.positions.size()) {
        shDegree = 0;
        shRestCount = 0;
        return;
    }
    if (count * sizeof(float) > maxBlockBytes || count > std::numeric_limits<uint32_t>::max()) {
        LogLine("SH coefficients need " + std::to_string(count * sizeof(float)) + " bytes of shader storage; this GPU allows " +
            std::to_string(maxBlockBytes) + ". Drawing base colours only.");
        shDegree = 0;
        shRestCount = 0;
        return;
    }
    shBuffer = CreateStorageBuffer(count * sizeof(float), data.shRest.data(), GL_STATIC_DRAW);
}

bool GaussianSplatRenderer::SortByDepth(const Eigen::Vector3f& d, std::vector<uint32_t>& order)
{
    return SortSplatsByDepth(sortPositions, d, depthKeys, radixKeys, radixScratch, order);
}

void GaussianSplatRenderer::SortWorkerMain(Eigen::Vector3f d)
{
    bool sorted = false;
    try {
        sorted = SortByDepth(d, workerOrder);
    } catch (const std::bad_alloc&) {
        LogLine("out of memory while sorting the splats.");
    }
    if (!sorted) {
        sortBusy = false;
        return;
    }
    {
        std::lock_guard lock(sortMutex);
        workerOrder.swap(pendingOrder);
        pendingDir = d;
    }
    sortReady = true;
    // Cleared last: once Draw sees it false, this thread only needs joining.
    sortBusy = false;
    if (onSorted)
        onSorted();
}

void GaussianSplatRenderer::JoinSortThread()
{
    if (sortThread.joinable())
        sortThread.join();
}

void GaussianSplatRenderer::UploadDrawOrder()
{
    if (orderBuffer.Name() == 0 || drawOrder.size() != splatCount)
        return;
    glNamedBufferSubData(orderBuffer.Name(), 0, static_cast<GLsizeiptr>(drawOrder.size() * sizeof(uint32_t)),
                         drawOrder.data());
}

void GaussianSplatRenderer::SortNow(const Eigen::Matrix4f& view)
{
    if (splatCount == 0 || orderBuffer.Name() == 0)
        return;
    JoinSortThread();
    sortBusy = false;
    sortReady = false;  // a result not yet applied is older than this one
    const Eigen::Vector3f d = SortDirection(view);
    if (!SortByDepth(d, workerOrder))
        return;
    drawOrder.swap(workerOrder);
    lastSortDir = d;
    orderDirty = false;
    UploadDrawOrder();
}

void GaussianSplatRenderer::StartBackgroundSort(const Eigen::Vector3f& d)
{
    JoinSortThread();
    sortBusy = true;
    try {
        sortThread = std::thread(&GaussianSplatRenderer::SortWorkerMain, this, d);
    } catch (const std::system_error& error) {
        // Without a thread the order is kept until the next turn tries again.
        sortBusy = false;
        LogLine(std::string("cannot start the sort thread: ") + error.what());
    }
}

void GaussianSplatRenderer::MaintainDrawOrder(const Eigen::Matrix4f& view)
{
    if (sortReady.exchange(false)) {
        {
            std::lock_guard lock(sortMutex);
            drawOrder.swap(pendingOrder);
            lastSortDir = pendingDir;
        }
        UploadDrawOrder();
    }
    const Eigen::Vector3f d = SortDirection(view);
    if (!sortBusy && (orderDirty || d.dot(lastSortDir) < kResortCosine)) {
        StartBackgroundSort(d);
        orderDirty = false;
    }
}

void GaussianSplatRenderer::Draw(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection)
{
    if (splatCount == 0 || splatProgram.Name() == 0)
        return;
    MaintainDrawOrder(view);

    GLint viewport[4] = {0, 0, 1, 1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const float width = static_cast<float>(std::max(viewport[2], 1));
    const float height = static_cast<float>(std::max(viewport[3], 1));

    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    glUseProgram(splatProgram.Name());

    // Column c, row r of a column-major matrix is Eigen's (r, c).
    const Eigen::Matrix3f rotation = view.topLeftCorner<3, 3>();
    const Eigen::Vector3f translation = view.block<3, 1>(0, 3);
    const Uniforms uniforms(splatProgram.Name());
    uniforms.Set("uView", view);
    uniforms.Set("uProj", projection);
    uniforms.Set("uViewport", width, height);
    uniforms.Set("uFocal", projection(0, 0) * width * 0.5f, projection(1, 1) * height * 0.5f);
    uniforms.Set("uOrtho", std::abs(projection(3, 2)) < 1e-6f ? 1 : 0);
    uniforms.Set("uCamPos", Eigen::Vector3f(-(rotation.transpose() * translation)));
    uniforms.Set("uShDegree", static_cast<int>(shDegree));
    uniforms.Set("uShRestCount", static_cast<int>(shRestCount));
    uniforms.Set("uSegEnabled", hasObjectIds && segEnabled ? 1 : 0);
    uniforms.Set("uSegBlend", segBlend);
    uniforms.Set("uSegSeed", segSeed);

    // The shader reads bindings 2 and 3 only when their uniforms say so, but something is
    // always bound there.
    const GLuint records = splatBuffer.Name();
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 0, records);
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 1, orderBuffer.Name());
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 2, shBuffer.Name() != 0 ? shBuffer.Name() : records);
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 3, objIdBuffer.Name() != 0 ? objIdBuffer.Name() : records);
    glBindVertexArray(vao.Name());
    glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, static_cast<GLsizei>(splatCount));

    glBindVertexArray(0);
    for (GLuint binding = 0; binding < 4; ++binding)
        glBindBufferBase(GL_SHADER_STORAGE_BUFFER, binding, 0);
    glUseProgram(0);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
}

void GaussianSplatRenderer::DrawPick(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection)
{
    if (splatCount == 0 || pickProgram.Name() == 0)
        return;
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glUseProgram(pickProgram.Name());
    const Uniforms uniforms(pickProgram.Name());
    uniforms.Set("uViewProj", Eigen::Matrix4f(projection * view));
    uniforms.Set("uPointSize", kPickPointSize);
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 0, splatBuffer.Name());
    glBindVertexArray(vao.Name());
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(splatCount));
    glBindVertexArray(0);
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 0, 0);
    glUseProgram(0);
}

void GaussianSplatRenderer::ReleaseGpuResources()
{
    JoinSortThread();
    DeleteSceneBuffers();
    splatProgram.Reset();
    pickProgram.Reset();
    // Nothing is uploaded any more: give the sorter's memory back too.
    for (auto* array : {&drawOrder, &radixKeys, &workerOrder, &pendingOrder})
        std::vector<uint32_t>().swap(*array);
    std::vector<Eigen::Vector3f>().swap(sortPositions);
    std::vector<float>().swap(depthKeys);
    std::vector<uint64_t>().swap(radixScratch);
    sortReady = false;
    orderDirty = true;
}
