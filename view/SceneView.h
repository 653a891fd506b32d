#pragma once

#include "view/ViewHost.h"
#include "gl/GlSurface.h"
#include "document/DocumentView.h"
#include "render/AxisGizmo.h"
#include "render/BudgetedPointDraw.h"
#include "render/IRenderer.h"
#include "view/CameraController.h"
#include "view/CameraFrameStepper.h"
#include "view/InputEvents.h"
#include "view/LevelOfDetail.h"
#include "view/ViewCamera.h"
#include "view/ViewContext.h"

#include <Eigen/Core>

#include <cstdint>
#include <memory>
#include <optional>

struct AppSettings;
struct CameraFrame;
struct SceneBounds;
class Document;
class GaussianSplatRenderer;
class PointCloudRenderer;
class StreamedPointRenderer;

// The single view: owns the GL surface, the camera, the drag state, the current renderer, the
// axis gizmo, the level of detail and the camera-frame stepper, and draws the document's
// scene on demand. It is written against the desktop interface only; the desktop shell (or a
// test, or a command-line tool) forwards window notifications, input and commands to it on
// the UI thread, and runs the dialogs itself.
//
// The parts of SceneView live in SceneView.cpp (window, document, drawing, commands),
// SceneViewInput.cpp, SceneViewPicking.cpp, SceneViewSettings.cpp and SceneViewColoring.cpp.
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
    // Work finished off the UI thread (the splat sort, a streamed node, an octree build) and
    // posted through ViewHost::PostWake: takes in what is done and repaints.
    void OnWake();

    // Input (client pixels, y down).
    void OnButtonDown(MouseButton button, int x, int y, MouseModifiers modifiers);
    void OnButtonUp(MouseButton button, int x, int y);
    void OnMouseMove(int x, int y);
    void OnMouseWheel(int delta);  // 120 per notch, positive away from the user
    void OnKeyDown(ViewKey key);  // Shift from the desktop
    void OnLButtonDblClk(int x, int y);

    // Commands.
    void SetViewAxis(int axis, bool reversed);
    void OnViewFit();  // the Fit command: fit, re-sort, repaint
    // Orders a splat scene's splats for the current camera now.
    void RequestSplatResort();
    // Puts the eye at a camera frame of the document's pose file (see CameraFrameStepper).
    void ApplyCameraFrame(int index);
    // Puts the eye at a recorded camera (a frame of a pose file or a point of a camera path);
    // the field of view falls back to fallbackFovY when the frame gives none. False, leaving
    // the camera as it is, when the pose does not fit in single precision.
    bool ApplyCameraPose(const CameraFrame& frame, float fallbackFovY);
    // The scene point drawn nearest to the client pixel (or in a small window around it).
    bool PickPoint(int cx, int cy, Eigen::Vector3f& worldPoint);
    // Puts the eye where the given camera is and repaints; a splat scene is re-sorted by the
    // next frame, as after a drag.
    void SetCamera(const ViewCamera& camera);
    // Draws through a pinhole lens (a training camera's intrinsics) from now on, or through the
    // view's own field of view again when empty.
    void SetPinhole(const std::optional<PinholeIntrinsics>& pinhole);

    // What the view shows now, for the shell, the tools and tests.
    // The bounds of the document's scene; null without a scene that holds points.
    const SceneBounds* Bounds() const;
    const ViewCamera& Camera() const { return m_camera; }
    const CameraController& Controller() const { return m_controller; }
    const PointStyle& CurrentPointStyle() const { return m_pointStyle; }
    bool SceneDrawable() const { return m_sceneDrawable; }
    bool ShowsSplats() const { return m_splatRenderer != nullptr; }
    // The camera frame of the pose file the eye was last put at.
    const CameraFrameStepper& Frames() const { return m_frames; }
    CameraFrameStepper& Frames() { return m_frames; }
    // The tint the settings hold; the live splat renderer may show another blend (the keys
    // change only the scene on screen).
    std::uint32_t SegmentSeedSetting() const { return m_segSeed; }
    float SegmentBlendSetting() const { return m_segBlend; }

    // The view's GL context, current while the returned scope lives, with the renderers.
    ViewContext Context() const;
    // The GL context back-end the view draws with; null before Create.
    IGlContextBackend* GlBackend() const { return m_glSurface.Backend(); }

    // The display settings as the view holds them now: seed and blend from the live splat
    // renderer when there is one.
    AppSettings DisplaySettings() const;
    // Takes every display setting as given, straight into the camera for the projection
    // and navigation mode; the renderers see them from the next frame or scene on.
    void SetDisplaySettings(const AppSettings& settings);
    // Settings the user confirmed (the settings dialog's OK): taken as SetDisplaySettings
    // takes them, and shown at once by the scene on screen.
    void ApplyDisplaySettings(const AppSettings& settings);

    // Point colouring and eye-dome lighting. The chosen mode is kept across scenes; a cloud
    // that cannot show it is drawn as RGB, which ShownColorMode says.
    void SetColorMode(ColorMode mode);
    ColorMode ShownColorMode() const;
    bool CanShowColorMode(ColorMode mode) const;
    void SetEyeDomeLighting(float strength, float radius);

    // Level of detail of point clouds larger than the point budget: its worker pool and
    // whether the octree comes before the upload are set there.
    LevelOfDetail& Detail() { return m_detail; }
    // Builds the octree the budget needs now, or waits for the background build, and swaps it
    // in: for tools whose pictures must not depend on timing.
    void FinishOctreeBuild();
    // What the last frame drew; a splat scene draws every splat.
    PointDrawStats LastDrawStats() const;

private:
    void Invalidate();
    void DrawScene();
    void FitToScene();
    void ResetView();
    void UpdateStatusTexts();
    // Replaces the renderer by one of the other kind when the scene kind asks for it.
    void MatchRendererToScene(bool wantSplat);
    // Gives back the current renderer's GPU objects (the context must be current) and drops it.
    void ReleaseRenderer();
    void UploadScene();
    void MoveAlongForward(float amount);
    void StepPointSize(float delta);
    void StepSegmentBlend(float delta);
    // The C key: the next mode the document's cloud can show.
    void CycleColorMode();
    void ApplyPointStyle();

    // Level of detail: the view's side, which holds the renderer and the context.
    void ApplyPointBudget();
    bool OctreeWanted() const;
    void StartOctreeBuildIfNeeded();
    void AdoptOctree(PointOctree tree);
    // Updates the point pane when the last frame drew a different number of points.
    void ShowDrawnCount();

    ViewHost& m_desktop;
    GlContextBackendFactory m_glBackendFactory;
    Document* m_document = nullptr;
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
    CameraFrameStepper m_frames;
    LevelOfDetail m_detail;
};
