#include "view/SceneView.h"

#include "gl/FramebufferReadback.h"
#include "scene/SceneBounds.h"
#include "view/PickSearch.h"

bool SceneView::PickPoint(int cx, int cy, Eigen::Vector3f& worldPoint)
{
    if (!m_glSurface.HasContext() || !m_sceneDrawable || !m_renderer)
        return false;
    const ClientSize client = m_desktop.ViewClientSize();
    const int w = client.width;
    const int h = client.height;
    if (w <= 0 || h <= 0 || cx < 0 || cx > w - 1 || cy < 0 || cy > h - 1)
        return false;
    const GlContextScope context(m_glSurface);
    const SceneBounds* bounds = Bounds();
    if (!bounds)
        return false;

    // The clip planes the next frame will use, without leaving them changed.
    const Eigen::Matrix4f view = m_camera.ViewMatrix();
    const float nearPlane = m_camera.nearPlane;
    const float farPlane = m_camera.farPlane;
    m_camera.UpdateClipPlanes(bounds->boundsMin, bounds->boundsMax);
    const Eigen::Matrix4f projection = m_camera.ProjectionMatrix(static_cast<float>(w) / static_cast<float>(h));
    m_camera.nearPlane = nearPlane;
    m_camera.farPlane = farPlane;

    // Depth-only pass into the window's buffers.
    m_glSurface.BindWindowFramebuffer();
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glClear(GL_DEPTH_BUFFER_BIT);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    // The points of the frame on screen, no others: a point not drawn cannot be picked.
    ApplyPointBudget();
    m_renderer->DrawPick(view, projection);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glFinish();

    // GL rows count from the bottom: the window's lowest client row y1 is GL row h - 1 - y1.
    const PickWindow window = PickWindowAround(cx, cy, w, h);
    const std::vector<float> depths = ReadFramebufferDepth(m_glSurface.WindowFramebuffer(), window.x0,
                                                           h - 1 - window.y1, window.Width(), window.Height());
    // The depth pass spoiled the picture; the next paint draws it again.
    Invalidate();

    const std::optional<PickHit> hit = NearestDrawnPixel(depths, window, cx, cy);
    if (!hit)
        return false;
    const std::optional<Eigen::Vector3f> point = UnprojectPixel(*hit, w, h, view, projection);
    if (!point)
        return false;
    worldPoint = *point;
    return true;
}

void SceneView::OnLButtonDblClk(int x, int y)
{
    // The first click of the double click started a drag.
    m_controller.dragMode = DragMode::Idle;
    if (m_desktop.ViewHasMouseCapture())
        m_desktop.ReleaseMouse();

    Eigen::Vector3f picked;
    if (!PickPoint(x, y, picked))
        return;
    m_camera.SetLookAt(m_camera.Eye(), picked, m_camera.Up());
    m_camera.eyeAnchored = false;
    Invalidate();
}
