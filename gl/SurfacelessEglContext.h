#pragma once

#include <epoxy/egl.h>

#include <memory>

// The OpenGL version and profile a context is asked for. The program always uses the
// default; other values exist to exercise the refusal of contexts it cannot use.
struct GlContextRequest {
    int majorVersion = 4;
    int minorVersion = 5;
    bool coreProfile = true;
};

// An OpenGL context on Mesa's surfaceless EGL platform. It has no surface of its own, so
// everything it draws goes into framebuffer objects.
//
// EGL hands every caller the same surfaceless display, and terminating it would pull the
// contexts of every other surface in the process out from under them, so the display stays
// initialised until the process ends; each context is destroyed with its owner.
class SurfacelessEglContext {
public:
    // Opens and initialises the display, chooses a configuration, binds the OpenGL API,
    // creates the context and makes it current. Null on failure, after logging the failing
    // step ("Failed to create OpenGL 4.5 Core context.\n" when the context is refused).
    static std::unique_ptr<SurfacelessEglContext> Create(const GlContextRequest& request);

    // Destroys the context, first making no context current when it is the current one.
    ~SurfacelessEglContext();
    SurfacelessEglContext(const SurfacelessEglContext&) = delete;
    SurfacelessEglContext& operator=(const SurfacelessEglContext&) = delete;

    bool MakeCurrent() const;
    bool IsCurrent() const;

private:
    SurfacelessEglContext(EGLDisplay display, EGLContext context) : m_display(display), m_context(context) {}

    EGLDisplay m_display;
    EGLContext m_context;
};

// The EGL binding current on this thread when captured, so that it can be made current again
// after another context was used for a moment.
class EglCurrentBinding {
public:
    static EglCurrentBinding Capture();
    // Makes the captured context current again, or no context when none was current.
    void Restore() const;

private:
    EGLDisplay m_display = EGL_NO_DISPLAY;
    EGLSurface m_draw = EGL_NO_SURFACE;
    EGLSurface m_read = EGL_NO_SURFACE;
    EGLContext m_context = EGL_NO_CONTEXT;
};
