#pragma once

#include "gl/GlSurface.h"

// Makes a surface's context current for the scope's lifetime: whatever touches the surface's
// GL objects (renderers included) does so inside one. It tests false, having made nothing
// current, when the surface has no context. The context stays current after the scope ends,
// as a thread's current context does until another is made current: a window system that
// paints after the view (Qt) relies on that, and so does code that reads back the frame just
// drawn.
class GlContextScope {
public:
    explicit GlContextScope(const GlSurface& surface) : m_current(surface.MakeCurrent()) {}
    GlContextScope(const GlContextScope&) = delete;
    GlContextScope& operator=(const GlContextScope&) = delete;

    explicit operator bool() const { return m_current; }

private:
    bool m_current;
};
