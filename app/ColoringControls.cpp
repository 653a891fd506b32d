#include "app/ColoringControls.h"

#include "app/ClassificationNames.h"

#include "app/CommandTable.h"
#include "app/MainWindow.h"
#include "document/Document.h"
#include "view/SceneView.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {

QString ModeText(ColorMode mode)
{
    switch (mode) {
    case ColorMode::Rgb: return ColoringControls::tr("RGB");
    case ColorMode::Intensity: return ColoringControls::tr("強度");
    case ColorMode::Classification: return ColoringControls::tr("分類");
    case ColorMode::Elevation: return ColoringControls::tr("標高");
    case ColorMode::ReturnNumber: return ColoringControls::tr("リターン番号");
    }
    return {};
}

// The View menu: the one holding the Fit command.
QMenu* ViewMenu(MainWindow& frame)
{
    QAction* fit = frame.Action(CommandId::ViewFit);
    for (QAction* entry : frame.menuBar()->actions())
        if (QMenu* menu = entry->menu(); menu && fit && menu->actions().contains(fit))
            return menu;
    return nullptr;
}

}  // namespace

ColoringControls::ColoringControls(MainWindow& frame, std::function<SceneView*()> view)
    : QObject(&frame), m_view(std::move(view))
{
    m_group = new QActionGroup(this);
    m_group->setExclusive(true);
    for (const ColorMode mode : kColorModes) {
        auto* action = new QAction(ModeText(mode), this);
        action->setObjectName(QStringLiteral("colorBy_%1").arg(QString::fromUtf8(ColorModeKey(mode).data())));
        action->setCheckable(true);
        action->setStatusTip(tr("点群の色で示すものを選びます（C キーで順に切り替え）"));
        m_group->addAction(action);
        connect(action, &QAction::triggered, this, [this, mode] { ChooseMode(mode); });
        m_modeActions[static_cast<std::size_t>(mode)] = action;
    }
    m_edl = new QAction(tr("アイドームライティング（EDL）"), this);
    m_edl->setObjectName("eyeDomeLighting");
    m_edl->setCheckable(true);
    m_edl->setStatusTip(tr("深度から陰影を付けて点群の形を見やすくします"));
    connect(m_edl, &QAction::triggered, this, &ColoringControls::ToggleEdl);

    m_menu = new QMenu(tr("点群の色"), &frame);
    m_menu->setObjectName("colorByMenu");
    m_menu->addActions(m_group->actions());
    m_menu->addSeparator();
    m_menu->addAction(m_edl);
    if (QMenu* viewMenu = ViewMenu(frame)) {
        viewMenu->addSeparator();
        viewMenu->addMenu(m_menu);
    }
    connect(m_menu, &QMenu::aboutToShow, this, &ColoringControls::Refresh);
    // A toolbar of its own, beside the standard one whose buttons are the command table's.
    QToolBar* toolBar = frame.addToolBar(tr("点群の色"));
    toolBar->setObjectName("colorToolBar");
    toolBar->addActions(m_group->actions());
    toolBar->addSeparator();
    toolBar->addAction(m_edl);
    m_legend = new QLabel(&frame);
    m_legend->setObjectName("classLegend");
    m_legend->setVisible(false);
    frame.statusBar()->addPermanentWidget(m_legend);
    Refresh();
}

void ColoringControls::Refresh()
{
    SceneView* view = m_view();
    for (const ColorMode mode : kColorModes) {
        QAction* action = ModeAction(mode);
        action->setEnabled(view && view->CanShowColorMode(mode));
        action->setChecked(view ? view->ShownColorMode() == mode : mode == ColorMode::Rgb);
    }
    m_edl->setEnabled(view != nullptr);
    m_edl->setChecked(view && view->CurrentPointStyle().edlStrength > 0.0f);
    if (view)
        RefreshLegend(*view);
    else
        m_legend->setVisible(false);
}

void ColoringControls::RefreshLegend(const SceneView& view)
{
    const Document* document = view.GetDocument();
    const PointCloudData* cloud = document ? document->PointCloud() : nullptr;
    if (view.ShownColorMode() != ColorMode::Classification || !cloud) {
        m_legend->setVisible(false);
        return;
    }
    QString text;
    for (const std::uint8_t code : ClassesPresent(cloud->classification)) {
        const Eigen::Vector3f color = ClassificationColor(code);
        const QString swatch = QStringLiteral("#%1%2%3")
                                   .arg(qRound(color.x() * 255.0f), 2, 16, QLatin1Char('0'))
                                   .arg(qRound(color.y() * 255.0f), 2, 16, QLatin1Char('0'))
                                   .arg(qRound(color.z() * 255.0f), 2, 16, QLatin1Char('0'));
        const QString shown = ClassificationDisplayName(code);
        text += QStringLiteral("<span style=\"color:%1\">&#9632;</span>&nbsp;%2&nbsp; ").arg(swatch, shown.toHtmlEscaped());
    }
    m_legend->setText(text);
    m_legend->setToolTip(text.replace(QStringLiteral("&nbsp; "), QStringLiteral("<br>")));
    m_legend->setVisible(true);
}

void ColoringControls::ChooseMode(ColorMode mode)
{
    if (SceneView* view = m_view())
        view->SetColorMode(mode);
    Refresh();
}

void ColoringControls::ToggleEdl(bool on)
{
    SceneView* view = m_view();
    if (!view)
        return;
    const PointStyle& style = view->CurrentPointStyle();
    if (!on && style.edlStrength > 0.0f)
        m_lastEdlStrength = style.edlStrength;
    view->SetEyeDomeLighting(on ? m_lastEdlStrength : 0.0f, style.edlRadius);
    Refresh();
}

bool ColoringControls::eventFilter(QObject* watched, QEvent* event)
{
    // The C key changes the mode inside the view; the controls follow once it is handled.
    if (event->type() == QEvent::KeyPress)
        QTimer::singleShot(0, this, &ColoringControls::Refresh);
    return QObject::eventFilter(watched, event);
}
