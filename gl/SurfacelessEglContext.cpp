#include "gl/SurfacelessEglContext.h"

#include "platform/Log.h"

#include <string_view>

namespace {

bool HasExtension(const char* extensionList, std::string_view name)
{
    if (!extensionList)
        return false;
    std::string_view rest = extensionList;
    while (!rest.empty()) {
        const auto space = rest.find(' ');
        if (rest.substr(0, space) == name)
            return true;
        if (space == std::string_view::npos)
            break;
        rest.remove_prefix(space + 1);
    }
    return false;
}

EGLDisplay OpenSurfacelessDisplay()
{
    // The platform entry point is only there when the client extensions say so; libepoxy
    // aborts on a call it cannot resolve.
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasExtension(clientExtensions, "EGL_EXT_platform_base") ||
        !HasExtension(clientExtensions, "EGL_MESA_platform_surfaceless"))
        return EGL_NO_DISPLAY;
    EGLDisplay display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY)
        return EGL_NO_DISPLAY;
    EGLint major = 0;
    EGLint minor = 0;
    if (!eglInitialize(display, &major, &minor))
        return EGL_NO_DISPLAY;
    // Needed: making a context current without a surface, and asking for a version and
    // profile (core in EGL 1.5).
    const char* displayExtensions = eglQueryString(display, EGL_EXTENSIONS);
    const bool versionedContexts =
        major > 1 || minor >= 5 || HasExtension(displayExtensions, "EGL_KHR_create_context");
    if (!versionedContexts || !HasExtension(displayExtensions, "EGL_KHR_surfaceless_context"))
        return EGL_NO_DISPLAY;
    return display;
}

bool ChooseOpenGlConfig(EGLDisplay display, EGLConfig& config)
{
    // Nothing is drawn to an EGL surface, so any configuration that renders OpenGL will do.
    const EGLint attributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
    EGLint count = 0;
    return eglChooseConfig(display, attributes, &config, 1, &count) && count > 0;
}

}  // namespace

std::unique_ptr<SurfacelessEglContext> SurfacelessEglContext::Create(const GlContextRequest& request)
{
    const EGLDisplay display = OpenSurfacelessDisplay();
    if (display == EGL_NO_DISPLAY) {
        Log(LogLevel::Error, "", "Failed to open the surfaceless EGL display.");
        return nullptr;
    }
    EGLConfig config = nullptr;
    if (!ChooseOpenGlConfig(display, config)) {
        Log(LogLevel::Error, "", "Failed to choose an EGL configuration for OpenGL.");
        return nullptr;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        Log(LogLevel::Error, "", "Failed to bind the OpenGL API.");
        return nullptr;
    }
    const EGLint profile =
        request.coreProfile ? EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT : EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT;
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, request.majorVersion,
                                 EGL_CONTEXT_MINOR_VERSION, request.minorVersion,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, profile,
                                 EGL_NONE};
    const EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        Log(LogLevel::Error, "", "Failed to create OpenGL 4.5 Core context.");
        return nullptr;
    }
    std::unique_ptr<SurfacelessEglContext> owned(new SurfacelessEglContext(display, context));
    if (!owned->MakeCurrent()) {
        Log(LogLevel::Error, "", "Failed to make the OpenGL context current.");
        return nullptr;
    }
    return owned;
}

SurfacelessEglContext::~SurfacelessEglContext()
{
    if (IsCurrent())
        eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(m_display, m_context);
}

bool SurfacelessEglContext::MakeCurrent() const
{
    return eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_context) == EGL_TRUE;
}

bool SurfacelessEglContext::IsCurrent() const
{
    return eglGetCurrentContext() == m_context;
}

EglCurrentBinding EglCurrentBinding::Capture()
{
    EglCurrentBinding binding;
    binding.m_context = eglGetCurrentContext();
    if (binding.m_context != EGL_NO_CONTEXT) {
        binding.m_display = eglGetCurrentDisplay();
        binding.m_draw = eglGetCurrentSurface(EGL_DRAW);
        binding.m_read = eglGetCurrentSurface(EGL_READ);
    }
    return binding;
}

void EglCurrentBinding::Restore() const
{
    if (m_context != EGL_NO_CONTEXT) {
        eglMakeCurrent(m_display, m_draw, m_read, m_context);
        return;
    }
    const EGLDisplay display = eglGetCurrentDisplay();
    if (display != EGL_NO_DISPLAY)
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}
