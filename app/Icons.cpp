#include "app/Icons.h"

#include "app/CommandTable.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace {

constexpr int kToolbarImageSize = 20;

// Axis colours as the view's axis gizmo draws them.
const QColor kAxisColors[3] = {QColor(0xE0, 0x40, 0x40), QColor(0x30, 0xA0, 0x30), QColor(0x40, 0x60, 0xE0)};

// A small deterministic generator, so that the icon's dots are the same in every run.
class DotScatter {
public:
    float Next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return static_cast<float>(m_state >> 8) / static_cast<float>(1u << 24);
    }

private:
    std::uint32_t m_state = 20240607u;
};

void PaintFolder(QPainter& p)
{
    p.setPen(QPen(QColor(0x8A, 0x64, 0x10), 1.0));
    p.setBrush(QColor(0xE8, 0xB0, 0x30));
    QPainterPath back;
    back.moveTo(1.5, 5.5);
    back.lineTo(7.5, 5.5);
    back.lineTo(9.0, 7.0);
    back.lineTo(17.5, 7.0);
    back.lineTo(17.5, 17.5);
    back.lineTo(1.5, 17.5);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(QColor(0xF8, 0xD0, 0x60));
    QPainterPath front;
    front.moveTo(1.5, 17.5);
    front.lineTo(4.5, 10.0);
    front.lineTo(19.0, 10.0);
    front.lineTo(16.5, 17.5);
    front.closeSubpath();
    p.drawPath(front);
    // A few points rising out of the folder: what it opens.
    p.setPen(Qt::NoPen);
    const std::array<std::array<float, 3>, 4> dots = {{{10.5f, 3.0f, 0}, {13.5f, 4.5f, 1}, {15.5f, 2.0f, 2}, {12.5f, 1.5f, 0}}};
    for (const auto& dot : dots) {
        p.setBrush(kAxisColors[static_cast<int>(dot[2])]);
        p.drawEllipse(QPointF(dot[0], dot[1]), 1.3, 1.3);
    }
}

void PaintGear(QPainter& p)
{
    const QPointF centre(10.0, 10.0);
    QPainterPath gear;
    constexpr int kTeeth = 8;
    for (int i = 0; i < kTeeth * 4; ++i) {
        const double angle = (i - 0.5) * (2.0 * M_PI / (kTeeth * 4));
        const double radius = (i % 4 < 2) ? 8.8 : 6.6;
        const QPointF point = centre + QPointF(std::cos(angle), std::sin(angle)) * radius;
        if (i == 0)
            gear.moveTo(point);
        else
            gear.lineTo(point);
    }
    gear.closeSubpath();
    gear.addEllipse(centre, 2.8, 2.8);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(QPen(QColor(0x40, 0x48, 0x58), 1.0));
    p.setBrush(QColor(0x90, 0x9C, 0xB0));
    p.drawPath(gear);
}

void PaintFit(QPainter& p)
{
    p.setPen(QPen(QColor(0x30, 0x38, 0x48), 1.6, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    constexpr double a = 2.0, b = 18.0, arm = 5.0;
    for (const auto& corner : std::array<std::array<double, 4>, 4>{{{a, a, 1, 1}, {b, a, -1, 1}, {a, b, 1, -1}, {b, b, -1, -1}}}) {
        QPainterPath bracket;
        bracket.moveTo(corner[0] + corner[2] * arm, corner[1]);
        bracket.lineTo(corner[0], corner[1]);
        bracket.lineTo(corner[0], corner[1] + corner[3] * arm);
        p.drawPath(bracket);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x30, 0x70, 0xD0));
    DotScatter scatter;
    for (int i = 0; i < 9; ++i) {
        const double angle = scatter.Next() * 2.0 * M_PI;
        const double radius = std::sqrt(scatter.Next()) * 4.2;
        p.drawEllipse(QPointF(10.0 + std::cos(angle) * radius, 10.0 + std::sin(angle) * radius), 1.1, 1.1);
    }
}

// The letter of an axis drawn with strokes in a 9 x 12 box at (x, y).
void PaintAxisLetter(QPainter& p, int axis, double x, double y)
{
    QPainterPath letter;
    const double w = 8.0, h = 12.0;
    switch (axis) {
    case 0:
        letter.moveTo(x, y);
        letter.lineTo(x + w, y + h);
        letter.moveTo(x + w, y);
        letter.lineTo(x, y + h);
        break;
    case 1:
        letter.moveTo(x, y);
        letter.lineTo(x + w / 2, y + h / 2);
        letter.lineTo(x + w, y);
        letter.moveTo(x + w / 2, y + h / 2);
        letter.lineTo(x + w / 2, y + h);
        break;
    default:
        letter.moveTo(x, y);
        letter.lineTo(x + w, y);
        letter.lineTo(x, y + h);
        letter.lineTo(x + w, y + h);
        break;
    }
    p.setPen(QPen(kAxisColors[axis], 2.2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(letter);
}

// The letter with an arrow head beside it: pointing right for the forward view, left for
// the backward one (which the arrow's hollow tail also marks).
void PaintViewDirection(QPainter& p, int axis, bool backward)
{
    PaintAxisLetter(p, axis, 1.5, 4.0);
    QPainterPath arrow;
    const double tipX = backward ? 11.5 : 18.5;
    const double baseX = backward ? 18.5 : 11.5;
    arrow.moveTo(tipX, 10.0);
    arrow.lineTo(baseX, 5.0);
    arrow.lineTo(baseX, 15.0);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0x30, 0x38, 0x48), 1.0));
    p.setBrush(backward ? QBrush(Qt::white) : QBrush(QColor(0x30, 0x38, 0x48)));
    p.drawPath(arrow);
}

