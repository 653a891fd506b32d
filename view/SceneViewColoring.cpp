#include "view/SceneView.h"

#include "document/Document.h"

void SceneView::ApplyPointStyle()
{
    if (m_renderer && m_glSurface.HasContext()) {
        const GlContextScope context(m_glSurface);
        m_renderer->SetPointStyle(m_pointStyle);
    }
    UpdateStatusTexts();
    Invalidate();
}

void SceneView::SetColorMode(ColorMode mode)
{
    m_pointStyle.colorMode = mode;
    ApplyPointStyle();
}

bool SceneView::CanShowColorMode(ColorMode mode) const
{
    const PointCloudData* cloud = m_document ? m_document->PointCloud() : nullptr;
    return cloud ? CloudHasColorMode(*cloud, mode) : mode == ColorMode::Rgb;
}

ColorMode SceneView::ShownColorMode() const
{
    return CanShowColorMode(m_pointStyle.colorMode) ? m_pointStyle.colorMode : ColorMode::Rgb;
}

void SceneView::CycleColorMode()
{
    if (const PointCloudData* cloud = m_document ? m_document->PointCloud() : nullptr)
        SetColorMode(NextColorMode(*cloud, ShownColorMode()));
}

void SceneView::SetEyeDomeLighting(float strength, float radius)
{
    m_pointStyle.edlStrength = strength;
    m_pointStyle.edlRadius = radius;
    ApplyPointStyle();
}
