#pragma once

#include "view/ViewHost.h"
#include "gl/GlSurface.h"
#include "document/DocumentView.h"
#include "render/AxisGizmo.h"
#include "render/IRenderer.h"
#include "view/CameraController.h"
#include "view/InputEvents.h"
#include "view/ViewCamera.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

struct CameraFrame;

class Document;
class GaussianSplatRenderer;
struct AppSettings;

// The single view: owns the GL surface, the camera, the drag state, the current renderer and
// the axis gizmo, and draws the document's scene on demand. It is written against the desktop
// interface only; the desktop shell (or a test, or a command-line tool) forwards window
// notifications, input and commands to it on the UI thread.
class SceneView : public IDocumentView {
public:
    // `settingsFile`: where the display settings are loaded from at creation and saved to at
    // destruction; empty to neither load nor save.
    SceneView(ViewHost& desktop, GlContextBackendFactory glBackendFactory,
                std::filesystem::path settingsFile);
    ~SceneView() override;
    SceneView(const SceneView&) = delete;
    SceneView& operator=(const SceneView&) = delete;

    // The document this view shows; may be null. The view registers itself with it (and
    // leaves the previous one), and leaves it again when destroyed, so the document must
    // outlive the view or be replaced by null first.
    void SetDocument(Document* document);
    Document* GetDocument() const { return m_document; }

    // Window notifications.
    // Creates the GL surface, loads the display settings and makes the renderers; false when
    // the window must not be created (no OpenGL 4.5).
    bool Create();
    void OnDestroy();
    void OnSize(int width, int height);
    void OnDraw();
    void OnInitialUpdate();
    void OnUpdate(int hint) override;
    void OnResortMessage();  // the repaint message posted by the splat sort thread

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

    // State, read by the shell and by tests.
    GlSurface m_glSurface;
    ViewCamera m_camera;
    CameraController m_controller;
    PointStyle m_pointStyle;
    float m_pointSizeMin = 1.0f;
    float m_pointSizeMax = 32.0f;
    Eigen::Vector3f m_background = Eigen::Vector3f::Zero();
    std::unique_ptr<IRenderer> m_renderer;
    bool m_sceneDrawable = false;
    bool m_rendererIsSplat = false;
    AxisGizmo m_gizmo;
    bool m_showGizmo = true;
    std::uint32_t m_segSeed = 1;
    float m_segBlend = 0.5f;
    std::int32_t m_frameIndex = -1;

    // The display settings as the view holds them now: seed and blend from the live splat
    // renderer when there is one.
    AppSettings DisplaySettings() const;
    // Takes every display setting as given, straight into the camera for the projection
    // and navigation mode; the renderers see them from the next frame or scene on.
    void SetDisplaySettings(const AppSettings& settings);
    // The GL context back-end the view draws with; null before Create.
    IGlContextBackend* GlBackend() const { return m_glSurface.Backend(); }

    // The splat renderer when it is the current renderer, else null.
    GaussianSplatRenderer* SplatRenderer() const;

private:
    void Invalidate();
    // Replaces the renderer by one of the other kind when the scene kind asks for it.
    void MatchRendererToScene(bool wantSplat);
    void UploadScene();
    void MoveAlongForward(float amount);
    void StepPointSize(float delta);
    void StepSegmentBlend(float delta);

    ViewHost& m_desktop;
    GlContextBackendFactory m_glBackendFactory;
    std::filesystem::path m_settingsFile;
    Document* m_document = nullptr;
    bool m_created = false;  // Create succeeded: only then are settings saved at destruction
};
