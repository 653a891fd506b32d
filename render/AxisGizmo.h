#pragma once

#include "gl/GlObject.h"

#include <Eigen/Core>

#include <cstdint>

// The orientation indicator in the top-right corner of the view: three coloured axes with
// cone arrow heads and the letters X, Y and Z, turned like the world as the camera sees it.
// Its meshes and programs are made once by Create and drawn after the scene in every frame.
//
// Every operation needs the view's context current, destruction included when anything is
// still held; a gizmo that holds nothing makes no GL call.
class AxisGizmo {
public:
    AxisGizmo() = default;
    AxisGizmo(const AxisGizmo&) = delete;
    AxisGizmo& operator=(const AxisGizmo&) = delete;

    // Builds the programs that are missing and (re)builds the three meshes. False, with a log
    // line, when a program cannot be built; the gizmo then draws nothing.
    bool Create();
    // Draws the overlay into a 120 x 120 pixel square 10 pixels from the top-right corner of a
    // client area of the given size. Leaves the viewport, blending, depth test and writes,
    // scissor test and line width as the view's other passes expect them.
    void Draw(const Eigen::Matrix4f& view, int width, int height);
    // Deletes every GL object; harmless when called again.
    void Release();

    std::uint32_t LineVertexCount() const { return m_lineVertexCount; }
    std::uint32_t ConeVertexCount() const { return m_coneVertexCount; }
    std::uint32_t LabelVertexCount() const { return m_labelVertexCount; }
    GLuint LineProgram() const { return m_lineProgram.Name(); }
    GLuint LabelProgram() const { return m_labelProgram.Name(); }
    bool HoldsGpuObjects() const;

private:
    bool EnsurePrograms();
    void BuildMeshes();
    void SetLineWidth(float width) const;

    GlVertexArray m_lineVao;
    GlBuffer m_lineBuffer;
    std::uint32_t m_lineVertexCount = 0;
    GlVertexArray m_coneVao;
    GlBuffer m_coneBuffer;
    std::uint32_t m_coneVertexCount = 0;
    GlVertexArray m_labelVao;
    GlBuffer m_labelBuffer;
    std::uint32_t m_labelVertexCount = 0;
    GlProgram m_lineProgram;
    GlProgram m_labelProgram;
    GLint m_lineMvpLocation = -1;
    GLint m_labelMvpLocation = -1;
    float m_maxLineWidth = 1.0f;  // widest line the context draws without an error
};
