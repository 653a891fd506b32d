#include "app/QtContextRelease.h"

#include <QOpenGLContext>

void ReleaseQtContext()
{
    if (QOpenGLContext* context = QOpenGLContext::currentContext())
        context->doneCurrent();
}
