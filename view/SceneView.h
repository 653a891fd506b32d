#pragma once

#include "view/ViewHost.h"
#include "gl/GlSurface.h"
#include "document/DocumentView.h"
#include "render/AxisGizmo.h"
#include "render/BudgetedPointDraw.h"
#include "render/GaussianSplatRenderer.h"
#include "render/IRenderer.h"
#include "render/PointCloudRenderer.h"
#include "render/StreamedPointRenderer.h"
#include "view/CameraController.h"
#include "view/InputEvents.h"
#include "view/ViewCamera.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

struct CameraFrame;

class Document;
class OctreeBuildJob;
class ThreadPool;
struct PointOctree;
struct AppSettings;

// The single view: owns the GL surface, the camera, the drag state, the current renderer and
// the axis gizmo, and draws the document's scene on demand. It is written against the desktop
// interface only; the desktop shell (or a test, or a command-line tool) forwards window
// notifications, input and commands to it on the UI thread.
class SceneView : public IDocumentView {
public:
    // The display settings start at their defaults; whoever stores them hands them over with
    // SetDisplaySettings before Create and takes them back with DisplaySettings.
    SceneView(ViewHost& desktop, GlContextBackendFactory glBackendFactory);
    ~SceneView() override;
    SceneView(const SceneView&) = delete;
    SceneView& operator=(const SceneView&) = delete;

    // The document this view shows; may be null. The view registers itself with it (and
    // leaves the previous one), and leaves it again when destroyed, so the document must
    // outlive the view or be replaced by null first.
    void SetDocument(Document* document);
    Document* GetDocument() const { return m_document; }

    // Window notifications.
    // Creates the GL surface and makes the renderers; false when the window must not be
    // created (no OpenGL 4.5).
    bool Create();
    void OnDestroy();
    void OnSize(int width, int height);
    void OnDraw();
    void OnInitialUpdate();
    void OnSceneChanged() override;
    void OnSceneLeaving() override;  // stops a background octree build
    // The message posted by the splat sort thread (repaint) or by a finished octree build
    // (swap the tree in).
    void OnResortMessage();

    // Input (client pixels, y down).
    void OnButtonDown(MouseButton button, int x, int y, MouseModifiers modifiers);
    void OnButtonUp(MouseButton button, int x, int y);
    void OnMouseMove(int x, int y);
    void OnMouseWheel(int delta);  // 120 per notch, positive away from the user
    void OnKeyDown(ViewKey key);  // Shift from the desktop
    void OnLButtonDblClk(int x, int y);

    // Commands and shared view operations.
    bool GetSceneBounds(Eigen::Vector3f& boundsMin, Eigen::Vector3f& boundsMax, Eigen::Vector3f& center,
                        float& radius) const;
    void DrawScene();
    void FitToScene();
    void ResetView();
    void SetViewAxis(int axis, bool reversed);
    void RequestSplatResort();
    void UpdateStatusTexts();
    void OnViewFit();  // the Fit command: fit, re-sort, repaint
    void ShowSettingsDialog();
    void OpenCameraPoseFile();
    // The pose file the user picks in the open dialog; nothing when they cancel.
    std::optional<std::string> ChooseCameraPoseFile();
    void ApplyCameraFrame(int index);
    // Puts the eye at a recorded camera (a frame of a pose file or a point of a camera path);
    // the field of view falls back to fallbackFovY when the frame gives none. False, leaving
    // the camera as it is, when the pose does not fit in single precision.
    bool ApplyCameraPose(const CameraFrame& frame, float fallbackFovY);
    bool PickPoint(int cx, int cy, Eigen::Vector3f& worldPoint);

    // What the view shows now, for the shell, the tools and tests.
    const ViewCamera& Camera() const { return m_camera; }
    const CameraController& Controller() const { return m_controller; }
    const PointStyle& CurrentPointStyle() const { return m_pointStyle; }
    IRenderer* Renderer() const { return m_renderer; }
    bool SceneDrawable() const { return m_sceneDrawable; }
    bool ShowsSplats() const { return m_splatRenderer != nullptr; }
    // The camera frame of the pose file the eye was last put at; -1 when none.
    std::int32_t FrameIndex() const { return m_frameIndex; }
    // The tint the settings hold; the live splat renderer may show another blend (the keys
    // change only the scene on screen).
    std::uint32_t SegmentSeedSetting() const { return m_segSeed; }
    float SegmentBlendSetting() const { return m_segBlend; }

    // Puts the eye where the given camera is and repaints; a splat scene is re-sorted by the
    // next frame, as after a drag.
    void SetCamera(const ViewCamera& camera);
    // Draws through a pinhole lens (a training camera's intrinsics) from now on, or through the
    // view's own field of view again when empty.
    void SetPinhole(const std::optional<PinholeIntrinsics>& pinhole);
    // Forgets which camera frame the eye was put at (the next step starts at the first frame).
    void ForgetFrameIndex() { m_frameIndex = -1; }
    // Makes the view's GL context current on this thread; false when there is none.
    bool MakeContextCurrent();

