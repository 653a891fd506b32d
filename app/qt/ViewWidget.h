#pragma once

// libepoxy's GL header must come before Qt's.
#include <epoxy/gl.h>

#include "view/ViewHost.h"

#include <QOpenGLWidget>
#include <QSurfaceFormat>

#include <filesystem>
#include <memory>

class SceneView;

// The surface format the view needs: OpenGL 4.5 core, 24-bit depth, 8-bit stencil, double
// buffered, single sampled (picking reads the depth buffer back).
QSurfaceFormat ViewSurfaceFormat();

// The view's window: a QOpenGLWidget that owns the GL context and the SceneView drawing
// into it. It forwards size changes, paints and input to the view and answers the view's
// window services through the desktop.
//
// Qt makes the context when the widget is first shown; the view is created afterwards with
// CreateView(), so that its creation (and the message a failure shows) happens outside Qt's
// own GL set-up. Until then paints only clear the window.
class ViewWidget : public QOpenGLWidget {
    Q_OBJECT
public:
    ViewWidget(ViewHost& desktop, std::filesystem::path settingsFile, QWidget* parent = nullptr);
    ~ViewWidget() override;

    SceneView& View() { return *m_view; }

    // Runs the view's creation once the widget is shown. False when the view refused (no
    // OpenGL 4.5 core context); it has then shown its message.
    bool CreateView();
    bool IsViewCreated() const { return m_viewCreated; }

    // Window services the desktop hands on.
    void PostWake();  // thread-safe: the view's OnWake follows on the UI thread
    void CaptureMouse() { m_mouseCaptured = true; }
    void ReleaseMouse() { m_mouseCaptured = false; }
    bool HasMouseCapture() const { return m_mouseCaptured; }
    // Shift as it was when the key or mouse event being handled was sent; the live state
    // outside event handling.
    bool IsShiftDown() const;
    ClientSize FramebufferClientSize() const;

protected:
    void resizeGL(int width, int height) override;
    void paintGL() override;

    bool event(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    class Backend;

    QPoint FramebufferPoint(const QMouseEvent* event) const;

    std::filesystem::path m_settingsFile;  // the display settings: loaded at creation, saved at the end
    std::unique_ptr<SceneView> m_view;
    bool m_viewCreated = false;
    bool m_mouseCaptured = false;
    const Qt::KeyboardModifiers* m_eventModifiers = nullptr;
};
