#include "app/MainWindow.h"

#include "app/CommandTable.h"
#include "app/Icons.h"
#include "view/ViewHost.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>

namespace {

struct PaneSample {
    StatusPane id;
    const char* objectName;
    const char* sample;
    const char* initialText;
};

// Each pane is as wide as its sample text in the status bar's font.
constexpr PaneSample kPanes[] = {
    {StatusPane::Frame, "framePane", "Frame: 99999/99999", ""},
    // Room for "drawn / total" while the point budget binds.
    {StatusPane::Count, "countPane", "Points: 999999999 / 999999999", ""},
    {StatusPane::Mode, "modePane", "Mode: Orbit | Ortho ", kInitialModeText},
};

constexpr int kRecentFileDisplayLength = 64;

// A text of the command table in the user's language.
QString CommandTr(const char* text)
{
    return QCoreApplication::translate(kCommandTextContext, text);
}

QStringList LocalFilesOf(const QMimeData* mime)
{
    QStringList files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

// "&1 /path/to/file" with long paths shortened in the middle and '&' kept literal.
QString RecentFileMenuText(int index, const QString& path)
{
    QString shown = path;
    if (shown.size() > kRecentFileDisplayLength) {
        const int keep = (kRecentFileDisplayLength - 1) / 2;
        shown = shown.left(keep) + QChar(0x2026) + shown.right(keep);
    }
    shown.replace('&', QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}

}  // namespace

QString FrameTitleFor(const std::string& documentPath)
{
    const QString appName = QString::fromUtf8(kAppTitle);
    if (documentPath.empty())
        return appName;
    const std::size_t slash = documentPath.find_last_of('/');
    const std::string name = slash == std::string::npos ? documentPath : documentPath.substr(slash + 1);
    return QFile::decodeName(QByteArray::fromStdString(name)) + QStringLiteral(" - ") + appName;
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("mainFrame");
    setWindowIcon(AppIcon());
    setAcceptDrops(true);
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    OnUpdateFrameTitle({});
    resize(1280, 800);
}

QAction* MainWindow::Action(CommandId commandId) const
{
    const auto found = m_actions.find(commandId);
    return found == m_actions.end() ? nullptr : found->second;
}

QAction* MainWindow::CreateCommandAction(CommandId commandId)
{
    const CommandText* texts = FindCommandText(commandId);
    auto* action = new QAction(CommandTr(texts->caption), this);
    action->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(commandId)));
    action->setStatusTip(CommandTr(texts->prompt));
    action->setToolTip(CommandTr(texts->tooltip));
    action->setIcon(ToolbarIcon(commandId));
    action->setIconVisibleInMenu(false);
    connect(action, &QAction::triggered, this, [this, commandId] { emit commandTriggered(commandId); });
    m_actions[commandId] = action;
    return action;
}

void MainWindow::BuildMenus()
{
    for (const CommandText& command : CommandTexts())
        CreateCommandAction(command.id);

    // The only accelerator: Ctrl+O. The "Ctrl+N" in the New caption is a hint only.
    Action(CommandId::FileOpen)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Action(CommandId::FileOpen)->setShortcutContext(Qt::ApplicationShortcut);

    QAction* statusBarToggle = Action(CommandId::ViewStatusBar);
    statusBarToggle->setCheckable(true);
    statusBarToggle->setChecked(true);
    disconnect(statusBarToggle, &QAction::triggered, this, nullptr);
    connect(statusBarToggle, &QAction::toggled, this, [this](bool shown) { statusBar()->setVisible(shown); });

    for (const MenuLayout& layout : MainMenuLayout()) {
        QMenu* menu = menuBar()->addMenu(CommandTr(layout.caption));
        if (!m_fileMenu)
            m_fileMenu = menu;
        FillMenu(menu, layout.items);
    }
}

void MainWindow::FillMenu(QMenu* menu, std::span<const MenuEntry> items)
{
    for (const MenuEntry& item : items) {
        switch (item.kind) {
        case MenuEntry::Kind::Separator:
            menu->addSeparator();
            break;
        case MenuEntry::Kind::ViewDirectionSubmenu:
            FillMenu(menu->addMenu(CommandTr(ViewDirectionSubmenuCaption())), ViewDirectionSubmenuItems());
            break;
        case MenuEntry::Kind::RecentFiles:
            m_recentPlaceholder = menu->addAction(CommandTr(kRecentFilesPlaceholder));
            m_recentPlaceholder->setObjectName("recentFilesPlaceholder");
            m_recentPlaceholder->setEnabled(false);
            m_recentPlaceholder->setStatusTip(CommandTr(kRecentFilePrompt));
            break;
        case MenuEntry::Kind::Command:
            menu->addAction(Action(item.command));
            break;
        }
    }
}

