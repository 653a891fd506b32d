#pragma once

#include "capture/FlyThrough.h"

#include <QDialog>
#include <QString>

#include <filesystem>

class Document;
class SceneView;
class QDoubleSpinBox;
class QMainWindow;
class QSpinBox;

// Asks for the size, frame rate and seconds per camera of a fly-through video.
class FlyThroughDialog : public QDialog {
    Q_OBJECT
public:
    FlyThroughDialog(const FlyThroughOptions& initial, QWidget* parent = nullptr);

    // The options as the dialog shows them now.
    FlyThroughOptions Options() const;

private:
    FlyThroughOptions m_initial;
    QSpinBox* m_width = nullptr;
    QSpinBox* m_height = nullptr;
    QSpinBox* m_fps = nullptr;
    QDoubleSpinBox* m_seconds = nullptr;
};

// Writes the fly-through of the document's cameras to `path`, drawn off screen with the
// display settings of the view the window shows. The window's commands are held while it
// runs; its status bar shows the progress and a button that cancels. False, with the reason
// in `error`, when it failed or was cancelled.
bool ExportFlyThrough(QMainWindow& window, Document& document, const SceneView& shown,
                      const std::filesystem::path& path, const FlyThroughOptions& options, QString& error);
