#pragma once

// The input the view understands, whatever desktop delivers it; the desktop shell maps its
// own events onto these.

// The keys the view acts on, named after their place on a US keyboard.
enum class ViewKey {
    Tab,
    PageUp,
    PageDown,
    Digit1,
    Digit2,
    A,
    C,
    D,
    E,
    F,
    G,
    M,
    P,
    Q,
    R,
    S,
    W,
    X,
    Y,
    Z,
    NumpadPlus,
    NumpadMinus,
    PlusEquals,
    Minus,
    LeftBracket,
    RightBracket,
};

enum class MouseButton { Left, Middle, Right };

struct MouseModifiers {
    bool shift = false;
    bool ctrl = false;
};
