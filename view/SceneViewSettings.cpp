#include "view/SceneView.h"

#include "render/GaussianSplatRenderer.h"
#include "settings/AppSettings.h"
#include "view/ClampUnit.h"

AppSettings SceneView::DisplaySettings() const
{
    AppSettings settings;
    settings.pointSize = m_pointStyle.size;
    settings.roundPoints = m_pointStyle.isRound;
    settings.pointSizeMin = m_pointSizeMin;
    settings.pointSizeMax = m_pointSizeMax;
    settings.background = m_background;
    settings.showAxisGizmo = m_showGizmo;
    settings.projection = m_camera.projection;
    settings.navMode = m_camera.navMode;
    settings.segBlend = m_segBlend;
    settings.segSeed = m_segSeed;
    settings.colorMode = static_cast<std::int32_t>(m_pointStyle.colorMode);
    settings.edlStrength = m_pointStyle.edlStrength;
    settings.edlRadius = m_pointStyle.edlRadius;
    settings.pointBudget = m_detail.BudgetSetting();
    // The blend keys change the live renderer only, so it holds the user's latest choice.
    if (m_splatRenderer) {
        settings.segBlend = m_splatRenderer->segBlend;
        settings.segSeed = m_splatRenderer->segSeed;
    }
    return settings;
}

void SceneView::SetDisplaySettings(const AppSettings& settings)
{
    m_pointStyle.size = settings.pointSize;
    m_pointStyle.isRound = settings.roundPoints;
    m_pointSizeMin = settings.pointSizeMin;
    m_pointSizeMax = settings.pointSizeMax;
    m_background = settings.background;
    m_showGizmo = settings.showAxisGizmo;
    // Straight into the camera: no distance or half-height conversion as the toggle does.
    m_camera.projection = settings.projection;
    m_camera.navMode = settings.navMode;
    m_segBlend = settings.segBlend;
    m_segSeed = settings.segSeed;
    m_pointStyle.colorMode = ColorModeFromNumber(settings.colorMode).value_or(ColorMode::Rgb);
    m_pointStyle.edlStrength = settings.edlStrength;
    m_pointStyle.edlRadius = settings.edlRadius;
    // A budget lowered below the cloud's size needs the tree.
    m_detail.SetBudgetSetting(settings.pointBudget);
    StartOctreeBuildIfNeeded();
}

void SceneView::ApplyDisplaySettings(const AppSettings& settings)
{
    SetDisplaySettings(settings);
    if (m_renderer) {
        const GlContextScope context(m_glSurface);
        m_renderer->SetPointStyle(m_pointStyle);
    }
    if (m_splatRenderer && m_splatRenderer->hasObjectIds) {
        m_splatRenderer->segSeed = settings.segSeed;
        m_splatRenderer->segBlend = ClampUnit(settings.segBlend);
    }
    RequestSplatResort();
    UpdateStatusTexts();
    Invalidate();
}
