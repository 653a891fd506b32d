#include "view/SceneView.h"

#include "document/Document.h"
#include "render/GaussianSplatRenderer.h"
#include "render/PointCloudRenderer.h"
#include "render/StreamedPointRenderer.h"
#include "scene/StreamedCloud.h"
#include "view/ClampUnit.h"
#include "view/FrameCamera.h"
#include "view/ViewStatus.h"

#include <utility>

namespace {

bool HoldsPoints(const GaussianData& splats)
{
    return !splats.positions.empty();
}

// A streamed cloud's points are on disk, not in its arrays.
bool HoldsPoints(const PointCloudData& cloud)
{
    return !cloud.positions.empty() || cloud.streamed;
}

// The origin the scene's positions are offsets from: the readers subtracted it from every
// stored position.
Eigen::Vector3d SceneOrigin(const Document& document)
{
    if (const PointCloudData* cloud = document.PointCloud())
        return cloud->origin;
    if (const GaussianData* splats = document.Splats())
        return splats->origin;
    return Eigen::Vector3d::Zero();
}

}  // namespace

SceneView::SceneView(ViewHost& desktop, GlContextBackendFactory glBackendFactory)
    : m_desktop(desktop), m_glBackendFactory(std::move(glBackendFactory)), m_detail(desktop)
{
    m_controller.camera = &m_camera;
}

SceneView::~SceneView()
{
    SetDocument(nullptr);
    // GL objects may only be deleted with their context current.
    {
        const GlContextScope context(m_glSurface);
        if (m_gizmo.HoldsGpuObjects())
            m_gizmo.Release();
        ReleaseRenderer();
    }
    ReleaseGlSurface(m_glSurface);
}

void SceneView::SetDocument(Document* document)
{
    if (document == m_document)
        return;
    m_detail.StopBuild();
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

ViewContext SceneView::Context() const
{
    return ViewContext(m_glSurface, m_renderer, m_pointRenderer.get(), m_splatRenderer.get(), m_streamedRenderer.get());
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
        m_desktop.ReportOpenGlUnavailable();
        return false;
    }

    if (const GLubyte* renderer = glGetString(GL_RENDERER))
        m_detail.SetGlRenderer(reinterpret_cast<const char*>(renderer));
    MatchRendererToScene(false);
    m_gizmo.Create();  // a failure is logged by the gizmo, which then draws nothing
    return true;
}

void SceneView::OnDestroy()
{
    m_detail.StopBuild();
    {
        const GlContextScope context(m_glSurface);
        if (context)
            m_gizmo.Release();
        ReleaseRenderer();
    }
    m_sceneDrawable = false;
}

void SceneView::OnSize(int width, int height)
{
    if (!m_glSurface.HasContext() || width <= 0 || height <= 0)
        return;
    const GlContextScope context(m_glSurface);
    glViewport(0, 0, width, height);
    m_controller.viewportHeight = height;
    if (m_renderer)
        m_renderer->Resize(width, height);
    Invalidate();
}

void SceneView::OnDraw()
{
    const GlContextScope context(m_glSurface);
    if (!context)
        return;
    m_glSurface.BindWindowFramebuffer();
    DrawScene();
    m_glSurface.SwapBuffers();
}

