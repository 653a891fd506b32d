#pragma once

#include <QIcon>
#include <QImage>

// The program's own images, painted rather than loaded so that they stay sharp at every
// scale: the application icon and the 20 x 20 toolbar images.

// The application icon painted into a square image of the given size.
QImage PaintAppIcon(int size);
QIcon AppIcon();

// The toolbar image of a command (ID_FILE_OPEN, ID_SETTINGS, ID_VIEW_FIT and the six view
// directions); an empty icon for other commands.
QIcon ToolbarIcon(int commandId);
// The same image at one scale, `scale` times 20 x 20 pixels.
QImage PaintToolbarImage(int commandId, int scale);
