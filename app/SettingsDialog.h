#pragma once

#include "settings/AppSettings.h"

#include <QColor>
#include <QDialog>

#include <string_view>

class ColorButton;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

// The point size typed into the dialog: the leading decimal number of the text, clamped to
// [minSize, maxSize]; text without a number (or "nan") gives minSize.
float PointSizeFromText(std::string_view text, float minSize, float maxSize);
// The background as the colour button shows it: each channel rounded to a byte, values
// beyond 0..1 held at the nearest end.
QColor ColorFromBackground(const Eigen::Vector3f& background);
Eigen::Vector3f BackgroundFromColor(const QColor& color);

// The settings dialog: point shape and size, point budget, navigation mode, projection, axis
// gizmo, background colour, the interface language, the point colour mode and eye-dome
// lighting. It edits m_settings, which the caller fills before exec() and reads
// after an accepted run. Enter and Escape do nothing here: only the buttons and the close
// box end the dialog.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(const AppSettings& settings, QWidget* parent = nullptr);

    AppSettings m_settings;

    // Copies the controls into m_settings. False, with the background unchanged, while the
    // colour button holds no colour.
    bool ReadControls();

    void accept() override;

    // The interface language chosen: "ja", "en" or empty (follow the system).
    void SetLanguage(const QString& language);
    QString Language() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void FillControls();

    QRadioButton* m_round = nullptr;
    QRadioButton* m_square = nullptr;
    QLineEdit* m_pointSize = nullptr;
    QRadioButton* m_orbit = nullptr;
    QRadioButton* m_fly = nullptr;
    QRadioButton* m_perspective = nullptr;
    QRadioButton* m_orthographic = nullptr;
    QCheckBox* m_showAxes = nullptr;
    ColorButton* m_background = nullptr;
    QComboBox* m_language = nullptr;
    QComboBox* m_colorMode = nullptr;  // the ColorMode numbers in order
    QDoubleSpinBox* m_edlStrength = nullptr;
    QDoubleSpinBox* m_edlRadius = nullptr;
    QComboBox* m_pointBudgetMode = nullptr;  // automatic, every point, a count
    QSpinBox* m_pointBudget = nullptr;       // the count
};