void SceneView::DrawScene()
{
    glClearColor(m_background.x(), m_background.y(), m_background.z(), 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // An empty client area shows nothing, and its aspect ratio would make the projection infinite.
    const ClientSize client = m_desktop.ViewClientSize();
    if (client.width <= 0 || client.height <= 0)
        return;

    const SceneBounds* bounds = Bounds();
    if (m_renderer && m_sceneDrawable && bounds) {
        m_camera.UpdateClipPlanes(bounds->boundsMin, bounds->boundsMax);
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
    m_detail.StopBuild();
    if (m_glSurface.HasContext()) {
        const GlContextScope context(m_glSurface);
        if (m_document) {
            MatchRendererToScene(m_document->Kind() == SceneKind::GaussianSplats);
            std::optional<PointOctree> tree =
                m_pointRenderer ? m_detail.BuildBeforeUpload(*m_document) : std::nullopt;
            UploadScene();
            if (tree && m_sceneDrawable && m_pointRenderer)
                m_pointRenderer->SetOctree(std::make_shared<const PointOctree>(std::move(*tree)));
            ResetView();
            RequestSplatResort();
            StartOctreeBuildIfNeeded();
        }
    }
    m_frames.Forget();
    m_detail.ForgetDrawnCount();
    UpdateStatusTexts();
    Invalidate();
}

void SceneView::OnSceneLeaving()
{
    m_detail.StopBuild();
}

void SceneView::MatchRendererToScene(bool wantSplat)
{
    const PointCloudData* cloud = m_document ? m_document->PointCloud() : nullptr;
    const bool wantStreamed = !wantSplat && cloud && cloud->streamed;
    if (m_renderer && wantSplat == ShowsSplats() && wantStreamed == (m_streamedRenderer != nullptr))
        return;
    // The old renderer gives back its GPU objects while the context is current.
    ReleaseRenderer();
    if (wantSplat) {
        m_splatRenderer = std::make_unique<GaussianSplatRenderer>([&desktop = m_desktop] { desktop.PostWake(); });
        m_renderer = m_splatRenderer.get();
    } else if (wantStreamed) {  // arriving nodes repaint through a wake-up
        m_streamedRenderer = std::make_unique<StreamedPointRenderer>([&desktop = m_desktop] { desktop.PostWake(); });
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
        const GaussianData* splats = m_document->Splats();
        m_sceneDrawable = splats && m_splatRenderer->UploadSplats(*splats) && !splats->positions.empty();
        if (m_splatRenderer->hasObjectIds) {
            m_splatRenderer->segSeed = m_segSeed;
            m_splatRenderer->segBlend = ClampUnit(m_segBlend);
        }
    } else if (m_pointRenderer || m_streamedRenderer) {
        // A document without a cloud uploads an empty one, which leaves the renderer empty.
        const PointCloudData none;
        const PointCloudData& cloud = m_document->PointCloud() ? *m_document->PointCloud() : none;
        const bool uploaded = m_pointRenderer ? m_pointRenderer->UploadPoints(cloud)
                                              : m_streamedRenderer->UploadPoints(cloud);
        m_sceneDrawable = uploaded && HoldsPoints(cloud);
    }
}

void SceneView::OnWake()
{
    if (std::optional<PointOctree> tree = m_detail.TakeFinishedBuild())
        AdoptOctree(std::move(*tree));
    // A drag repaints on every step anyway.
    if (m_controller.dragMode == DragMode::Idle)
        Invalidate();
}

const SceneBounds* SceneView::Bounds() const
{
    if (!m_document)
        return nullptr;
    if (const GaussianData* splats = m_document->Splats())
        return HoldsPoints(*splats) ? splats : nullptr;
    if (const PointCloudData* cloud = m_document->PointCloud())
        return HoldsPoints(*cloud) ? cloud : nullptr;
    return nullptr;
}

void SceneView::FitToScene()
{
    if (const SceneBounds* bounds = Bounds())
        m_camera.FitTo(bounds->center, bounds->radius, bounds->boundsMin, bounds->boundsMax);
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
    if (!m_splatRenderer || !m_sceneDrawable || !m_glSurface.HasContext())
        return;
    const GlContextScope context(m_glSurface);
    m_splatRenderer->SortNow(m_camera.ViewMatrix());
}

void SceneView::ApplyCameraFrame(int index)
{
    if (!m_document)
        return;
    m_frames.GoTo(m_document->CameraPoses(), index,
                  [this](const CameraFrame& frame, float fallbackFovY) { return ApplyCameraPose(frame, fallbackFovY); });
}

bool SceneView::ApplyCameraPose(const CameraFrame& frame, float fallbackFovY)
{
    if (!m_document || !PutCameraAtFrame(m_camera, frame, fallbackFovY, SceneOrigin(*m_document), Bounds()))
        return false;
    RequestSplatResort();
    UpdateStatusTexts();
    Invalidate();
    return true;
}

void SceneView::UpdateStatusTexts()
{
    if (!m_document)
        return;
    ViewStatus status = ComposeViewStatus(*m_document, m_camera, m_frames.Index());
    if (const PointDrawStats drawn = LastDrawStats(); !ShowsSplats() && drawn.drawn < drawn.total) {
        status.drawnPoints = drawn.drawn;
        status.items = drawn.total;
    }
    if (status.scene == SceneKind::PointCloud) {
        if (ShownColorMode() != ColorMode::Rgb)
            status.colorMode = ShownColorMode();
        status.eyeDomeLighting = m_pointStyle.edlStrength > 0.0f;
    }
    m_desktop.ShowStatus(status);
}

// Level of detail: the view's side.

void SceneView::ApplyPointBudget()
{
    m_detail.ApplyBudget(m_pointRenderer.get(), m_streamedRenderer.get(), m_controller.dragMode != DragMode::Idle);
}

PointDrawStats SceneView::LastDrawStats() const
{
    if (m_pointRenderer)
        return m_pointRenderer->LastDrawStats();
    PointDrawStats stats;
    const PointCloudData* cloud = m_document ? m_document->PointCloud() : nullptr;
    if (m_streamedRenderer && cloud && cloud->streamed) {
        stats.total = cloud->streamed->TotalPoints();
        stats.drawn = m_streamedRenderer->DrawnPoints();
        stats.nodesDrawn = m_streamedRenderer->NodesDrawn();
        stats.nodesLoaded = cloud->streamed->GetStats().loadedNodes;
        return stats;
    }
    if (const GaussianData* splats = m_document ? m_document->Splats() : nullptr; m_splatRenderer && splats && m_sceneDrawable)
        stats.total = stats.drawn = splats->positions.size();
    return stats;
}

bool SceneView::OctreeWanted() const
{
    return m_pointRenderer && m_document && m_sceneDrawable && m_detail.OctreeWanted(*m_document, *m_pointRenderer);
}

void SceneView::StartOctreeBuildIfNeeded()
{
    if (m_glSurface.HasContext() && OctreeWanted())
        m_detail.StartBuild(*m_document);
}

void SceneView::FinishOctreeBuild()
{
    std::optional<PointOctree> tree;
    if (m_detail.Building())
        tree = m_detail.WaitForBuild();
    else if (OctreeWanted() && m_glSurface.HasContext())
        tree = m_detail.BuildNow(*m_document);
    if (tree)
        AdoptOctree(std::move(*tree));
}

void SceneView::AdoptOctree(PointOctree tree)
{
    // The document may have changed since the build began only through a new scene, which
    // cancels the build; a tree that no longer fits is dropped all the same.
    if (!m_pointRenderer || !m_document || !m_glSurface.HasContext())
        return;
    const GlContextScope context(m_glSurface);
    m_sceneDrawable = m_detail.AdoptOctree(std::move(tree), *m_document, *m_pointRenderer);
    Invalidate();
}

void SceneView::ShowDrawnCount()
{
    // Splat scenes show their count only; point clouds, whole or streamed, what was drawn.
    if (!ShowsSplats() && m_detail.DrawnCountChanged(LastDrawStats().drawn))
        UpdateStatusTexts();
}
