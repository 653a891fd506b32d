#include "view/SceneView.h"

#include "document/Document.h"

void SceneView::ApplyPointStyle()
{
    if (m_renderer && m_glSurface.HasContext()) {
        m_glSurface.MakeCurrent();
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
    if (!m_document || m_document->m_sceneKind != SceneKind::PointCloud)
        return mode == ColorMode::Rgb;
    return CloudHasColorMode(m_document->m_pointCloud, mode);
}

ColorMode SceneView::ShownColorMode() const
{
    return CanShowColorMode(m_pointStyle.colorMode) ? m_pointStyle.colorMode : ColorMode::Rgb;
}

void SceneView::CycleColorMode()
{
    if (!m_document || m_document->m_sceneKind != SceneKind::PointCloud)
        return;
    SetColorMode(NextColorMode(m_document->m_pointCloud, ShownColorMode()));
}

void SceneView::SetEyeDomeLighting(float strength, float radius)
{
    m_pointStyle.edlStrength = strength;
    m_pointStyle.edlRadius = radius;
    ApplyPointStyle();
}
