#include "app/qt/InputMapping.h"

#include <cmath>

namespace {

// XKB key codes (evdev + 8) of the keys the view uses, with the key each one is on a US
// keyboard.
struct PhysicalKey {
    quint32 xkbKeycode;
    ViewKey viewKey;
};
constexpr PhysicalKey kPhysicalKeys[] = {
    {10, ViewKey::Digit1}, {11, ViewKey::Digit2}, {20, ViewKey::Minus},       {21, ViewKey::PlusEquals},
    {24, ViewKey::Q},      {25, ViewKey::W},      {26, ViewKey::E},           {27, ViewKey::R},
    {29, ViewKey::Y},      {33, ViewKey::P},      {34, ViewKey::LeftBracket}, {35, ViewKey::RightBracket},
    {38, ViewKey::A},      {39, ViewKey::S},      {40, ViewKey::D},           {41, ViewKey::F},
    {42, ViewKey::G},      {52, ViewKey::Z},      {53, ViewKey::X},           {58, ViewKey::M},
    {54, ViewKey::C},
};

// What a typed letter or digit means to the view: its key, or nothing for the letters and
// digits the view has no use for (they still count as recognised).
std::optional<ViewKey> ViewKeyOfCharacter(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_1: return ViewKey::Digit1;
    case Qt::Key_2: return ViewKey::Digit2;
    case Qt::Key_A: return ViewKey::A;
    case Qt::Key_C: return ViewKey::C;
    case Qt::Key_D: return ViewKey::D;
    case Qt::Key_E: return ViewKey::E;
    case Qt::Key_F: return ViewKey::F;
    case Qt::Key_G: return ViewKey::G;
    case Qt::Key_M: return ViewKey::M;
    case Qt::Key_P: return ViewKey::P;
    case Qt::Key_Q: return ViewKey::Q;
    case Qt::Key_R: return ViewKey::R;
    case Qt::Key_S: return ViewKey::S;
    case Qt::Key_W: return ViewKey::W;
    case Qt::Key_X: return ViewKey::X;
    case Qt::Key_Y: return ViewKey::Y;
    case Qt::Key_Z: return ViewKey::Z;
    default: return std::nullopt;
    }
}

// A key recognised by what it types: the outer optional is empty when the key is not
// recognised this way, the inner one when it is but the view has no use for it.
std::optional<std::optional<ViewKey>> ViewKeyFromTypedKey(int qtKey, bool keypad)
{
    switch (qtKey) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return ViewKey::Tab;
    case Qt::Key_PageUp:
        return ViewKey::PageUp;
    case Qt::Key_PageDown:
        return ViewKey::PageDown;
    case Qt::Key_Plus:
        return keypad ? ViewKey::NumpadPlus : ViewKey::PlusEquals;
    case Qt::Key_Equal:
        if (keypad)
            return std::nullopt;
        return ViewKey::PlusEquals;
    case Qt::Key_Minus:
        return keypad ? ViewKey::NumpadMinus : ViewKey::Minus;
    case Qt::Key_Underscore:
        return ViewKey::Minus;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
        return ViewKey::LeftBracket;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
        return ViewKey::RightBracket;
    default:
        break;
    }
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9 && !keypad))
        return std::optional<std::optional<ViewKey>>(ViewKeyOfCharacter(qtKey));
    return std::nullopt;
}

bool TypesText(int qtKey)
{
    // Qt gives keys that type something their Unicode code point; function keys, arrows and
    // modifiers live from 0x01000000 on.
    return qtKey > 0 && qtKey < Qt::Key_Escape;
}

}  // namespace

std::optional<ViewKey> ViewKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers, quint32 xkbKeycode)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (const std::optional<std::optional<ViewKey>> typed = ViewKeyFromTypedKey(qtKey, keypad))
        return *typed;
    if (keypad || !TypesText(qtKey) || xkbKeycode == 0)
        return std::nullopt;
    for (const PhysicalKey& physical : kPhysicalKeys)
        if (physical.xkbKeycode == xkbKeycode)
            return physical.viewKey;
    return std::nullopt;
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

int ViewWheelDelta(QPoint angleDelta, Qt::KeyboardModifiers modifiers)
{
    // On X11 Qt turns the vertical wheel into horizontal scrolling while Alt is held.
    if (modifiers.testFlag(Qt::AltModifier) && angleDelta.y() == 0)
        return angleDelta.x();
    return angleDelta.y();
}
