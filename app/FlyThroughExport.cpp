#include "app/FlyThroughExport.h"

#include "app/QtContextRelease.h"
#include "capture/OffscreenView.h"
#include "document/Document.h"
#include "view/SceneView.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>

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
        m_progress->setFormat(QCoreApplication::translate("FlyThroughExport", "動画 %v / %m フレーム"));
        m_cancel = new QPushButton(QCoreApplication::translate("FlyThroughExport", "キャンセル"), bar);
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
    setWindowTitle(QCoreApplication::translate("FlyThroughExport", "フライスルー動画"));
    auto* form = new QFormLayout(this);
    m_width = SpinBox("videoWidth", 16, kMaxSide, initial.width, this);
    m_height = SpinBox("videoHeight", 16, kMaxSide, initial.height, this);
    m_fps = SpinBox("videoFps", 1, 240, initial.fps, this);
    m_seconds = new QDoubleSpinBox(this);
    m_seconds->setObjectName("secondsPerCamera");
    m_seconds->setRange(0.01, 3600.0);
    m_seconds->setDecimals(2);
    m_seconds->setValue(initial.secondsPerCamera);
    form->addRow(QCoreApplication::translate("FlyThroughExport", "幅（ピクセル）"), m_width);
    form->addRow(QCoreApplication::translate("FlyThroughExport", "高さ（ピクセル）"), m_height);
    form->addRow(QCoreApplication::translate("FlyThroughExport", "フレーム/秒"), m_fps);
    form->addRow(QCoreApplication::translate("FlyThroughExport", "カメラごとの秒数"), m_seconds);
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

bool ExportFlyThrough(QMainWindow& window, Document& document, const SceneView& shown,
                      const std::filesystem::path& path, const FlyThroughOptions& options, QString& error)
{
    // The window is held and shows its progress bar before the export's context exists.
    const HeldWindow held(window);
    StatusProgress progress(window.statusBar());
    HandleWindowEvents();

    OffscreenView view(document, shown, EvenSide(options.width), EvenSide(options.height), ReleaseQtContext);
    if (!view.Created()) {
        error = QCoreApplication::translate("FlyThroughExport", "オフスクリーンの OpenGL 4.5 コンテキストを作成できませんでした。");
        return false;
    }
    FlyThroughOptions sized = options;
    sized.fallbackFovY = shown.Camera().fovY;
    std::string reason;
    const bool written = WriteFlyThrough(path, document.CameraPoses(), sized, view.Render(),
                                         [&progress](std::size_t done, std::size_t total) { return progress.Report(done, total); },
                                         reason);
    if (!written)
        error = QString::fromStdString(reason);
    return written;
}
