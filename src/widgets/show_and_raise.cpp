#include "widgets/show_and_raise.h"

#include <QWidget>

void showAndRaise(QWidget& window)
{
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}
