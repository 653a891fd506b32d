#pragma once

// Lets go of the Qt OpenGL context current on this thread, if any: the window's context, before
// an off-screen view (capture/OffscreenView.h) makes its own current.
void ReleaseQtContext();
