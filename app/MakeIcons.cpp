// Writes the application icon as PNG files in the hicolor theme layout, for installation:
//   orrisk-make-icons OUTPUT_FOLDER
// gives OUTPUT_FOLDER/hicolor/<size>x<size>/apps/orrisk.png.

#include "app/Icons.h"

#include <QDir>
#include <QString>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: orrisk-make-icons OUTPUT_FOLDER\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(output).arg(size);
        const QString file = folder + QStringLiteral("/orrisk.png");
        if (!QDir().mkpath(folder) || !PaintAppIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "orrisk-make-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
