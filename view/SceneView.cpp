#include "view/SceneView.h"

#include "document/Document.h"
#include "render/GaussianSplatRenderer.h"
#include "render/PointCloudRenderer.h"
#include "render/StreamedPointRenderer.h"
#include "settings/AppSettings.h"
#include "view/ClampUnit.h"
#include "view/OctreeBuildJob.h"
#include "view/StatusTexts.h"

#include <utility>

namespace {

constexpr const char* kNoOpenGl = "Failed to initialize OpenGL 4.5.\nPlease check your graphics driver.";

bool HoldsPoints(const GaussianData& splats)
{
    return !splats.positions.empty();
}

// A streamed cloud's points are on disk, not in its arrays.
bool HoldsPoints(const PointCloudData& cloud)
{
    return !cloud.positions.empty() || cloud.streamed;
}

}  // namespace

SceneView::SceneView(ViewHost& desktop, GlContextBackendFactory glBackendFactory)
    : m_desktop(desktop), m_glBackendFactory(std::move(glBackendFactory))
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
    ReleaseRenderer();
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

void SceneView::SetCamera(const ViewCamera& camera)
{
    m_camera = camera;
    Invalidate();
}

void SceneView::SetPinhole(const std::optional<PinholeIntrinsics>& pinhole)
{
    m_camera.pinhole = pinhole;
    Invalidate();
}

bool SceneView::MakeContextCurrent()
{
    if (!m_glSurface.HasContext())
        return false;
    m_glSurface.MakeCurrent();
    return true;
}

void SceneView::ReleaseRenderer()
{
    if (m_renderer && m_glSurface.HasContext())
        m_renderer->ReleaseGpuResources();
    m_renderer = nullptr;
    m_pointRenderer.reset();
    m_splatRenderer.reset();
    m_streamedRenderer.reset();
}

bool SceneView::Create()
{
    if (!m_glBackendFactory || !CreateGlSurface(m_glSurface, m_glBackendFactory())) {
        m_desktop.ShowMessageBox(kNoOpenGl);
        return false;
    }

    if (const GLubyte* renderer = glGetString(GL_RENDERER))
        m_glRenderer = reinterpret_cast<const char*>(renderer);
    MatchRendererToScene(false);
    m_gizmo.Create();  // a failure is logged by the gizmo, which then draws nothing
    return true;
}

void SceneView::OnDestroy()
{
    StopOctreeBuild();

    if (m_glSurface.HasContext()) {
        m_glSurface.MakeCurrent();
        m_gizmo.Release();
    }
    ReleaseRenderer();
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
    Invalidate();
    UpdateStatusTexts();
}

void SceneView::OnSceneChanged()
{
    StopOctreeBuild();
    if (m_glSurface.HasContext()) {
        m_glSurface.MakeCurrent();
        if (m_document) {
            MatchRendererToScene(m_document->m_sceneKind == SceneKind::GaussianSplats);
            std::optional<PointOctree> tree = OctreeBeforeUpload();
            UploadScene();
            if (tree && m_sceneDrawable && m_pointRenderer)
                m_pointRenderer->SetOctree(std::make_shared<const PointOctree>(std::move(*tree)));
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
    const bool wantStreamed = !wantSplat && m_document && m_document->m_pointCloud.streamed;
    if (m_renderer && wantSplat == ShowsSplats() && wantStreamed == (m_streamedRenderer != nullptr))
        return;
    // The old renderer gives back its GPU objects while the context is current.
    ReleaseRenderer();
    if (wantSplat) {
        m_splatRenderer = std::make_unique<GaussianSplatRenderer>([&desktop = m_desktop] { desktop.PostResortMessage(); });
        m_renderer = m_splatRenderer.get();
    } else if (wantStreamed) {  // arriving nodes repaint through the resort message
        m_streamedRenderer = std::make_unique<StreamedPointRenderer>([&desktop = m_desktop] { desktop.PostResortMessage(); });
        m_renderer = m_streamedRenderer.get();
    } else {
        m_pointRenderer = std::make_unique<PointCloudRenderer>();
        m_renderer = m_pointRenderer.get();
    }
    m_renderer->SetPointStyle(m_pointStyle);
}

void SceneView::UploadScene()
{
    if (m_splatRenderer) {
        const GaussianData& splats = m_document->m_gaussianData;
        m_sceneDrawable = m_splatRenderer->UploadSplats(splats) && !splats.positions.empty();
        if (m_splatRenderer->hasObjectIds) {
            m_splatRenderer->segSeed = m_segSeed;
            m_splatRenderer->segBlend = ClampUnit(m_segBlend);
        }
    } else if (m_pointRenderer) {
        const PointCloudData& cloud = m_document->m_pointCloud;
        m_sceneDrawable = m_pointRenderer->UploadPoints(cloud) && HoldsPoints(cloud);
    } else if (m_streamedRenderer) {
        const PointCloudData& cloud = m_document->m_pointCloud;
        m_sceneDrawable = m_streamedRenderer->UploadPoints(cloud) && HoldsPoints(cloud);
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
        if (!HoldsPoints(scene))
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
    if (!splat || !m_sceneDrawable || !m_glSurface.HasContext())
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
    if (const PointDrawStats drawn = LastDrawStats(); !ShowsSplats() && drawn.drawn < drawn.total)
        texts.count = BudgetedPointCountText(drawn.drawn, drawn.total);
    m_desktop.SetStatusPaneText(StatusPane::Count, texts.count);
    // The colour mode and eye-dome lighting are named only when asked for, so the texts of a
    // view that never asks stay as they were.
    std::string mode = texts.mode;
    if (m_document->m_sceneKind == SceneKind::PointCloud && ShownColorMode() != ColorMode::Rgb)
        mode += std::string(" | ") + ColorModeName(ShownColorMode());
    if (m_document->m_sceneKind == SceneKind::PointCloud && m_pointStyle.edlStrength > 0.0f)
        mode += " | EDL";
    m_desktop.SetStatusPaneText(StatusPane::Mode, mode);
    m_desktop.SetStatusPaneText(StatusPane::Frame, texts.frame);
}
