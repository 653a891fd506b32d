#include "gl/HeadlessEglBackend.h"

#include "gl/FramebufferReadback.h"

#include "platform/Log.h"

#include <algorithm>
#include <string>

HeadlessEglBackend::HeadlessEglBackend(int width, int height, GlContextRequest request)
    : m_request(request), m_width(width), m_height(height)
{
}

HeadlessEglBackend::~HeadlessEglBackend()
{
    Release();
}

bool HeadlessEglBackend::CreateContext()
{
    Release();
    m_context = SurfacelessEglContext::Create(m_request);
    return m_context != nullptr;
}

bool HeadlessEglBackend::CreateWindowFramebuffer()
{
    if (!MakeCurrent() || !SizeAllowed(m_width, m_height))
        return false;
    m_framebuffer = GlFramebuffer::Create();
    if (!AllocateAttachments(m_width, m_height))
        return false;
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer.Name());
    glViewport(0, 0, m_width, m_height);
    return true;
}

bool HeadlessEglBackend::MakeCurrent()
{
    if (!m_context || !m_context->MakeCurrent())
        return false;
    if (m_framebuffer.Name() != 0)
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer.Name());
    return true;
}

bool HeadlessEglBackend::IsCurrent() const
{
    return m_context && m_context->IsCurrent();
}

void HeadlessEglBackend::Release()
{
    if (!m_context)
        return;
    const EglCurrentBinding previous = EglCurrentBinding::Capture();
    const bool wasCurrent = m_context->IsCurrent();
    if (m_context->MakeCurrent()) {
        m_depthStencil.Reset();
        m_color.Reset();
        m_framebuffer.Reset();
    } else {
        m_depthStencil.Abandon();
        m_color.Abandon();
        m_framebuffer.Abandon();
    }
    m_context.reset();
    // Releasing this surface must not take another surface's context away from the caller.
    if (!wasCurrent)
        previous.Restore();
}

bool HeadlessEglBackend::SetSize(int width, int height)
{
    if (!m_context) {
        // Not created yet: the size is checked when the framebuffer is made.
        m_width = width;
        m_height = height;
        return true;
    }
    if (!MakeCurrent() || m_framebuffer.Name() == 0 || !SizeAllowed(width, height))
        return false;
    return AllocateAttachments(width, height);
}

bool HeadlessEglBackend::SizeAllowed(int width, int height) const
{
    GLint maxRenderbuffer = 0;
    GLint maxWidth = 0;
    GLint maxHeight = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxRenderbuffer);
    glGetIntegerv(GL_MAX_FRAMEBUFFER_WIDTH, &maxWidth);
    glGetIntegerv(GL_MAX_FRAMEBUFFER_HEIGHT, &maxHeight);
    if (width >= 1 && height >= 1 && width <= std::min(maxRenderbuffer, maxWidth) &&
        height <= std::min(maxRenderbuffer, maxHeight))
        return true;
    Log(LogLevel::Error, "HeadlessEglBackend", "framebuffer size " + std::to_string(width) + " x " + std::to_string(height) +
                " is outside 1 x 1 .. " + std::to_string(std::min(maxRenderbuffer, maxWidth)) + " x " +
                std::to_string(std::min(maxRenderbuffer, maxHeight)) + ".\n");
    return false;
}

bool HeadlessEglBackend::AllocateAttachments(int width, int height)
{
    GlRenderbuffer color = GlRenderbuffer::Create();
    GlRenderbuffer depthStencil = GlRenderbuffer::Create();
    glNamedRenderbufferStorage(color.Name(), GL_RGBA8, width, height);
    glNamedRenderbufferStorage(depthStencil.Name(), GL_DEPTH24_STENCIL8, width, height);

    const GLuint framebuffer = m_framebuffer.Name();
    const auto attach = [framebuffer](GLuint colorName, GLuint depthStencilName) {
        glNamedFramebufferRenderbuffer(framebuffer, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorName);
        glNamedFramebufferRenderbuffer(framebuffer, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthStencilName);
    };
    attach(color.Name(), depthStencil.Name());
    // A failed allocation leaves an empty attachment, which makes the framebuffer incomplete.
    if (glCheckNamedFramebufferStatus(framebuffer, GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        attach(m_color.Name(), m_depthStencil.Name());
        Log(LogLevel::Error, "HeadlessEglBackend", "cannot allocate a " + std::to_string(width) + " x " +
                    std::to_string(height) + " framebuffer.\n");
        return false;
    }
    m_color = std::move(color);
    m_depthStencil = std::move(depthStencil);
    m_width = width;
    m_height = height;
    return true;
}

bool HeadlessEglBackend::Contains(int x, int y) const
{
    return x >= 0 && y >= 0 && x < m_width && y < m_height;
}

std::vector<std::uint8_t> HeadlessEglBackend::ReadColorImage()
{
    if (!MakeCurrent() || m_framebuffer.Name() == 0)
        return {};
    return ReadFramebufferColor(m_framebuffer.Name(), 0, 0, m_width, m_height);
}

std::optional<HeadlessEglBackend::Rgba8> HeadlessEglBackend::ReadColor(int x, int y)
{
    if (!Contains(x, y) || !MakeCurrent() || m_framebuffer.Name() == 0)
        return std::nullopt;
    const std::vector<std::uint8_t> pixel = ReadFramebufferColor(m_framebuffer.Name(), x, y, 1, 1);
    return Rgba8{pixel[0], pixel[1], pixel[2], pixel[3]};
}

std::vector<float> HeadlessEglBackend::ReadDepthImage()
{
    if (!MakeCurrent() || m_framebuffer.Name() == 0)
        return {};
    return ReadFramebufferDepth(m_framebuffer.Name(), 0, 0, m_width, m_height);
}

std::optional<float> HeadlessEglBackend::ReadDepth(int x, int y)
{
    if (!Contains(x, y) || !MakeCurrent() || m_framebuffer.Name() == 0)
        return std::nullopt;
    return ReadFramebufferDepth(m_framebuffer.Name(), x, y, 1, 1)[0];
}

HeadlessEglBackend* CreateHeadlessGlSurface(GlSurface& surface, int width, int height)
{
    auto backend = std::make_unique<HeadlessEglBackend>(width, height);
    HeadlessEglBackend* headless = backend.get();
    return CreateGlSurface(surface, std::move(backend)) ? headless : nullptr;
}
