#pragma once

#include "view/ViewHost.h"
#include "view/InputEvents.h"

#include <QPoint>
#include <QPointF>
#include <QSize>
#include <Qt>

#include <optional>

// Translations from Qt's input events to what the view understands: its keys, its mouse
// buttons and modifiers, and framebuffer pixels.

// The view's key for a key press, nothing for a key the view has no use for. Keys are
// recognised first by what they type, so plus, minus and the brackets work wherever the
// layout puts them (keypad plus and minus count separately). A key that types nothing the
// view knows (a shifted digit, a letter of another script) is recognised by its place on
// the keyboard when `xkbKeycode` is an XKB key code (X11 and Wayland); pass 0 elsewhere.
std::optional<ViewKey> ViewKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers, quint32 xkbKeycode);

std::optional<MouseButton> ViewButtonFromQt(Qt::MouseButton button);
MouseModifiers ViewModifiersFromQt(Qt::KeyboardModifiers modifiers);

// A framebuffer size or position from widget coordinates: on high-DPI screens the view
// works in device pixels, and sizes, positions and the pick window all use that one scale.
// The size rounds as Qt sizes the widget's framebuffer; a position takes the device pixel
// the point lies in.
ClientSize FramebufferSize(QSize logicalSize, qreal devicePixelRatio);
QPoint FramebufferPosition(QPointF logicalPosition, qreal devicePixelRatio);

// The wheel step handed to the view: eighths of a degree on the vertical wheel, so one
// notch is 120 and positive means away from the user. Horizontal scrolling gives 0, except
// while Alt is held: Qt's X11 platform then reports the vertical wheel as horizontal, and
// that swap is undone.
int ViewWheelDelta(QPoint angleDelta, Qt::KeyboardModifiers modifiers);