    // The display settings as the view holds them now: seed and blend from the live splat
    // renderer when there is one.
    AppSettings DisplaySettings() const;
    // Takes every display setting as given, straight into the camera for the projection
    // and navigation mode; the renderers see them from the next frame or scene on.
    void SetDisplaySettings(const AppSettings& settings);
    // The GL context back-end the view draws with; null before Create.
    IGlContextBackend* GlBackend() const { return m_glSurface.Backend(); }

    // Point colouring and eye-dome lighting (ViewColoring.cpp). The chosen mode is kept
    // across scenes; a cloud that cannot show it is drawn as RGB, which ShownColorMode says.
    void SetColorMode(ColorMode mode);
    ColorMode ChosenColorMode() const { return m_pointStyle.colorMode; }
    ColorMode ShownColorMode() const;
    bool CanShowColorMode(ColorMode mode) const;
    // The C key: the next mode the document's cloud can show.
    void CycleColorMode();
    void SetEyeDomeLighting(float strength, float radius);
    float EdlStrength() const { return m_pointStyle.edlStrength; }
    float EdlRadius() const { return m_pointStyle.edlRadius; }

    // The splat renderer when it is the current renderer, else null.
    GaussianSplatRenderer* SplatRenderer() const { return m_splatRenderer.get(); }
    // The point renderer when it is the current renderer, else null.
    PointCloudRenderer* PointRenderer() const { return m_pointRenderer.get(); }
    // The renderer of a streamed cloud when it is the current renderer, else null.
    StreamedPointRenderer* StreamedRenderer() const { return m_streamedRenderer.get(); }

    // Level of detail of point clouds larger than the point budget. With a worker pool (which
    // must outlive the view) the octree is built in the background after each load, an even
    // subset being drawn meanwhile; without one only FinishOctreeBuild builds it.
    void SetWorkerPool(ThreadPool* pool);
    // Builds the octree the budget needs now, or waits for the background build, and swaps it
    // in: for tools whose pictures must not depend on timing.
    void FinishOctreeBuild();
    // Whether a cloud larger than the budget gets its octree before it is first uploaded,
    // rather than in the background while it is drawn: for tools, which draw nothing before
    // it and so never hold the cloud's GPU copy and the build's memory at once.
    void SetOctreeBeforeUpload(bool before) { m_octreeBeforeUpload = before; }
    // What the last frame drew; a splat scene draws every splat.
    PointDrawStats LastDrawStats() const;
    // Points a frame with the camera at rest may draw now (kEveryPoint: all).
    std::uint64_t StillBudget() const;

private:
    void Invalidate();
    // Replaces the renderer by one of the other kind when the scene kind asks for it.
    void MatchRendererToScene(bool wantSplat);
    // Gives back the current renderer's GPU objects (the context must be current) and drops it.
    void ReleaseRenderer();
    void UploadScene();
    void MoveAlongForward(float amount);
    void StepPointSize(float delta);
    void StepSegmentBlend(float delta);
    void ApplyPointStyle();

    GlSurface m_glSurface;
    ViewCamera m_camera;
    CameraController m_controller;
    PointStyle m_pointStyle;
    float m_pointSizeMin = 1.0f;
    float m_pointSizeMax = 32.0f;
    Eigen::Vector3f m_background = Eigen::Vector3f::Zero();
    // Exactly one of the renderers exists while the view is created; m_renderer is it.
    std::unique_ptr<PointCloudRenderer> m_pointRenderer;
    std::unique_ptr<GaussianSplatRenderer> m_splatRenderer;
    std::unique_ptr<StreamedPointRenderer> m_streamedRenderer;  // a cloud read node by node from disk
    IRenderer* m_renderer = nullptr;
    bool m_sceneDrawable = false;
    AxisGizmo m_gizmo;
    bool m_showGizmo = true;
    std::uint32_t m_segSeed = 1;
    float m_segBlend = 0.5f;
    std::int32_t m_frameIndex = -1;

    // Level of detail (ViewLevelOfDetail.cpp).
    bool CameraMoving() const;
    // A wheel notch or fly key: a quarter of the budget until the camera rests again.
    void NoteCameraStep();
    void ApplyPointBudget();
    bool OctreeWanted() const;
    void StartOctreeBuildIfNeeded();
    void StopOctreeBuild();
    void AdoptOctree(PointOctree tree);
    // With SetOctreeBeforeUpload, the octree of a new cloud that needs one, the cloud already
    // reordered to it; otherwise nothing.
    std::optional<PointOctree> OctreeBeforeUpload();
    // Updates the point pane when the last frame drew a different number of points.
    void ShowDrawnCount();

    ViewHost& m_desktop;
    GlContextBackendFactory m_glBackendFactory;
    Document* m_document = nullptr;
    ThreadPool* m_workerPool = nullptr;
    std::optional<std::int64_t> m_pointBudgetSetting;  // as AppSettings::pointBudget
    std::string m_glRenderer;                           // GL_RENDERER, for the automatic budget
    std::unique_ptr<OctreeBuildJob> m_octreeBuild;
    bool m_octreeBeforeUpload = false;
    std::optional<std::chrono::steady_clock::time_point> m_lastCameraStep;
    std::uint64_t m_shownDrawnPoints = 0;
};
