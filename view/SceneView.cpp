#include "view/SceneView.h"

#include "document/Document.h"
#include "render/GaussianSplatRenderer.h"
#include "render/PointCloudRenderer.h"
#include "settings/AppSettings.h"
#include "view/ClampUnit.h"
#include "view/OctreeBuildJob.h"
#include "view/StatusTexts.h"

#include <utility>

namespace {

constexpr const char* kNoOpenGl = "Failed to initialize OpenGL 4.5.\nPlease check your graphics driver.";

}  // namespace

SceneView::SceneView(ViewHost& desktop, GlContextBackendFactory glBackendFactory,
                         std::filesystem::path settingsFile)
    : m_desktop(desktop), m_glBackendFactory(std::move(glBackendFactory)), m_settingsFile(std::move(settingsFile))
{
    m_controller.camera = &m_camera;
}

SceneView::~SceneView()
{
    SetDocument(nullptr);
    // GL objects may only be deleted with their context current.
    if (m_glSurface.HasContext())
        m_glSurface.MakeCurrent();
    if (m_gizmo.HoldsGpuObjects())
        m_gizmo.Release();
    if (m_renderer) {
        if (m_glSurface.HasContext())
            m_renderer->ReleaseGpuResources();
        m_renderer.reset();
    }
    ReleaseGlSurface(m_glSurface);
}

void SceneView::SetDocument(Document* document)
{
    if (document == m_document)
        return;
    StopOctreeBuild();
    if (m_document)
        m_document->RemoveView(this);
    m_document = document;
    if (m_document)
        m_document->AddView(this);
}

void SceneView::Invalidate()
{
    m_desktop.InvalidateView();
}

GaussianSplatRenderer* SceneView::SplatRenderer() const
{
    return dynamic_cast<GaussianSplatRenderer*>(m_renderer.get());
}

bool SceneView::Create()
{
    if (!m_glBackendFactory || !CreateGlSurface(m_glSurface, m_glBackendFactory())) {
        m_desktop.ShowMessageBox(kNoOpenGl);
        return false;
    }

    // Settings the file lacks or rejects keep the starting values.
    if (!m_settingsFile.empty()) {
        AppSettings settings = DisplaySettings();
        LoadSettingsFrom(m_settingsFile, settings);
        SetDisplaySettings(settings);
    }

    if (const GLubyte* renderer = glGetString(GL_RENDERER))
        m_glRenderer = reinterpret_cast<const char*>(renderer);
    m_renderer = std::make_unique<PointCloudRenderer>();
    m_renderer->SetPointStyle(m_pointStyle);
    m_rendererIsSplat = false;
    m_gizmo.Create();  // a failure is logged by the gizmo, which then draws nothing
    m_created = true;
    return true;
}

void SceneView::OnDestroy()
{
    // A view whose creation failed has loaded nothing, so it must not overwrite the file.
    if (m_created && !m_settingsFile.empty())
        SaveSettingsTo(m_settingsFile, DisplaySettings());
    m_created = false;
    StopOctreeBuild();

    if (m_glSurface.HasContext()) {
        m_glSurface.MakeCurrent();
        if (m_renderer)
            m_renderer->ReleaseGpuResources();
        m_gizmo.Release();
    }
    m_renderer.reset();
    m_rendererIsSplat = false;
    m_sceneDrawable = false;
}

void SceneView::OnSize(int width, int height)
{
    if (!m_glSurface.HasContext() || width <= 0 || height <= 0)
        return;
    m_glSurface.MakeCurrent();
    glViewport(0, 0, width, height);
    m_controller.viewportHeight = height;
    if (m_renderer)
        m_renderer->Resize(width, height);
    Invalidate();
}

void SceneView::OnDraw()
{
    if (!m_glSurface.HasContext())
        return;
    m_glSurface.MakeCurrent();
    m_glSurface.BindWindowFramebuffer();
    DrawScene();
    m_glSurface.SwapBuffers();
}

