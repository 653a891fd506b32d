#pragma once

#include "gl/GlObject.h"
#include "gl/GlSurface.h"
#include "gl/SurfacelessEglContext.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// A GL surface without a window: a surfaceless EGL context drawing into a framebuffer object
// with an RGBA8 colour and a 24-bit depth + 8-bit stencil attachment, the same buffers a
// window would get. Tests and the command-line tools draw into it and read the result back.
// Swapping does nothing.
//
// Like a window, the framebuffer starts with the viewport covering it; SetSize changes the
// size but leaves the viewport to the caller, as a window resize does.
class HeadlessEglBackend final : public IGlContextBackend {
public:
    using Rgba8 = std::array<std::uint8_t, 4>;

    HeadlessEglBackend(int width, int height, GlContextRequest request = {});
    ~HeadlessEglBackend() override;
    HeadlessEglBackend(const HeadlessEglBackend&) = delete;
    HeadlessEglBackend& operator=(const HeadlessEglBackend&) = delete;

    bool CreateContext() override;
    bool CreateWindowFramebuffer() override;
    bool MakeCurrent() override;
    void SwapBuffers() override {}
    ClientSize DrawableSize() const override { return {m_width, m_height}; }
    GLuint WindowFramebuffer() const override { return m_framebuffer.Name(); }
    void Release() override;

    bool IsCurrent() const;

    // Reallocates the attachments at the new size (their contents are lost) and leaves this
    // context current. A size outside 1 .. the GL limit, or one GL cannot allocate, is
    // logged and refused; the framebuffer then keeps its old size.
    bool SetSize(int width, int height);

    // Read-back of the framebuffer; each makes this context current first. Whole images have
    // rows bottom-up as GL gives them (row 0 is the bottom row), pixels left to right, and
    // (x, y) counts from the bottom-left pixel. Empty or nothing without a framebuffer or
    // for a pixel outside it.
    std::vector<std::uint8_t> ReadColorImage();  // RGBA8, 4 bytes a pixel
    std::optional<Rgba8> ReadColor(int x, int y);
    std::vector<float> ReadDepthImage();         // 0..1
    std::optional<float> ReadDepth(int x, int y);

private:
    bool SizeAllowed(int width, int height) const;
    bool AllocateAttachments(int width, int height);
    bool Contains(int x, int y) const;

    GlContextRequest m_request;
    int m_width;
    int m_height;
    std::unique_ptr<SurfacelessEglContext> m_context;
    GlFramebuffer m_framebuffer;
    GlRenderbuffer m_color;
    GlRenderbuffer m_depthStencil;
};

// Makes `surface` a headless surface of the given size (CreateGlSurface with a new
// HeadlessEglBackend). Returns the back end, which the surface owns, or null on failure.
HeadlessEglBackend* CreateHeadlessGlSurface(GlSurface& surface, int width, int height);
