#include "app/ColorButton.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <array>

namespace {

// Eight columns of the usual office palette: greys, then hues from dark to light.
constexpr std::array<QRgb, 40> kPalette = {
    0x000000, 0x993300, 0x333300, 0x003300, 0x003366, 0x000080, 0x333399, 0x333333,
    0x800000, 0xFF6600, 0x808000, 0x008000, 0x008080, 0x0000FF, 0x666699, 0x808080,
    0xFF0000, 0xFF9900, 0x99CC00, 0x339966, 0x33CCCC, 0x3366FF, 0x800080, 0x969696,
    0xFF00FF, 0xFFCC00, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x00CCFF, 0x993366, 0xC0C0C0,
    0xFF99CC, 0xFFCC99, 0xFFFF99, 0xCCFFCC, 0xCCFFFF, 0x99CCFF, 0xCC99FF, 0xFFFFFF,
};
constexpr int kPaletteColumns = 8;

QIcon SwatchIcon(const QColor& color, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.setBrush(color.isValid() ? QBrush(color) : QBrush(Qt::NoBrush));
    painter.drawRect(QRect(QPoint(0, 0), size).adjusted(0, 0, -1, -1));
    return QIcon(pixmap);
}

}  // namespace

ColorButton::ColorButton(QWidget* parent) : QPushButton(parent)
{
    setIconSize(QSize(28, 12));
    BuildPalette();
    setMenu(m_palette);
    UpdateSwatch();
}

void ColorButton::SetColor(const QColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    UpdateSwatch();
    emit colorChanged(m_color);
}

void ColorButton::SetOtherColorsText(const QString& text)
{
    m_otherColors->setText(text);
}

void ColorButton::BuildPalette()
{
    m_palette = new QMenu(this);
    auto* panel = new QWidget(m_palette);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 4, 4, 4);
    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    for (std::size_t i = 0; i < kPalette.size(); ++i) {
        const QColor color = QColor::fromRgb(kPalette[i]);
        auto* swatch = new QToolButton(panel);
        swatch->setAutoRaise(true);
        swatch->setIconSize(QSize(14, 14));
        swatch->setIcon(SwatchIcon(color, QSize(14, 14)));
        swatch->setToolTip(color.name(QColor::HexRgb));
        connect(swatch, &QToolButton::clicked, this, [this, color] {
            m_palette->close();
            SetColor(color);
        });
        grid->addWidget(swatch, static_cast<int>(i) / kPaletteColumns, static_cast<int>(i) % kPaletteColumns);
    }
    column->addLayout(grid);
    m_otherColors = new QPushButton(tr("Other colors..."), panel);
    m_otherColors->setObjectName("otherColors");
    connect(m_otherColors, &QPushButton::clicked, this, [this] {
        m_palette->close();
        ChooseOtherColor();
    });
    column->addWidget(m_otherColors);

    auto* action = new QWidgetAction(m_palette);
    action->setDefaultWidget(panel);
    m_palette->addAction(action);
}

void ColorButton::ChooseOtherColor()
{
    QColorDialog dialog(m_color.isValid() ? m_color : QColor(Qt::black), window());
    dialog.setObjectName("otherColorsDialog");
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() == QDialog::Accepted && dialog.selectedColor().isValid())
        SetColor(dialog.selectedColor());
}

void ColorButton::UpdateSwatch()
{
    setIcon(SwatchIcon(m_color, iconSize()));
    setToolTip(m_color.isValid() ? m_color.name(QColor::HexRgb) : QString());
}

// Meta-object code in this file, so that each class links on its own.
#include "moc_ColorButton.cpp"
