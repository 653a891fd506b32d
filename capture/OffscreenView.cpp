#include "capture/OffscreenView.h"

#include "capture/RenderCameras.h"
#include "document/Document.h"
#include "document/DocumentView.h"
#include "gl/HeadlessEglBackend.h"
#include "settings/AppSettings.h"

#include <EGL/egl.h>

#include <memory>
#include <utility>

OffscreenView::OffscreenView(Document& document, const SceneView& shown, int width, int height,
                             std::function<void()> releaseHostContext)
    : m_releaseHostContext(std::move(releaseHostContext)),
      m_view(m_desktop, [width, height] { return std::make_unique<HeadlessEglBackend>(width, height); })
{
    m_desktop.SetClientSize({width, height});
    m_view.SetDisplaySettings(shown.DisplaySettings());
    m_view.SetDocument(&document);
    if (m_releaseHostContext)
        m_releaseHostContext();
    if (!m_view.Create())
        return;
    m_created = true;
    m_view.OnSize(width, height);
    m_view.OnSceneChanged();
    m_render = ViewCameraRender(m_desktop, m_view);
}

OffscreenView::~OffscreenView()
{
    if (m_created)
        m_view.OnDestroy();
    m_view.SetDocument(nullptr);
    ReleaseEglContext();
}

CameraRender OffscreenView::Render()
{
    return [this](const CameraFrame& frame, float fallbackFovY, int width, int height,
                  const std::optional<PinholeIntrinsics>& intrinsics) -> std::optional<RgbImage> {
        if (!m_created)
            return std::nullopt;
        if (m_releaseHostContext)
            m_releaseHostContext();
        std::optional<RgbImage> image;
        if (const ViewContext context = m_view.Context())
            image = m_render(frame, fallbackFovY, width, height, intrinsics);
        ReleaseEglContext();
        return image;
    };
}

void ReleaseEglContext()
{
    const EGLDisplay display = eglGetCurrentDisplay();
    if (display != EGL_NO_DISPLAY)
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}
