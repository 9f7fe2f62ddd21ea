#include "app/app_icon.h"

#include <QImageReader>
#include <QPixmap>

using namespace Qt::StringLiterals;

QIcon lecternIcon()
{
    // Window sizes only: each image is decoded at start-up and sent to the window system with every window.
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        // Read as PNG by name: left to guess, the reader first loads every image plug-in (GIF, JPEG, ICO) to ask
        // whether it reads the file, which cost more of the start than the three images themselves.
        QImageReader reader(u":/icons/lectern-%1.png"_s.arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