void MainWindow::BuildToolBar()
{
    m_toolBar = addToolBar(tr("標準"));
    m_toolBar->setObjectName("mainToolBar");
    m_toolBar->setIconSize(QSize(20, 20));
    for (const MenuEntry& item : MainToolbarLayout()) {
        if (item.kind == MenuEntry::Kind::Command)
            m_toolBar->addAction(Action(item.command));
        else
            m_toolBar->addSeparator();
    }
}

void MainWindow::BuildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName("statusBar");
    // The idle message is an ordinary item: the bar hides it while it shows a command's
    // prompt and brings it back afterwards.
    m_idleMessage = new QLabel(tr(kIdleMessage), bar);
    m_idleMessage->setObjectName("idleMessage");
    m_idleMessage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(m_idleMessage, 1);

    const QFontMetrics metrics(bar->font());
    for (const PaneSample& pane : kPanes) {
        auto* label = new QLabel(QString::fromUtf8(pane.initialText), bar);
        label->setObjectName(QString::fromLatin1(pane.objectName));
        label->setFont(bar->font());
        label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        const QMargins margins = label->contentsMargins();
        label->setFixedWidth(metrics.horizontalAdvance(QString::fromUtf8(pane.sample)) + margins.left() +
                             margins.right() + 2 * label->frameWidth());
        bar->addPermanentWidget(label);
        m_panes[pane.id] = label;
    }
}

bool MainWindow::SetPaneText(StatusPane id, const QString& text)
{
    QLabel* pane = Pane(id);
    if (!pane)
        return false;
    pane->setText(text);
    pane->repaint();
    return true;
}

QLabel* MainWindow::Pane(StatusPane id) const
{
    const auto found = m_panes.find(id);
    return found == m_panes.end() ? nullptr : found->second;
}

QString MainWindow::PaneText(StatusPane id) const
{
    const QLabel* pane = Pane(id);
    return pane ? pane->text() : QString();
}

void MainWindow::OnUpdateFrameTitle(const std::string& documentPath)
{
    // Qt reads "[*]" in a title as the place of the modified mark; doubled it stays text.
    QString title = FrameTitleFor(documentPath);
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    if (windowTitle() != title)
        setWindowTitle(title);
}

void MainWindow::SetRecentFiles(const QStringList& paths)
{
    for (QAction* action : m_recentActions)
        delete action;
    m_recentActions.clear();
    m_recentPlaceholder->setVisible(paths.isEmpty());
    for (int i = 0; i < paths.size() && i < kRecentFileCount; ++i) {
        auto* action = new QAction(RecentFileMenuText(i, paths[i]), this);
        action->setObjectName(QStringLiteral("recentFile%1").arg(i + 1));
        action->setStatusTip(CommandTr(kRecentFilePrompt));
        action->setToolTip(paths[i]);
        connect(action, &QAction::triggered, this, [this, i] { emit recentFileChosen(i); });
        m_fileMenu->insertAction(m_recentPlaceholder, action);
        m_recentActions << action;
    }
}

void MainWindow::SaveLayout(QSettings& profile) const
{
    profile.setValue("MainFrame/geometry", saveGeometry());
    profile.setValue("MainFrame/state", saveState());
    profile.setValue("MainFrame/statusBar", !statusBar()->isHidden());
}

void MainWindow::RestoreLayout(const QSettings& profile)
{
    restoreGeometry(profile.value("MainFrame/geometry").toByteArray());
    restoreState(profile.value("MainFrame/state").toByteArray());
    Action(CommandId::ViewStatusBar)->setChecked(profile.value("MainFrame/statusBar", true).toBool());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFilesOf(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QStringList files = LocalFilesOf(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // Loading may take a while: let the drag source finish its drop first.
    QMetaObject::invokeMethod(this, [this, files] { emit filesDropped(files); }, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    emit closing();
    QMainWindow::closeEvent(event);
}

// Meta-object code in this file, so that each class links on its own.
#include "moc_MainWindow.cpp"
