#include "app/qt/ViewWidget.h"

#include "platform/Log.h"
#include "app/qt/InputMapping.h"
#include "settings/AppSettings.h"
#include "view/SceneView.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QPointer>
#include <QWheelEvent>

namespace {

// The event that carries a wake-up (work finished off the UI thread) to the view.
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Key codes are XKB key codes only on the Linux window systems.
bool ScanCodesAreXkb()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
}

// Remembers the modifiers of the event being handled for IsShiftDown.
class EventModifiersScope {
public:
    EventModifiersScope(const Qt::KeyboardModifiers*& slot, const Qt::KeyboardModifiers& modifiers)
        : m_slot(slot), m_previous(slot)
    {
        m_slot = &modifiers;
    }
    ~EventModifiersScope() { m_slot = m_previous; }
    EventModifiersScope(const EventModifiersScope&) = delete;
    EventModifiersScope& operator=(const EventModifiersScope&) = delete;

private:
    const Qt::KeyboardModifiers*& m_slot;
    const Qt::KeyboardModifiers* m_previous;
};

}  // namespace

// The view's GL context back end: the widget's own context and framebuffer object.
class ViewWidget::Backend : public IGlContextBackend {
public:
    explicit Backend(ViewWidget& widget) : m_widget(&widget) {}

    bool CreateContext() override
    {
        if (!m_widget || !m_widget->context() || !m_widget->context()->isValid()) {
            Log(LogLevel::Error, "", "Failed to create the OpenGL context of the view window.");
            return false;
        }
        m_widget->makeCurrent();
        return true;
    }
    bool MakeCurrent() override
    {
        if (!m_widget || !m_widget->context())
            return false;
        m_widget->makeCurrent();
        return true;
    }
    void SwapBuffers() override {}  // Qt shows the framebuffer after each paint
    ClientSize DrawableSize() const override { return m_widget ? m_widget->FramebufferClientSize() : ClientSize{}; }
    GLuint WindowFramebuffer() const override { return m_widget ? m_widget->defaultFramebufferObject() : 0; }
    void Release() override
    {
        if (m_widget && m_widget->context())
            m_widget->doneCurrent();
        m_widget = nullptr;
    }

private:
    QPointer<ViewWidget> m_widget;
};

QSurfaceFormat ViewSurfaceFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(4, 5);
    format.setProfile(QSurfaceFormat::CoreProfile);
    // Without this Qt asks for a forward-compatible context, which caps lines at 1 pixel;
    // the gizmo's lines are wider.
    format.setOption(QSurfaceFormat::DeprecatedFunctions);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setSamples(0);
    return format;
}

ViewWidget::ViewWidget(ViewHost& desktop, std::filesystem::path settingsFile, QWidget* parent)
    : QOpenGLWidget(parent), m_settingsFile(std::move(settingsFile))
{
    setObjectName("view");
    setFormat(ViewSurfaceFormat());
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(64, 48);
    m_view = std::make_unique<SceneView>(desktop, [this] { return std::make_unique<Backend>(*this); });
}

ViewWidget::~ViewWidget()
{
    // A view whose creation failed has loaded nothing, so it must not overwrite the file. The
    // view releases its GL objects while the context still exists; QOpenGLWidget deletes the
    // context after this destructor.
    if (m_viewCreated) {
        if (!m_settingsFile.empty())
            SaveSettingsTo(m_settingsFile, m_view->DisplaySettings());
        makeCurrent();
        m_view->OnDestroy();
    }
    m_view.reset();
}

bool ViewWidget::CreateView()
{
    if (m_viewCreated)
        return true;
    if (isValid())
        makeCurrent();
    // Settings the file lacks or rejects keep the starting values.
    if (!m_settingsFile.empty()) {
        AppSettings settings = m_view->DisplaySettings();
        LoadSettingsFrom(m_settingsFile, settings);
        m_view->SetDisplaySettings(settings);
    }
    if (!m_view->Create())
        return false;
    m_viewCreated = true;
    const ClientSize size = FramebufferClientSize();
    m_view->OnSize(size.width, size.height);
    update();
    return true;
}

void ViewWidget::PostWake()
{
    // Posting is thread-safe, and Qt drops events still queued for a widget that is deleted.
    QCoreApplication::postEvent(this, new QEvent(kWakeEvent));
}

