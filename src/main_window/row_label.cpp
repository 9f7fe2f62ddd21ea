#include "main_window/row_label.h"

#include "widgets/qt_colour.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {

QStringList splitLines(const QString& text)
{
    QString unified = text;
    unified.replace(u"\r\n"_s, u"\n"_s);
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return unified.split(QLatin1Char('\n'));
}

} // namespace

RowLabel::RowLabel(const QString& text, ColourValue foreground, ColourValue background, QWidget* parent)
    : QFrame(parent), m_text(text), m_lines(splitLines(text)), m_foreground(foreground), m_background(background)
{
    // The sunken two-pixel edge of a Windows client area; its shades come from the palette, not the row's colours.
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, toQColor(background));
    palette.setColor(QPalette::WindowText, toQColor(foreground));
    setPalette(palette);
}

void RowLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    m_lines = splitLines(text);
    update(contentsRect());
}

void RowLabel::setColours(ColourValue foreground, ColourValue background)
{
    if (foreground == m_foreground && background == m_background)
        return;
    m_foreground = foreground;
    m_background = background;
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, toQColor(background));
    palette.setColor(QPalette::WindowText, toQColor(foreground));
    setPalette(palette);
}

double RowLabel::lineStart(double lineWidth, double rowWidth)
{
    if (lineWidth <= rowWidth)
        return (rowWidth - lineWidth) / 2.0;
    return rowWidth - lineWidth;
}

void RowLabel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    const QRect area = contentsRect();
    if (area.isEmpty())
        return;
    QPainter painter(this);
    painter.setClipRect(area);
    painter.setFont(font());
    painter.setPen(toQColor(m_foreground));
    const QFontMetricsF metrics(font(), this);
    double baseline = area.top() + metrics.ascent();
    for (const QString& line : std::as_const(m_lines)) {
        if (baseline - metrics.ascent() >= area.bottom() + 1)
            break;
        const double x = area.left() + lineStart(metrics.horizontalAdvance(line), area.width());
        painter.drawText(QPointF(x, baseline), line);
        baseline += metrics.lineSpacing();
    }
}

void RowLabel::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    emit buttonPressed(event->button());
}

void RowLabel::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    emit buttonReleased(event->button());
}
