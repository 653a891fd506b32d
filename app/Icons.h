#pragma once

#include "app/CommandTable.h"

#include <QIcon>
#include <QImage>

// The program's own images, painted rather than loaded so that they stay sharp at every
// scale: the application icon and the 20 x 20 toolbar images.

// The application icon painted into a square image of the given size.
QImage PaintAppIcon(int size);
QIcon AppIcon();

// The toolbar image of a command (CommandId::FileOpen, CommandId::Settings, CommandId::ViewFit and the six view
// directions); an empty icon for other commands.
QIcon ToolbarIcon(CommandId commandId);
// The same image at one scale, `scale` times 20 x 20 pixels.
QImage PaintToolbarImage(CommandId commandId, int scale);
