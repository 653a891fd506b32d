#pragma once

#include "app/CommandTable.h"
#include "view/ViewHost.h"

#include <QMainWindow>
#include <QStringList>

#include <map>
#include <span>
#include <string>

class QLabel;
class QMenu;
class QSettings;
class QToolBar;

// The application's name as its title shows it.
inline constexpr const char* kAppTitle = "Orrisk ver.1.1";
// What the status bar says while nothing is highlighted: the mouse bindings.
inline constexpr const char* kIdleMessage = QT_TRANSLATE_NOOP(
    "MainWindow", "【回転】マウス右, マウス左 【拡大縮小】マウス右+Shift,マウスホイール 【移動】マウス右+Ctrl,中ボタン");
inline constexpr const char* kInitialModeText = "Mode: Orbit | Persp";

// The window title for a document path: "name - Orrisk ver.1.1" with the path's last
// component, or just the application's name without a path.
QString FrameTitleFor(const std::string& documentPath);

// The main window: menu bar, the standard toolbar, the view in the middle and a status bar
// with the idle message and three information panes (frame, count, mode). It holds no
// scene logic: commands go out through commandTriggered and the view writes the panes.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    // The action of a command id; null for an id the frame does not have.
    QAction* Action(CommandId commandId) const;
    QToolBar* MainToolBar() const { return m_toolBar; }
    QMenu* FileMenu() const { return m_fileMenu; }

    // Sets a pane's text; false when the status bar has no pane with that id.
    bool SetPaneText(StatusPane pane, const QString& text);
    QString PaneText(StatusPane pane) const;
    QLabel* Pane(StatusPane pane) const;
    QLabel* IdleMessage() const { return m_idleMessage; }

    void OnUpdateFrameTitle(const std::string& documentPath);

    // Replaces the recent-file entries of the File menu (most recent first).
    void SetRecentFiles(const QStringList& paths);

    // Window geometry, bar layout and the status bar's visibility.
    void SaveLayout(QSettings& profile) const;
    void RestoreLayout(const QSettings& profile);

signals:
    void commandTriggered(CommandId commandId);
    void recentFileChosen(int index);
    void filesDropped(const QStringList& paths);
    void closing();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* CreateCommandAction(CommandId commandId);
    void BuildMenus();
    void FillMenu(QMenu* menu, std::span<const MenuEntry> items);
    void BuildToolBar();
    void BuildStatusBar();

    std::map<CommandId, QAction*> m_actions;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentPlaceholder = nullptr;
    QList<QAction*> m_recentActions;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_idleMessage = nullptr;
    std::map<StatusPane, QLabel*> m_panes;
};
