#include "app/qt/InputMapping.h"

#include "view/VirtualKeys.h"

#include <cmath>

namespace {

// XKB key codes (evdev + 8) of the keys the view uses, with the key each one is on a US
// keyboard.
struct PhysicalKey {
    quint32 xkbKeycode;
    int viewKey;
};
constexpr PhysicalKey kPhysicalKeys[] = {
    {10, vk::Digit1}, {11, vk::Digit2}, {20, vk::Minus},       {21, vk::PlusEquals}, {24, vk::Q},
    {25, vk::W},      {26, vk::E},      {27, vk::R},           {29, vk::Y},          {33, vk::P},
    {34, vk::LeftBracket}, {35, vk::RightBracket}, {38, vk::A}, {39, vk::S},         {40, vk::D},
    {41, vk::F},      {42, vk::G},      {52, vk::Z},           {53, vk::X},          {58, vk::M},
};

int ViewKeyFromTypedKey(int qtKey, bool keypad)
{
    switch (qtKey) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return vk::Tab;
    case Qt::Key_PageUp:
        return vk::PageUp;
    case Qt::Key_PageDown:
        return vk::PageDown;
    case Qt::Key_Plus:
        return keypad ? vk::NumpadPlus : vk::PlusEquals;
    case Qt::Key_Equal:
        return keypad ? 0 : vk::PlusEquals;
    case Qt::Key_Minus:
        return keypad ? vk::NumpadMinus : vk::Minus;
    case Qt::Key_Underscore:
        return vk::Minus;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
        return vk::LeftBracket;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
        return vk::RightBracket;
    default:
        break;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return qtKey;  // Qt's letter keys are the upper-case ASCII codes, as the view's are
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9 && !keypad)
        return qtKey;
    return 0;
}

bool TypesText(int qtKey)
{
    // Qt gives keys that type something their Unicode code point; function keys, arrows and
    // modifiers live from 0x01000000 on.
    return qtKey > 0 && qtKey < Qt::Key_Escape;
}

}  // namespace

int ViewKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers, quint32 xkbKeycode)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (const int key = ViewKeyFromTypedKey(qtKey, keypad))
        return key;
    if (keypad || !TypesText(qtKey) || xkbKeycode == 0)
        return 0;
    for (const PhysicalKey& physical : kPhysicalKeys)
        if (physical.xkbKeycode == xkbKeycode)
            return physical.viewKey;
    return 0;
}

std::optional<MouseButton> ViewButtonFromQt(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return MouseButton::Left;
    case Qt::MiddleButton:
        return MouseButton::Middle;
    case Qt::RightButton:
        return MouseButton::Right;
    default:
        return std::nullopt;
    }
}

MouseModifiers ViewModifiersFromQt(Qt::KeyboardModifiers modifiers)
{
    return MouseModifiers{modifiers.testFlag(Qt::ShiftModifier), modifiers.testFlag(Qt::ControlModifier)};
}

ClientSize FramebufferSize(QSize logicalSize, qreal devicePixelRatio)
{
    const QSize device = logicalSize * devicePixelRatio;
    return ClientSize{device.width(), device.height()};
}

QPoint FramebufferPosition(QPointF logicalPosition, qreal devicePixelRatio)
{
    return QPoint(static_cast<int>(std::floor(logicalPosition.x() * devicePixelRatio)),
                  static_cast<int>(std::floor(logicalPosition.y() * devicePixelRatio)));
}

int ViewWheelDelta(QPoint angleDelta)
{
    return angleDelta.y();
}
