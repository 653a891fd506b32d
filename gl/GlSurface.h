#pragma once

// libepoxy's GL header must come before any other GL header (Qt's included).
#include <epoxy/gl.h>

#include "platform/ClientSize.h"

#include <functional>
#include <memory>

// The view draws with one OpenGL 4.5 core-profile context. Where that context comes from
// depends on the platform, so the view holds a GlSurface whose back end supplies it:
//
//  - HeadlessEglBackend (gl/HeadlessEglBackend.h): Mesa's surfaceless EGL
//    platform, drawing into a framebuffer object of a chosen size; used by tests and the
//    command-line tools.
//  - the Qt window (the desktop application): the context of the view's QOpenGLWidget.
//    CreateContext checks that the widget has a valid context and makes it current;
//    MakeCurrent is the widget's makeCurrent(); SwapBuffers does nothing because Qt
//    presents after painting; WindowFramebuffer is defaultFramebufferObject(); Release
//    makes the context not current and forgets the widget (Qt deletes the context).
//
// The desktop layer hands the view a GlContextBackendFactory; at its window-creation step
// the view calls CreateGlSurface(m_glSurface, factory()). CreateGlSurface then checks the
// entry points and the version, lets the back end create the window's framebuffer and turns
// on the states every pass relies on (depth test, program point size).
//
// Every GL call in the program goes through libepoxy, which resolves the entry points of
// whatever context is current.

class IGlContextBackend {
public:
    virtual ~IGlContextBackend() = default;

    // Creates the OpenGL 4.5 core context and leaves it current. On failure the back end has
    // logged which step failed.
    virtual bool CreateContext() = 0;
    // Called once after the entry points have been checked, with the context current: creates
    // what the window's framebuffer needs and leaves it bound. Logs its own failure.
    virtual bool CreateWindowFramebuffer() { return true; }
    // Makes the context current on the calling thread with the window's framebuffer bound
    // for drawing and reading.
    virtual bool MakeCurrent() = 0;
    virtual void SwapBuffers() = 0;
    // Pixels of the window's framebuffer (device pixels on high-DPI screens).
    virtual ClientSize DrawableSize() const = 0;
    // The framebuffer that counts as the window's: 0 for a window system's own buffers, else
    // a framebuffer object. It may change when the window is resized, so ask every time.
    virtual GLuint WindowFramebuffer() const = 0;
    // Deletes the window's framebuffer objects (with the context current) and the context;
    // afterwards no context of this back end is current. Calling it again does nothing.
    virtual void Release() = 0;
};

using GlContextBackendFactory = std::function<std::unique_ptr<IGlContextBackend>()>;

// The view's window/context handle. "No context" until CreateGlSurface succeeds; while there
// is none every operation is a harmless no-op and the view draws nothing.
class GlSurface {
public:
    GlSurface() = default;
    ~GlSurface();
    GlSurface(const GlSurface&) = delete;
    GlSurface& operator=(const GlSurface&) = delete;

    bool HasContext() const { return m_ready; }
    bool MakeCurrent() const;
    void SwapBuffers() const;
    ClientSize DrawableSize() const;
    GLuint WindowFramebuffer() const;
    // Binds the window's framebuffer for drawing and reading (after drawing elsewhere).
    void BindWindowFramebuffer() const;
    // The back end, also while a failed creation keeps its context until release; null
    // before creation and after release.
    IGlContextBackend* Backend() const { return m_backend.get(); }

private:
    friend bool CreateGlSurface(GlSurface& surface, std::unique_ptr<IGlContextBackend> backend);
    friend void ReleaseGlSurface(GlSurface& surface);

    std::unique_ptr<IGlContextBackend> m_backend;
    bool m_ready = false;
};

// Creates the context through `backend`, which the surface then owns, and leaves it current
// with depth testing and program point size enabled. Releases what the surface held before.
// False when there is no back end (nothing logged), when the back end cannot make a 4.5 core
// context ("Failed to create OpenGL 4.5 Core context.\n" or the failing step's line), when the
// entry points cannot be loaded, or when the window's framebuffer cannot be made. A context
// that was made is kept until ReleaseGlSurface, but the surface reports no context.
bool CreateGlSurface(GlSurface& surface, std::unique_ptr<IGlContextBackend> backend);

// Deletes the context (and the back end); safe to call on a surface without one, and twice.
void ReleaseGlSurface(GlSurface& surface);
