#include "app_icon.h"

using namespace Qt::StringLiterals;

QIcon lecternIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 128, 256})
        icon.addFile(u":/icons/lectern-%1.png"_s.arg(size), QSize(size, size));
    return icon;
}
