#include "timing/shown_rows.h"

#include <QMetaObject>

ShownRows::ShownRows(Rows& window, QObject* parent) : QObject(parent), m_window(window) {}

void ShownRows::setUpperText(const QString& text)
{
    m_window.setUpperText(text);
    if (m_view.upperText != text) {
        m_view.upperText = text;
        changeDue();
    }
}

void ShownRows::setLowerText(const QString& text)
{
    m_window.setLowerText(text);
    if (m_view.lowerText != text) {
        m_view.lowerText = text;
        changeDue();
    }
}

void ShownRows::setUpperColours(ColourValue foreground, ColourValue background)
{
    m_window.setUpperColours(foreground, background);
    if (m_view.upperForeground != foreground || m_view.upperBackground != background) {
        m_view.upperForeground = foreground;
        m_view.upperBackground = background;
        changeDue();
    }
}

void ShownRows::setLowerColours(ColourValue foreground, ColourValue background)
{
    m_window.setLowerColours(foreground, background);
    if (m_view.lowerForeground != foreground || m_view.lowerBackground != background) {
        m_view.lowerForeground = foreground;
        m_view.lowerBackground = background;
        changeDue();
    }
}

void ShownRows::changeDue()
{
    if (m_changeDue)
        return;
    m_changeDue = true;
    // After the tick that wrote it, so a view hears of a whole second's rows and colours at once.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_changeDue = false;
            emit changed();
        },
        Qt::QueuedConnection);
}