bool ViewWidget::IsShiftDown() const
{
    const Qt::KeyboardModifiers modifiers =
        m_eventModifiers ? *m_eventModifiers : QGuiApplication::queryKeyboardModifiers();
    return modifiers.testFlag(Qt::ShiftModifier);
}

ClientSize ViewWidget::FramebufferClientSize() const
{
    return FramebufferSize(size(), devicePixelRatioF());
}

void ViewWidget::resizeGL(int, int)
{
    if (!m_viewCreated)
        return;
    const ClientSize size = FramebufferClientSize();
    m_view->OnSize(size.width, size.height);
}

void ViewWidget::paintGL()
{
    if (m_viewCreated) {
        // Qt sets a viewport truncated from the scaled widget size, while the framebuffer's
        // size is rounded; at fractional scales that leaves a 1-pixel strip. The view draws,
        // measures and picks in the one framebuffer size.
        const ClientSize size = FramebufferClientSize();
        glViewport(0, 0, size.width, size.height);
        m_view->OnDraw();
        return;
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

bool ViewWidget::event(QEvent* event)
{
    if (event->type() == kWakeEvent) {
        if (m_viewCreated)
            m_view->OnWake();
        return true;
    }
    // Tab belongs to the view (it switches the navigation mode), not to focus changes.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            keyPressEvent(static_cast<QKeyEvent*>(event));
            return true;
        }
    }
    return QOpenGLWidget::event(event);
}

bool ViewWidget::focusNextPrevChild(bool)
{
    return false;
}

void ViewWidget::keyPressEvent(QKeyEvent* event)
{
    // Alt combinations belong to the menus.
    if (m_viewCreated && !event->modifiers().testFlag(Qt::AltModifier)) {
        const Qt::KeyboardModifiers modifiers = event->modifiers();
        EventModifiersScope scope(m_eventModifiers, modifiers);
        const quint32 xkbKeycode = ScanCodesAreXkb() ? event->nativeScanCode() : 0;
        if (const std::optional<ViewKey> key = ViewKeyFromQt(event->key(), modifiers, xkbKeycode))
            m_view->OnKeyDown(*key);
    }
    QOpenGLWidget::keyPressEvent(event);
}

QPoint ViewWidget::FramebufferPoint(const QMouseEvent* event) const
{
    return FramebufferPosition(event->position(), devicePixelRatioF());
}

void ViewWidget::mousePressEvent(QMouseEvent* event)
{
    const auto button = ViewButtonFromQt(event->button());
    if (!m_viewCreated || !button) {
        QOpenGLWidget::mousePressEvent(event);
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    EventModifiersScope scope(m_eventModifiers, modifiers);
    const QPoint at = FramebufferPoint(event);
    m_view->OnButtonDown(*button, at.x(), at.y(), ViewModifiersFromQt(modifiers));
}

void ViewWidget::mouseReleaseEvent(QMouseEvent* event)
{
    const auto button = ViewButtonFromQt(event->button());
    if (!m_viewCreated || !button) {
        QOpenGLWidget::mouseReleaseEvent(event);
        return;
    }
    const QPoint at = FramebufferPoint(event);
    m_view->OnButtonUp(*button, at.x(), at.y());
}

void ViewWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_viewCreated && event->button() == Qt::LeftButton) {
        const QPoint at = FramebufferPoint(event);
        m_view->OnLButtonDblClk(at.x(), at.y());
        return;
    }
    // The second press of another button's double click does nothing.
    if (m_viewCreated && ViewButtonFromQt(event->button()))
        return;
    QOpenGLWidget::mouseDoubleClickEvent(event);
}

void ViewWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_viewCreated)
        return;
    const QPoint at = FramebufferPoint(event);
    m_view->OnMouseMove(at.x(), at.y());
}

void ViewWidget::wheelEvent(QWheelEvent* event)
{
    const int delta = ViewWheelDelta(event->angleDelta(), event->modifiers());
    if (!m_viewCreated || delta == 0) {
        QOpenGLWidget::wheelEvent(event);
        return;
    }
    m_view->OnMouseWheel(delta);
    event->accept();
}

// Meta-object code in this file, so that each class links on its own.
#include "moc_ViewWidget.cpp"
