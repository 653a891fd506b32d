#pragma once

// Key codes the view's key handler understands (the classic desktop virtual-key set on a US
// layout). The desktop shell maps its own key events onto them.
namespace vk {
inline constexpr int Tab = 9;
inline constexpr int PageUp = 33;
inline constexpr int PageDown = 34;
inline constexpr int Digit1 = 49;
inline constexpr int Digit2 = 50;
inline constexpr int A = 65;
inline constexpr int D = 68;
inline constexpr int E = 69;
inline constexpr int F = 70;
inline constexpr int G = 71;
inline constexpr int M = 77;
inline constexpr int P = 80;
inline constexpr int Q = 81;
inline constexpr int R = 82;
inline constexpr int S = 83;
inline constexpr int W = 87;
inline constexpr int X = 88;
inline constexpr int Y = 89;
inline constexpr int Z = 90;
inline constexpr int NumpadPlus = 107;
inline constexpr int NumpadMinus = 109;
inline constexpr int PlusEquals = 187;
inline constexpr int Minus = 189;
inline constexpr int LeftBracket = 219;
inline constexpr int RightBracket = 221;
}  // namespace vk
