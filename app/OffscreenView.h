#pragma once

#include "view/ConsoleDesktop.h"
#include "tools/CameraRender.h"
#include "view/SceneView.h"

class Document;

// A view of the document on a headless surface of its own, for pictures the window needs at
// sizes of their own (videos, renders compared with photos). It draws exactly as
// orrisk-render does, with the display settings of the view the window shows.
//
// A thread has one current context across GLX and EGL: the window's must be let go before
// this one is made current (ReleaseQtContext), and this one before the window handles its
// events, which may paint (ReleaseEglContext).
class OffscreenView {
public:
    OffscreenView(Document& document, const SceneView& shown, int width, int height);
    ~OffscreenView();
    OffscreenView(const OffscreenView&) = delete;
    OffscreenView& operator=(const OffscreenView&) = delete;

    // False when no headless OpenGL 4.5 context could be made.
    bool Created() const { return m_created; }
    // Draws recorded cameras; its context is current while each picture is drawn.
    CameraRender Render();

private:
    ConsoleDesktop m_desktop;
    SceneView m_view;
    CameraRender m_render;
    bool m_created = false;
};

void ReleaseQtContext();
void ReleaseEglContext();
