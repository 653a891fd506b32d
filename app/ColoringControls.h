#pragma once

#include "scene/PointColoring.h"

#include <QObject>

#include <array>
#include <functional>

class MainWindow;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class SceneView;

// The colour modes and eye-dome lighting in the window: a "colour by" submenu of the View
// menu and the same choices on a toolbar of their own (modes the cloud cannot show greyed out), an
// eye-dome lighting toggle, and in classification mode a status bar legend naming the
// classes present. Refresh brings them in line with the view after anything changed it.
class ColoringControls : public QObject {
    Q_OBJECT
public:
    // `view` gives the view, or null while there is none.
    ColoringControls(MainWindow& frame, std::function<SceneView*()> view);

    void Refresh();

    QAction* ModeAction(ColorMode mode) const { return m_modeActions[static_cast<std::size_t>(mode)]; }
    QAction* EdlAction() const { return m_edl; }
    QLabel* Legend() const { return m_legend; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ChooseMode(ColorMode mode);
    void ToggleEdl(bool on);
    void RefreshLegend(const SceneView& view);

    std::function<SceneView*()> m_view;
    std::array<QAction*, kColorModes.size()> m_modeActions{};
    QActionGroup* m_group = nullptr;
    QAction* m_edl = nullptr;
    QMenu* m_menu = nullptr;
    QLabel* m_legend = nullptr;
    float m_lastEdlStrength = 1.0f;
};
