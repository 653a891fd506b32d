#pragma once

#include "gl/GlObject.h"
#include "gl/GlTexture.h"

#include <Eigen/Core>

#include <array>

// Eye-dome lighting: shading from depth alone, which shows the shape of a cloud that has no
// normals. What is drawn between Begin and End lands in targets of its own; End shades each
// covered pixel by how far it lies behind its neighbours at `radius` pixels (log-depth
// differences, so the look does not depend on the scene's scale) and writes colour and depth
// to the framebuffer that was bound at Begin. Pixels nothing covered are left as they were.
//
// Every call needs the view's context current; Release (or destruction) deletes the targets.
class EyeDomeLighting {
public:
    // Binds the targets, sized to the current viewport, and clears them; false (leaving the
    // framebuffer as it was) when they cannot be made, and the caller then draws unshaded.
    bool Begin();
    // `projection` is the one the points were drawn with; strength 1 is a moderate look.
    void End(const Eigen::Matrix4f& projection, float strength, float radius);
    void Release();

    GLuint Framebuffer() const { return m_framebuffer.Name(); }

private:
    bool EnsureTargets(int width, int height);
    bool EnsureProgram();

    GlFramebuffer m_framebuffer;
    GlTexture2D m_color;
    GlTexture2D m_depth;
    int m_width = 0;
    int m_height = 0;
    GlProgram m_program;
    GlVertexArray m_emptyVao;
    GLint m_previousFramebuffer = 0;
    std::array<GLint, 4> m_viewport{};
    std::array<GLfloat, 4> m_clearColor{};
};
