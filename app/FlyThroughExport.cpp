#include "app/FlyThroughExport.h"

#include "document/COrriskDoc.h"
#include "document/DocumentView.h"
#include "platform/ConsoleDesktop.h"
#include "platform/gl/HeadlessEglBackend.h"
#include "tools/RenderCameras.h"
#include "view/COrriskView.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QOpenGLContext>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>

#include <EGL/egl.h>

#include <memory>
#include <vector>

namespace {

constexpr int kMaxSide = 8192;

QSpinBox* SpinBox(const char* name, int minimum, int maximum, int value, QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(minimum, maximum);
    box->setValue(value);
    return box;
}

// A thread has one current context across GLX and EGL: the window's, left current by its
// painting, must be let go before the export's own is made current, and the export's before
// the window handles its events (which may paint or resize the view).
void ReleaseQtContext()
{
    if (QOpenGLContext* context = QOpenGLContext::currentContext())
        context->doneCurrent();
}

void ReleaseEglContext()
{
    const EGLDisplay display = eglGetCurrentDisplay();
    if (display != EGL_NO_DISPLAY)
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

void HandleWindowEvents()
{
    ReleaseEglContext();
    QCoreApplication::processEvents();
    ReleaseQtContext();
}

// The window's commands and view, held while a video is written and given back after.
class HeldWindow {
public:
    explicit HeldWindow(QMainWindow& window)
    {
        m_held.push_back(window.menuBar());
        m_held.push_back(window.centralWidget());
        for (QToolBar* bar : window.findChildren<QToolBar*>())
            m_held.push_back(bar);
        for (QWidget* widget : m_held)
            if (widget)
                widget->setEnabled(false);
    }
    ~HeldWindow()
    {
        for (QWidget* widget : m_held)
            if (widget)
                widget->setEnabled(true);
    }
    HeldWindow(const HeldWindow&) = delete;
    HeldWindow& operator=(const HeldWindow&) = delete;

private:
    std::vector<QWidget*> m_held;
};

// A progress bar and a cancel button in the status bar for as long as the object lives.
class StatusProgress {
public:
    explicit StatusProgress(QStatusBar* bar) : m_bar(bar)
    {
        m_progress = new QProgressBar(bar);
        m_progress->setObjectName("flyThroughProgress");
        m_progress->setFormat(QString::fromUtf8("動画 %v / %m フレーム"));
        m_cancel = new QPushButton(QString::fromUtf8("キャンセル"), bar);
        m_cancel->setObjectName("flyThroughCancel");
        QObject::connect(m_cancel, &QPushButton::clicked, [this] { m_cancelled = true; });
        bar->addPermanentWidget(m_progress);
        bar->addPermanentWidget(m_cancel);
    }
    ~StatusProgress()
    {
        m_bar->removeWidget(m_progress);
        m_bar->removeWidget(m_cancel);
        delete m_progress;
        delete m_cancel;
    }
    StatusProgress(const StatusProgress&) = delete;
    StatusProgress& operator=(const StatusProgress&) = delete;

    // Shows the frames done and lets the window handle its events; false once cancelled.
    bool Report(std::size_t done, std::size_t total)
    {
        // Setting the value may repaint at once: the export's context goes first.
        ReleaseEglContext();
        m_progress->setMaximum(static_cast<int>(total));
        m_progress->setValue(static_cast<int>(done));
        HandleWindowEvents();
        return !m_cancelled;
    }

private:
    QStatusBar* m_bar;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_cancelled = false;
};

}  // namespace

FlyThroughDialog::FlyThroughDialog(const FlyThroughOptions& initial, QWidget* parent)
    : QDialog(parent), m_initial(initial)
{
    setObjectName("flyThroughDialog");
    setWindowTitle(QString::fromUtf8("フライスルー動画"));
    auto* form = new QFormLayout(this);
    m_width = SpinBox("videoWidth", 16, kMaxSide, initial.width, this);
    m_height = SpinBox("videoHeight", 16, kMaxSide, initial.height, this);
    m_fps = SpinBox("videoFps", 1, 240, initial.fps, this);
    m_seconds = new QDoubleSpinBox(this);
    m_seconds->setObjectName("secondsPerCamera");
    m_seconds->setRange(0.01, 3600.0);
    m_seconds->setDecimals(2);
    m_seconds->setValue(initial.secondsPerCamera);
    form->addRow(QString::fromUtf8("幅（ピクセル）"), m_width);
    form->addRow(QString::fromUtf8("高さ（ピクセル）"), m_height);
    form->addRow(QString::fromUtf8("フレーム/秒"), m_fps);
    form->addRow(QString::fromUtf8("カメラごとの秒数"), m_seconds);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

FlyThroughOptions FlyThroughDialog::Options() const
{
    FlyThroughOptions options = m_initial;
    options.width = m_width->value();
    options.height = m_height->value();
    options.fps = m_fps->value();
    options.secondsPerCamera = m_seconds->value();
    return options;
}

bool ExportFlyThrough(QMainWindow& window, COrriskDoc& document, const COrriskView& shown,
                      const std::filesystem::path& path, const FlyThroughOptions& options, QString& error)
{
    const int width = EvenSide(options.width);
    const int height = EvenSide(options.height);
    // A view of its own on a headless surface, drawing exactly as orrisk-render does, with the
    // shown view's display settings.
    // The window is held and shows its progress bar before the export's context exists.
    const HeldWindow held(window);
    StatusProgress progress(window.statusBar());
    HandleWindowEvents();

    ConsoleDesktop desktop;
    desktop.SetClientSize({width, height});
    COrriskView view(desktop, [width, height] { return std::make_unique<HeadlessEglBackend>(width, height); }, {});
    view.m_pointStyle = shown.m_pointStyle;
    view.m_background = shown.m_background;
    view.m_showGizmo = shown.m_showGizmo;
    view.m_segBlend = shown.m_segBlend;
    view.m_segSeed = shown.m_segSeed;
    view.SetDocument(&document);
    struct Leave {
        COrriskView& view;
        bool created = false;
        ~Leave()
        {
            if (created)
                view.OnDestroy();
            view.SetDocument(nullptr);
            ReleaseEglContext();
        }
    } leave{view};
    if (view.OnCreate() != 0) {
        error = QString::fromUtf8("オフスクリーンの OpenGL 4.5 コンテキストを作成できませんでした。");
        return false;
    }
    leave.created = true;
    view.OnSize(width, height);
    view.OnUpdate(kSceneChangedHint);

    FlyThroughOptions sized = options;
    sized.fallbackFovY = shown.m_camera.fovY;
    const CameraRender drawn = ViewCameraRender(desktop, view);
    const CameraRender render = [&view, &drawn](const CameraFrame& frame, float fallbackFovY, int w, int h) {
        view.m_glSurface.MakeCurrent();
        return drawn(frame, fallbackFovY, w, h);
    };
    std::string reason;
    const bool written = WriteFlyThrough(path, document.m_cameraPoses, sized, render,
                                         [&progress](std::size_t done, std::size_t total) { return progress.Report(done, total); },
                                         reason);
    if (!written)
        error = QString::fromStdString(reason);
    return written;
}
