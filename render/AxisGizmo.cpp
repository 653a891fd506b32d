#include "render/AxisGizmo.h"

#include "platform/Log.h"
#include "render/AxisGizmoMeshes.h"
#include "render/AxisGizmoShaders.h"
#include "render/GpuObjects.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

constexpr int kSquareSize = 120;
constexpr int kMargin = 10;

constexpr float kAxisLineWidth = 3.0f;
constexpr float kLetterLineWidth = 2.0f;
constexpr float kStandingLineWidth = 1.0f;

// Uploads a mesh into a new buffer and vertex array; the vertex count, 0 when the buffer
// could not be allocated (the mesh is then not drawn).
template <class Vertex>
std::uint32_t UploadMesh(const std::vector<Vertex>& mesh, GlVertexArray& vao, GlBuffer& buffer,
                         std::initializer_list<FloatAttribute> attributes)
{
    buffer = CreateStaticBuffer(mesh);
    vao = GlVertexArray::Create();
    if (buffer.Name() == 0)
        return 0;
    AttachFloatAttributes(vao, 0, buffer, sizeof(Vertex), attributes);
    return static_cast<std::uint32_t>(mesh.size());
}

void SetMvp(GLuint program, GLint location, const Eigen::Matrix4f& mvp)
{
    glUseProgram(program);
    glUniformMatrix4fv(location, 1, GL_FALSE, mvp.data());
}

void DrawMesh(const GlVertexArray& vao, GLenum mode, std::uint32_t count)
{
    glBindVertexArray(vao.Name());
    glDrawArrays(mode, 0, static_cast<GLsizei>(count));
}

// Wide lines are refused with an error by forward-compatible contexts; elsewhere the driver
// clamps to its range. Where they are refused the gizmo draws one-pixel lines.
float WidestLine()
{
    GLint flags = 0;
    glGetIntegerv(GL_CONTEXT_FLAGS, &flags);
    if (flags & GL_CONTEXT_FLAG_FORWARD_COMPATIBLE_BIT)
        return 1.0f;
    std::array<GLfloat, 2> range = {1.0f, 1.0f};
    glGetFloatv(GL_ALIASED_LINE_WIDTH_RANGE, range.data());
    return std::max(range[1], 1.0f);
}

// Builds `program` from `vertexSource` and the shared fragment stage unless it exists; logs
// `failure` when the build fails.
bool EnsureProgram(GlProgram& program, GLint& mvpLocation, const char* vertexSource, const char* failure)
{
    if (program.Name() != 0)
        return true;
    program = BuildProgram(vertexSource, kGizmoFragmentShader);
    if (program.Name() == 0) {
        Log(LogLevel::Error, "AxisGizmo", failure);
        return false;
    }
    mvpLocation = glGetUniformLocation(program.Name(), "uMVP");
    return true;
}

}  // namespace

bool AxisGizmo::EnsurePrograms()
{
    return EnsureProgram(m_lineProgram, m_lineMvpLocation, kGizmoLineVertexShader,
                         "failed to create line shader.") &&
           EnsureProgram(m_labelProgram, m_labelMvpLocation, kGizmoLabelVertexShader,
                         "failed to create text shader.");
}

void AxisGizmo::BuildMeshes()
{
    constexpr GLuint colorOffset = offsetof(GizmoLineVertex, color);
    m_lineVertexCount =
        UploadMesh(BuildGizmoAxisLines(), m_lineVao, m_lineBuffer, {{0, 3, 0}, {1, 3, colorOffset}});
    m_coneVertexCount = UploadMesh(BuildGizmoCones(), m_coneVao, m_coneBuffer, {{0, 3, 0}, {1, 3, colorOffset}});
    m_labelVertexCount =
        UploadMesh(BuildGizmoLetters(), m_labelVao, m_labelBuffer,
                   {{0, 3, 0}, {1, 2, offsetof(GizmoLabelVertex, offset)}, {2, 3, offsetof(GizmoLabelVertex, color)}});
}

bool AxisGizmo::Create()
{
    if (!EnsurePrograms())
        return false;
    m_maxLineWidth = WidestLine();
    BuildMeshes();
    return true;
}

void AxisGizmo::SetLineWidth(float width) const
{
    glLineWidth(std::min(width, m_maxLineWidth));
}

void AxisGizmo::Draw(const Eigen::Matrix4f& view, int width, int height)
{
    if (m_lineProgram.Name() == 0 || m_lineVertexCount == 0 || width <= 0 || height <= 0)
        return;

    std::array<GLint, 4> savedViewport = {};
    glGetIntegerv(GL_VIEWPORT, savedViewport.data());
    const int x = width - kSquareSize - kMargin;
    const int y = height - kSquareSize - kMargin;
    glViewport(x, y, kSquareSize, kSquareSize);
    // The gizmo gets a depth buffer of its own, so the scene can never hide it.
    glScissor(x, y, kSquareSize, kSquareSize);
    glEnable(GL_SCISSOR_TEST);
    glDepthMask(GL_TRUE);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);

    const Eigen::Matrix4f mvp = GizmoTransform(view);
    const bool blendWasOn = glIsEnabled(GL_BLEND) == GL_TRUE;
    glEnable(GL_DEPTH_TEST);
    if (blendWasOn)
        glDisable(GL_BLEND);

    SetMvp(m_lineProgram.Name(), m_lineMvpLocation, mvp);
    if (m_coneVertexCount > 0)
        DrawMesh(m_coneVao, GL_TRIANGLES, m_coneVertexCount);
    SetLineWidth(kAxisLineWidth);
    DrawMesh(m_lineVao, GL_LINES, m_lineVertexCount);

    // The letters are drawn over everything, cones included.
    glDisable(GL_DEPTH_TEST);
    if (m_labelProgram.Name() != 0 && m_labelVertexCount > 0) {
        SetLineWidth(kLetterLineWidth);
        SetMvp(m_labelProgram.Name(), m_labelMvpLocation, mvp);
        DrawMesh(m_labelVao, GL_LINES, m_labelVertexCount);
    }

    glEnable(GL_DEPTH_TEST);
    SetLineWidth(kStandingLineWidth);
    glBindVertexArray(0);
    glUseProgram(0);
    if (blendWasOn)
        glEnable(GL_BLEND);
    glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
}

void AxisGizmo::Release()
{
    m_lineBuffer.Reset();
    m_lineVao.Reset();
    m_coneBuffer.Reset();
    m_coneVao.Reset();
    m_labelBuffer.Reset();
    m_labelVao.Reset();
    m_lineProgram.Reset();
    m_labelProgram.Reset();
    m_lineVertexCount = 0;
    m_coneVertexCount = 0;
    m_labelVertexCount = 0;
    m_lineMvpLocation = -1;
    m_labelMvpLocation = -1;
}

bool AxisGizmo::HoldsGpuObjects() const
{
    return m_lineVao.Name() != 0 || m_lineBuffer.Name() != 0 || m_coneVao.Name() != 0 || m_coneBuffer.Name() != 0 ||
           m_labelVao.Name() != 0 || m_labelBuffer.Name() != 0 || m_lineProgram.Name() != 0 ||
           m_labelProgram.Name() != 0;
}