bool PaintToolbarGlyph(QPainter& p, CommandId commandId)
{
    switch (commandId) {
    case CommandId::FileOpen:
        PaintFolder(p);
        return true;
    case CommandId::Settings:
        PaintGear(p);
        return true;
    case CommandId::ViewFit:
        PaintFit(p);
        return true;
    case CommandId::ViewAxisXFront:
    case CommandId::ViewAxisXBack:
        PaintViewDirection(p, 0, commandId == CommandId::ViewAxisXBack);
        return true;
    case CommandId::ViewAxisYFront:
    case CommandId::ViewAxisYBack:
        PaintViewDirection(p, 1, commandId == CommandId::ViewAxisYBack);
        return true;
    case CommandId::ViewAxisZFront:
    case CommandId::ViewAxisZBack:
        PaintViewDirection(p, 2, commandId == CommandId::ViewAxisZBack);
        return true;
    default:
        return false;
    }
}

}  // namespace

QImage PaintToolbarImage(CommandId commandId, int scale)
{
    const int size = kToolbarImageSize * scale;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    if (!PaintToolbarGlyph(painter, commandId))
        return {};
    return image;
}

QIcon ToolbarIcon(CommandId commandId)
{
    QIcon icon;
    for (int scale : {1, 2}) {
        QImage image = PaintToolbarImage(commandId, scale);
        if (image.isNull())
            return {};
        image.setDevicePixelRatio(scale);
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QImage PaintAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // A dark tile with a cloud of coloured splats on it and the three axes in a corner.
    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0.0, QColor(0x26, 0x30, 0x4A));
    tile.setColorAt(1.0, QColor(0x10, 0x14, 0x22));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    DotScatter scatter;
    const std::array<QColor, 4> tints = {QColor(0xFF, 0xA0, 0x40), QColor(0x50, 0xD0, 0xE0),
                                         QColor(0xF0, 0x70, 0xA0), QColor(0xF0, 0xE8, 0xA0)};
    for (int i = 0; i < 110; ++i) {
        // Points on a tilted ellipsoid, lit from the upper left.
        const double u = scatter.Next() * 2.0 * M_PI;
        const double v = std::acos(2.0 * scatter.Next() - 1.0);
        const double x = std::sin(v) * std::cos(u), y = std::sin(v) * std::sin(u), z = std::cos(v);
        const double light = 0.55 + 0.45 * (-0.5 * x - 0.6 * y + 0.62 * z);
        QColor color = tints[static_cast<std::size_t>(i) % tints.size()];
        color.setAlphaF(static_cast<float>(0.35 + 0.6 * std::clamp(light, 0.0, 1.0)));
        p.setBrush(color);
        const double radius = 0.9 + 1.7 * scatter.Next();
        p.drawEllipse(QPointF(34.0 + x * 19.0, 29.0 + y * 14.0 - z * 4.0), radius * 1.3, radius);
    }

    const QPointF origin(13.0, 51.0);
    const std::array<QPointF, 3> tips = {QPointF(27.0, 51.0), QPointF(13.0, 37.0), QPointF(5.5, 57.5)};
    for (int axis = 0; axis < 3; ++axis) {
        p.setPen(QPen(kAxisColors[axis], 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(origin, tips[axis]);
    }
    return image;
}

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(PaintAppIcon(size)));
    return icon;
}
