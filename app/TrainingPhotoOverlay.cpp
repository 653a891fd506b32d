#include "app/TrainingPhotoOverlay.h"

#include "app/QtContextRelease.h"
#include "document/Document.h"
#include "app/qt/ViewWidget.h"
#include "capture/CompareRenders.h"
#include "capture/OffscreenView.h"
#include "view/SceneView.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

#include <cmath>

TrainingPhotoOverlay::TrainingPhotoOverlay(ViewWidget& view, Document& document, QStatusBar& statusBar)
    : QWidget(&view), m_view(view), m_document(document)
{
    setObjectName("trainingPhotoOverlay");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(view.rect());
    hide();

    m_toggle = new QCheckBox(QCoreApplication::translate("TrainingPhotoOverlay", "学習画像"), &statusBar);
    m_toggle->setObjectName("trainingPhotoToggle");
    m_opacity = new QSlider(Qt::Horizontal, &statusBar);
    m_opacity->setObjectName("trainingPhotoOpacity");
    m_opacity->setRange(0, 100);
    m_opacity->setValue(50);
    m_opacity->setMaximumWidth(120);
    m_status = new QLabel(&statusBar);
    m_status->setObjectName("trainingPhotoStatus");
    // Clicked, never tabbed to: Tab belongs to the view (it switches the navigation mode).
    m_toggle->setFocusPolicy(Qt::NoFocus);
    m_opacity->setFocusPolicy(Qt::NoFocus);
    statusBar.addPermanentWidget(m_toggle);
    statusBar.addPermanentWidget(m_opacity);
    statusBar.addPermanentWidget(m_status);
    connect(m_toggle, &QCheckBox::toggled, this, &TrainingPhotoOverlay::Refresh);
    connect(m_opacity, &QSlider::valueChanged, this, qOverload<>(&QWidget::update));
    view.installEventFilter(this);
    FollowCameraPoses();
}

void TrainingPhotoOverlay::FollowCameraPoses()
{
    const bool cameras = !m_document.CameraPoses().frames.empty();
    m_toggle->setEnabled(cameras);
    m_opacity->setEnabled(cameras);
    if (!cameras && !m_photo.isNull())
        Clear({});
}

double TrainingPhotoOverlay::Opacity() const
{
    return m_opacity->value() / 100.0;
}

bool TrainingPhotoOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_view) {
        if (event->type() == QEvent::Resize)
            setGeometry(m_view.rect());
        // The view repaints whenever its camera moves: a step to another camera shows here.
        if (event->type() == QEvent::Paint && m_toggle->isChecked() && !m_refreshQueued &&
            (m_view.View().Frames().Index() != m_frame || m_document.CameraPoses().sourcePath != m_poseFile)) {
            m_refreshQueued = true;
            QTimer::singleShot(0, this, &TrainingPhotoOverlay::Refresh);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TrainingPhotoOverlay::Clear(const QString& status)
{
    m_photo = QImage();
    m_status->setText(status);
    hide();
}

void TrainingPhotoOverlay::Refresh()
{
    m_refreshQueued = false;
    const CameraPoseSet& poses = m_document.CameraPoses();
    m_frame = m_view.IsViewCreated() ? m_view.View().Frames().Index() : -1;
    m_poseFile = poses.sourcePath;
    if (!m_toggle->isChecked() || m_frame < 0 || static_cast<std::size_t>(m_frame) >= poses.frames.size()) {
        Clear({});
        return;
    }
    const auto k = static_cast<std::size_t>(m_frame);
    const CameraImage& camera = poses.ImageOf(k);
    const std::optional<std::filesystem::path> found = FindTrainingImage(camera.path, poses.sourcePath, {});
    if (!found) {
        Clear(QCoreApplication::translate("TrainingPhotoOverlay", "学習画像なし"));
        return;
    }
    QImage photo(QFile::decodeName(found->c_str()));
    if (photo.isNull()) {
        Clear(QCoreApplication::translate("TrainingPhotoOverlay", "学習画像を読めません"));
        return;
    }

    // The one camera compared as orrisk-render compares it.
    CameraPoseSet one;
    one.frames = {poses.frames[k]};
    one.images = {camera};
    one.defaultFovY = poses.defaultFovY;
    CompareOptions options;
    options.poseFile = poses.sourcePath;
    options.fallbackFovY = m_view.View().Camera().fovY;
    std::vector<CompareRow> rows;
    {
        OffscreenView offscreen(m_document, m_view.View(), photo.width(), photo.height(), ReleaseQtContext);
        if (offscreen.Created())
            rows = CompareWithPhotos(one, options, offscreen.Render(), {});
    }
    m_photo = std::move(photo);
    if (rows.size() == 1 && rows.front().psnr)
        m_status->setText(std::isinf(*rows.front().psnr) ? QString("PSNR inf")
                                                         : QString("PSNR %1 dB").arg(*rows.front().psnr, 0, 'f', 2));
    else
        m_status->setText(rows.empty() ? QCoreApplication::translate("TrainingPhotoOverlay", "PSNR を計算できません") : QString::fromStdString(rows.front().note));
    show();
    raise();
    update();
}

void TrainingPhotoOverlay::paintEvent(QPaintEvent*)
{
    if (m_photo.isNull() || m_photo.height() <= 0)
        return;
    // The camera's vertical field of view fills the view's height: so does the photo.
    const double scale = static_cast<double>(height()) / m_photo.height();
    const int width = static_cast<int>(std::lround(m_photo.width() * scale));
    QPainter painter(this);
    painter.setOpacity(Opacity());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect((this->width() - width) / 2, 0, width, height()), m_photo);
}
