#pragma once

#include "capture/CameraRender.h"
#include "capture/ConsoleDesktop.h"
#include "view/SceneView.h"

#include <functional>

class Document;

// A view of the document on a headless surface of its own, for pictures the window needs at
// sizes of their own (videos, renders compared with photos). It draws exactly as
// orrisk-render does, with the display settings of the view the window shows.
//
// A thread has one current context across GLX and EGL: the window's must be let go before
// this one is made current (releaseHostContext), and this one before the window handles its
// events, which may paint (ReleaseEglContext).
class OffscreenView {
public:
    OffscreenView(Document& document, const SceneView& shown, int width, int height,
                  std::function<void()> releaseHostContext);
    ~OffscreenView();
    OffscreenView(const OffscreenView&) = delete;
    OffscreenView& operator=(const OffscreenView&) = delete;

    // False when no headless OpenGL 4.5 context could be made.
    bool Created() const { return m_created; }
    // Draws recorded cameras; its context is current while each picture is drawn.
    CameraRender Render();

private:
    std::function<void()> m_releaseHostContext;
    ConsoleDesktop m_desktop;
    SceneView m_view;
    CameraRender m_render;
    bool m_created = false;
};

// Lets go of the EGL context current on this thread, if any.
void ReleaseEglContext();
