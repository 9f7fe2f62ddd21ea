#include "settings_dialog/swatch_label.h"

#include <QMouseEvent>

SwatchLabel::SwatchLabel(QWidget* parent) : QLabel(parent)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);
}

void SwatchLabel::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void SwatchLabel::mouseReleaseEvent(QMouseEvent* event)
{
    // A click is a press and a release on the swatch, as on a button: sliding off it cancels.
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        emit clicked();
}
