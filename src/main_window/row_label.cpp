#include "main_window/row_label.h"

#include "widgets/qt_colour.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

QStringList splitLines(const QString& text)
{
    QString unified = text;
    unified.replace(u"\r\n"_s, u"\n"_s);
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return unified.split(QLatin1Char('\n'));
}

// Whether every character of the line stands on its own, so that any run of them can be drawn alone at the
// place it has in the whole line (no surrogate pairs, no combining marks).
bool drawnCharByChar(const QString& line)
{
    return std::none_of(line.begin(), line.end(), [](QChar c) { return c.isSurrogate() || c.isMark(); });
}

// A glyph may reach a little past its cell, and edges are smoothed into the next pixel.
double inkMargin(const QFontMetricsF& metrics)
{
    return metrics.height() * 0.1 + 2.0;
}

} // namespace

QRectF RowLabel::changedArea(const QStringList& before, const QStringList& after) const
{
    const QRectF area = contentsRect();
    if (before.size() != after.size())
        return area;
    const QFontMetricsF metrics(font(), this);
    const double margin = inkMargin(metrics);
    QRectF changed;
    double top = area.top();
    for (qsizetype i = 0; i < after.size(); ++i, top += metrics.lineSpacing()) {
        const QString& old = before.at(i);
        const QString& line = after.at(i);
        if (old == line)
            continue;
        const double width = metrics.horizontalAdvance(line);
        // Of the same length and width, the line starts where it did and only the differing run moves.
        if (old.size() != line.size() || metrics.horizontalAdvance(old) != width || !drawnCharByChar(old) ||
            !drawnCharByChar(line))
            return area;
        qsizetype first = 0;
        while (old.at(first) == line.at(first))
            ++first;
        qsizetype last = line.size() - 1;
        while (old.at(last) == line.at(last))
            --last;
        const double start = area.left() + lineStart(width, area.width());
        const double left = start + metrics.horizontalAdvance(line.left(first));
        const double right = start + metrics.horizontalAdvance(line.left(last + 1));
        changed |= QRectF(left - margin, top, right - left + 2 * margin, metrics.lineSpacing());
    }
    return changed & area;
}

RowLabel::RowLabel(const QString& text, ColourValue foreground, ColourValue background, QWidget* parent)
    : QFrame(parent), m_text(text), m_lines(splitLines(text)), m_foreground(foreground), m_background(background)
{
    // The sunken two-pixel edge of a Windows client area; its shades come from the palette, not the row's colours.
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    applyColours();
}

void RowLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    QStringList lines = splitLines(text);
    // A count changes a digit or two a second; at full screen, drawing the whole row again each time would cost
    // many times what the rest of the program does. A hidden row draws nothing, and measures nothing: before the
    // window is first exposed its font is not even chosen.
    if (isVisible())
        update(changedArea(m_lines, lines).toAlignedRect());
    const QString before = std::exchange(m_text, text);
    m_lines = std::move(lines);
    // Nothing reads a window not yet shown; asking whether anything listens would open the bus to assistive
    // technology before the window could appear, where the window's showing opens it just after.
    if (window()->isVisible() && QAccessible::isActive())
        announceText(before);
}

void RowLabel::announceText(const QString& before)
{
    QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&nameChanged);
    // Only the run that differs, as a reader of the text would see it change: a digit or two a second.
    qsizetype first = 0;
    while (first < before.size() && first < m_text.size() && before.at(first) == m_text.at(first))
        ++first;
    qsizetype end = 0;
    while (end < before.size() - first && end < m_text.size() - first &&
           before.at(before.size() - 1 - end) == m_text.at(m_text.size() - 1 - end))
        ++end;
    QAccessibleTextUpdateEvent textChanged(this, int(first), before.mid(first, before.size() - first - end),
                                           m_text.mid(first, m_text.size() - first - end));
    QAccessible::updateAccessibility(&textChanged);
}

void RowLabel::setColours(ColourValue foreground, ColourValue background)
{
    if (foreground == m_foreground && background == m_background)
        return;
    m_foreground = foreground;
    m_background = background;
    applyColours();
}

void RowLabel::applyColours()
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, toQColor(m_background));
    palette.setColor(QPalette::WindowText, toQColor(m_foreground));
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
    const double margin = inkMargin(metrics);
    const QRectF exposed = event->rect();
    double baseline = area.top() + metrics.ascent();
    for (const QString& line : std::as_const(m_lines)) {
        const double top = baseline - metrics.ascent();
        if (top >= area.bottom() + 1)
            break;
        const double x = area.left() + lineStart(metrics.horizontalAdvance(line), area.width());
        if (top + metrics.lineSpacing() >= exposed.top() && top <= exposed.bottom() + 1) {
            // Only the characters whose cells meet the exposed area: each glyph of a huge size is a path to fill.
            qsizetype first = 0;
            qsizetype end = line.size();
            if (drawnCharByChar(line)) {
                while (first < end && x + metrics.horizontalAdvance(line.left(first + 1)) + margin < exposed.left())
                    ++first;
                while (end > first && x + metrics.horizontalAdvance(line.left(end - 1)) - margin > exposed.right() + 1)
                    --end;
            }
            if (first < end)
                painter.drawText(QPointF(x + metrics.horizontalAdvance(line.left(first)), baseline),
                                 line.mid(first, end - first));
        }
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
