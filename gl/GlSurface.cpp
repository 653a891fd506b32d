#include "gl/GlSurface.h"

#include "platform/Log.h"

namespace {

// libepoxy resolves entry points lazily and aborts on one it cannot find, so before any
// other call make sure that it reaches the context's string query and sees desktop GL.
bool EntryPointsUsable()
{
    return epoxy_gl_version() != 0 && epoxy_is_desktop_gl();
}

// A back end may hand over less than it was asked for (Qt silently falls back to an
// older version or the compatibility profile).
bool IsGl45CoreContext()
{
    GLint profileMask = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profileMask);
    return epoxy_gl_version() >= 45 && (profileMask & GL_CONTEXT_CORE_PROFILE_BIT) != 0;
}

}  // namespace

GlSurface::~GlSurface()
{
    ReleaseGlSurface(*this);
}

bool GlSurface::MakeCurrent() const
{
    return m_ready && m_backend->MakeCurrent();
}

void GlSurface::SwapBuffers() const
{
    if (m_ready)
        m_backend->SwapBuffers();
}

ClientSize GlSurface::DrawableSize() const
{
    return m_ready ? m_backend->DrawableSize() : ClientSize{};
}

GLuint GlSurface::WindowFramebuffer() const
{
    return m_ready ? m_backend->WindowFramebuffer() : 0;
}

void GlSurface::BindWindowFramebuffer() const
{
    if (m_ready)
        glBindFramebuffer(GL_FRAMEBUFFER, m_backend->WindowFramebuffer());
}

bool CreateGlSurface(GlSurface& surface, std::unique_ptr<IGlContextBackend> backend)
{
    ReleaseGlSurface(surface);
    if (!backend)
        return false;
    if (!backend->CreateContext())
        return false;
    surface.m_backend = std::move(backend);

    if (!EntryPointsUsable()) {
        Log(LogLevel::Error, "", "Failed to load the OpenGL entry points of the new context.");
        return false;
    }
    if (!IsGl45CoreContext()) {
        Log(LogLevel::Error, "", "Failed to create OpenGL 4.5 Core context.");
        return false;
    }
    if (!surface.m_backend->CreateWindowFramebuffer())
        return false;

    // Both stay on for the life of the context: the point shaders set gl_PointSize, and
    // picking and the gizmo rely on depth testing.
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_PROGRAM_POINT_SIZE);
    surface.m_ready = true;
    return true;
}

void ReleaseGlSurface(GlSurface& surface)
{
    surface.m_ready = false;
    if (surface.m_backend) {
        surface.m_backend->Release();
        surface.m_backend.reset();
    }
}
