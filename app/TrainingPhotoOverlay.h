#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

class Document;
class QCheckBox;
class QLabel;
class QSlider;
class QStatusBar;
class ViewWidget;

// While the view steps through the cameras of a pose file, shows each camera's training photo
// over the render (a toggle and an opacity slider in the status bar) and the PSNR of the
// render against the photo in the status bar. The PSNR is that of orrisk-render --compare: a
// render at the photo's own size, drawn off screen.
class TrainingPhotoOverlay : public QWidget {
    Q_OBJECT
public:
    TrainingPhotoOverlay(ViewWidget& view, Document& document, QStatusBar& statusBar);

    // Takes the camera the view stands at now: its photo and PSNR, or that it has none.
    void Refresh();
    // The toggle and the slider work only while a camera pose file is open.
    void FollowCameraPoses();

    bool HasPhoto() const { return !m_photo.isNull(); }
    double Opacity() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Clear(const QString& status);

    ViewWidget& m_view;
    Document& m_document;
    QCheckBox* m_toggle = nullptr;
    QSlider* m_opacity = nullptr;
    QLabel* m_status = nullptr;
    QImage m_photo;
    int m_frame = -1;         // the camera shown
    std::string m_poseFile;   // of the camera shown
    bool m_refreshQueued = false;
};