void SceneView::DrawScene()
{
    if (!m_glSurface.HasContext())
        return;
    glClearColor(m_background.x(), m_background.y(), m_background.z(), 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // An empty client area shows nothing, and its aspect ratio would make the projection infinite.
    const ClientSize client = m_desktop.ViewClientSize();
    if (client.width <= 0 || client.height <= 0)
        return;

    Eigen::Vector3f boundsMin, boundsMax, center;
    float radius = 1.0f;
    if (m_document && m_renderer && m_sceneDrawable && GetSceneBounds(boundsMin, boundsMax, center, radius)) {
        m_camera.UpdateClipPlanes(boundsMin, boundsMax);
        const float aspect = static_cast<float>(client.width) / static_cast<float>(client.height);
        ApplyPointBudget();
        m_renderer->Draw(m_camera.ViewMatrix(), m_camera.ProjectionMatrix(aspect));
        ShowDrawnCount();
    }
    if (m_showGizmo)
        m_gizmo.Draw(m_camera.ViewMatrix(), client.width, client.height);
}

void SceneView::OnInitialUpdate()
{
    OnUpdate(0);
    UpdateStatusTexts();
}

void SceneView::OnUpdate(int hint)
{
    if (hint != kSceneChangedHint) {
        Invalidate();
        return;
    }
    StopOctreeBuild();
    if (m_glSurface.HasContext()) {
        m_glSurface.MakeCurrent();
        if (m_document) {
            MatchRendererToScene(m_document->m_sceneKind == SceneKind::GaussianSplats);
            UploadScene();
            ResetView();
            RequestSplatResort();
            StartOctreeBuildIfNeeded();
        }
    }
    m_frameIndex = -1;
    m_shownDrawnPoints = 0;
    UpdateStatusTexts();
    Invalidate();
}

void SceneView::MatchRendererToScene(bool wantSplat)
{
    if (m_renderer && wantSplat == m_rendererIsSplat)
        return;
    // The old renderer gives back its GPU objects while the context is current.
    if (m_renderer)
        m_renderer->ReleaseGpuResources();
    std::unique_ptr<IRenderer> renderer;
    if (wantSplat)
        renderer = std::make_unique<GaussianSplatRenderer>([&desktop = m_desktop] { desktop.PostResortMessage(); });
    else
        renderer = std::make_unique<PointCloudRenderer>();
    m_renderer = std::move(renderer);
    m_renderer->SetPointStyle(m_pointStyle);
    m_rendererIsSplat = wantSplat;
}

void SceneView::UploadScene()
{
    if (m_rendererIsSplat) {
        const GaussianData& splats = m_document->m_gaussianData;
        m_sceneDrawable = m_renderer->UploadSplats(splats) && !splats.positions.empty();
        if (GaussianSplatRenderer* splat = SplatRenderer(); splat && splat->hasObjectIds) {
            splat->segSeed = m_segSeed;
            splat->segBlend = ClampUnit(m_segBlend);
        }
    } else {
        const PointCloudData& cloud = m_document->m_pointCloud;
        m_sceneDrawable = m_renderer->UploadPoints(cloud) && !cloud.positions.empty();
    }
}

void SceneView::OnResortMessage()
{
    if (m_octreeBuild && m_octreeBuild->Finished()) {
        std::optional<PointOctree> tree = m_octreeBuild->TakeResult();
        m_octreeBuild.reset();
        if (tree)
            AdoptOctree(std::move(*tree));
    }
    // A drag repaints on every step anyway.
    if (m_controller.dragMode == DragMode::Idle)
        Invalidate();
}

bool SceneView::GetSceneBounds(Eigen::Vector3f& boundsMin, Eigen::Vector3f& boundsMax, Eigen::Vector3f& center,
                                 float& radius) const
{
    if (!m_document)
        return false;
    const auto take = [&](const auto& scene) {
        if (scene.positions.empty())
            return false;
        boundsMin = scene.boundsMin;
        boundsMax = scene.boundsMax;
        center = scene.center;
        radius = scene.radius;
        return true;
    };
    if (m_document->m_sceneKind == SceneKind::GaussianSplats)
        return take(m_document->m_gaussianData);
    return take(m_document->m_pointCloud);
}

void SceneView::FitToScene()
{
    Eigen::Vector3f boundsMin, boundsMax, center;
    float radius = 1.0f;
    if (GetSceneBounds(boundsMin, boundsMax, center, radius))
        m_camera.FitTo(center, radius, boundsMin, boundsMax);
}

void SceneView::ResetView()
{
    FitToScene();
    const ViewPreset home = HomeViewPreset();
    m_camera.LookFromDirection(home.direction, home.up);
}

void SceneView::SetViewAxis(int axis, bool reversed)
{
    const std::optional<ViewPreset> preset = AxisViewPreset(axis, reversed);
    if (!preset)
        return;
    m_camera.LookFromDirection(preset->direction, preset->up);
    RequestSplatResort();
    Invalidate();
}

void SceneView::OnViewFit()
{
    FitToScene();
    RequestSplatResort();
    Invalidate();
}

void SceneView::RequestSplatResort()
{
    GaussianSplatRenderer* splat = SplatRenderer();
    if (!m_rendererIsSplat || !splat || !m_sceneDrawable || !m_glSurface.HasContext())
        return;
    m_glSurface.MakeCurrent();
    splat->SortNow(m_camera.ViewMatrix());
}

void SceneView::UpdateStatusTexts()
{
    if (!m_document)
        return;
    // Without a status bar (or one of its panes) the desktop reports false; nothing to do then.
    StatusTexts texts = ComposeStatusTexts(*m_document, m_camera, m_frameIndex);
    if (const PointDrawStats drawn = LastDrawStats(); !m_rendererIsSplat && drawn.drawn < drawn.total)
        texts.count = BudgetedPointCountText(drawn.drawn, drawn.total);
    m_desktop.SetStatusPaneText(StatusPane::Count, texts.count);
    m_desktop.SetStatusPaneText(StatusPane::Mode, texts.mode);
    m_desktop.SetStatusPaneText(StatusPane::Frame, texts.frame);
}
