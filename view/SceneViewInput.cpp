#include "view/SceneView.h"

#include "document/Document.h"
#include "render/GaussianSplatRenderer.h"
#include "scene/SceneBounds.h"
#include "settings/AppSettings.h"
#include "view/ClampUnit.h"

#include <cmath>

namespace {

// The drag a button starts: Shift wins over Ctrl on the right button.
DragMode DragForButton(MouseButton button, MouseModifiers modifiers, int navMode)
{
    const DragMode turn = navMode == Fly ? DragMode::Look : DragMode::Rotate;
    switch (button) {
    case MouseButton::Left:
        return turn;
    case MouseButton::Middle:
        return DragMode::Pan;
    case MouseButton::Right:
        if (modifiers.shift)
            return DragMode::Zoom;
        if (modifiers.ctrl)
            return DragMode::Pan;
        return turn;
    }
    return DragMode::Idle;
}

}  // namespace

void SceneView::OnButtonDown(MouseButton button, int x, int y, MouseModifiers modifiers)
{
    m_desktop.SetViewFocus();
    m_desktop.CaptureMouse();
    m_controller.lastX = x;
    m_controller.lastY = y;
    m_controller.dragMode = DragForButton(button, modifiers, m_camera.navMode);
}

void SceneView::OnButtonUp(MouseButton, int, int)
{
    // Releasing any button ends the drag, whichever button started it.
    const DragMode ended = m_controller.dragMode;
    m_controller.dragMode = DragMode::Idle;
    if (m_desktop.ViewHasMouseCapture())
        m_desktop.ReleaseMouse();
    if (ended == DragMode::Rotate || ended == DragMode::Look)
        RequestSplatResort();
    if (ended != DragMode::Idle)
        Invalidate();
}

void SceneView::OnMouseMove(int x, int y)
{
    if (m_controller.dragMode == DragMode::Idle || !m_desktop.ViewHasMouseCapture())
        return;
    if (m_controller.OnDrag(x, y))
        Invalidate();
}

void SceneView::OnMouseWheel(int delta)
{
    // Fractions of a notch (touchpads, free-spinning wheels) zoom by the matching fraction.
    m_camera.ZoomBy(std::pow(m_controller.wheelBase, static_cast<float>(delta) / 120.0f));
    m_detail.NoteCameraStep();
    Invalidate();
}

void SceneView::MoveAlongForward(float amount)
{
    m_camera.target += m_camera.Forward() * amount;
}

void SceneView::StepPointSize(float delta)
{
    m_pointStyle.size = static_cast<float>(ClampPointSize(m_pointStyle.size + delta, m_pointSizeMin, m_pointSizeMax));
    if (m_renderer) {
        const GlContextScope context(m_glSurface);
        m_renderer->SetPointStyle(m_pointStyle);
    }
    Invalidate();
}

void SceneView::StepSegmentBlend(float delta)
{
    if (!m_splatRenderer || !m_splatRenderer->hasObjectIds)
        return;
    m_splatRenderer->segBlend = ClampUnit(m_splatRenderer->segBlend + delta);
    Invalidate();
}

void SceneView::OnKeyDown(ViewKey key)
{
    const bool shift = m_desktop.IsShiftDown();
    const bool hasFrames = m_document && !m_document->CameraPoses().frames.empty();
    const bool flying = m_camera.navMode == Fly;
    const float step = m_camera.distance * 0.04f * (shift ? 4.0f : 1.0f);

    // Fly-mode moves: the eye follows the target.
    const auto flyMove = [&](auto move) {
        if (!flying)
            return;
        move();
        RequestSplatResort();
        m_detail.NoteCameraStep();
        Invalidate();
    };

    switch (key) {
    case ViewKey::Tab:
        m_camera.navMode = m_camera.navMode == Orbit ? Fly : Orbit;
        UpdateStatusTexts();
        Invalidate();
        break;
    case ViewKey::PageUp:
    case ViewKey::Digit1:
        if (hasFrames)
            ApplyCameraFrame(m_frames.Previous());
        break;
    case ViewKey::PageDown:
    case ViewKey::Digit2:
        if (hasFrames)
            ApplyCameraFrame(m_frames.Next());
        break;
    case ViewKey::W:
        flyMove([&] { MoveAlongForward(step); });
        break;
    case ViewKey::S:
        flyMove([&] { MoveAlongForward(-step); });
        break;
    case ViewKey::D:
        flyMove([&] { m_camera.Pan(step, 0.0f); });
        break;
    case ViewKey::A:
        flyMove([&] { m_camera.Pan(-step, 0.0f); });
        break;
    case ViewKey::E:
        flyMove([&] { m_camera.Pan(0.0f, step); });
        break;
    case ViewKey::Q:
        flyMove([&] { m_camera.Pan(0.0f, -step); });
        break;
    case ViewKey::C:
        CycleColorMode();
        break;
    case ViewKey::F:
        OnViewFit();
        break;
    case ViewKey::G:
        m_showGizmo = !m_showGizmo;
        Invalidate();
        break;
    case ViewKey::M:
        if (m_splatRenderer && m_splatRenderer->hasObjectIds) {
            m_splatRenderer->segEnabled = !m_splatRenderer->segEnabled;
            Invalidate();
        }
        break;
    case ViewKey::P: {
        m_camera.ToggleProjection();
        if (const SceneBounds* bounds = Bounds())
            m_camera.UpdateClipPlanes(bounds->boundsMin, bounds->boundsMax);
        UpdateStatusTexts();
        Invalidate();
        break;
    }
    case ViewKey::R:
        ResetView();
        RequestSplatResort();
        Invalidate();
        break;
    case ViewKey::X:
    case ViewKey::Y:
    case ViewKey::Z:
        SetViewAxis(static_cast<int>(key) - static_cast<int>(ViewKey::X), shift);
        break;
    case ViewKey::NumpadPlus:
    case ViewKey::PlusEquals:
        StepPointSize(1.0f);
        break;
    case ViewKey::NumpadMinus:
    case ViewKey::Minus:
        StepPointSize(-1.0f);
        break;
    case ViewKey::LeftBracket:
        StepSegmentBlend(-0.1f);
        break;
    case ViewKey::RightBracket:
        StepSegmentBlend(0.1f);
        break;
    }
}
