#include "app/app_icon.h"

using namespace Qt::StringLiterals;

QIcon lecternIcon()
{
    // Window sizes only: each image is decoded at start-up and sent to the window system with every window.
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(u":/icons/lectern-%1.png"_s.arg(size), QSize(size, size));
    return icon;
}
