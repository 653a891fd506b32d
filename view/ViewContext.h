#pragma once

#include "gl/GlContextScope.h"

class GaussianSplatRenderer;
class IRenderer;
class PointCloudRenderer;
class StreamedPointRenderer;

// The view's GL context made current for the scope's lifetime, and the view's renderers,
// which are reached only through it: whatever touches them or other GL objects of the view
// from outside does so inside one (SceneView::Context). It tests false when the view has no
// context. The renderers are null where the view has none of that kind; the pointers are
// meant for use while the scope lives.
class ViewContext {
public:
    explicit operator bool() const { return static_cast<bool>(m_current); }

    // The renderer that draws the scene, whichever it is; null before the view is created.
    IRenderer* Renderer() const { return m_renderer; }
    PointCloudRenderer* Points() const { return m_points; }
    GaussianSplatRenderer* Splats() const { return m_splats; }
    StreamedPointRenderer* Streamed() const { return m_streamed; }

private:
    friend class SceneView;
    ViewContext(const GlSurface& surface, IRenderer* renderer, PointCloudRenderer* points,
                GaussianSplatRenderer* splats, StreamedPointRenderer* streamed)
        : m_current(surface), m_renderer(renderer), m_points(points), m_splats(splats), m_streamed(streamed)
    {
    }

    GlContextScope m_current;
    IRenderer* m_renderer;
    PointCloudRenderer* m_points;
    GaussianSplatRenderer* m_splats;
    StreamedPointRenderer* m_streamed;
};
