#include "settings_dialog/space_run_label.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr char16_t ideographicSpace = u'\u3000';

/// Splits the caption into runs of ordinary characters and single ideographic spaces, in order.
QStringList pieces(const QString& text)
{
    QStringList out;
    QString run;
    for (const QChar c : text) {
        if (c == ideographicSpace) {
            if (!run.isEmpty())
                out << std::exchange(run, QString());
            out << QString(c);
        } else {
            run += c;
        }
    }
    if (!run.isEmpty())
        out << run;
    return out;
}

} // namespace

SpaceRunLabel::SpaceRunLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {}

void SpaceRunLabel::fitToWidth(int pixels)
{
    m_fitWidth = pixels;
    updateGeometry();
    update();
}

qreal SpaceRunLabel::spaceWidth() const
{
    const QFontMetricsF metrics(font());
    const qreal natural = metrics.horizontalAdvance(QChar(ideographicSpace));
    const QString caption = text();
    const auto spaces = caption.count(QChar(ideographicSpace));
    if (m_fitWidth <= 0 || spaces == 0)
        return natural;
    qreal others = 0;
    for (const QString& piece : pieces(caption)) {
        if (piece.at(0) != ideographicSpace)
            others += metrics.horizontalAdvance(piece);
    }
    const qreal fitted = (m_fitWidth - others) / qreal(spaces);
    return std::clamp(fitted, natural / 3, natural);
}

std::pair<qreal, qreal> SpaceRunLabel::spaceRun() const
{
    const QFontMetricsF metrics(font());
    const qreal space = spaceWidth();
    const QStringList parts = pieces(text());
    qreal x = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool isSpace = parts.at(i).at(0) == ideographicSpace;
        const bool nextIsSpace = i + 1 < parts.size() && parts.at(i + 1).at(0) == ideographicSpace;
        if (isSpace && nextIsSpace) {
            qreal end = x;
            while (i < parts.size() && parts.at(i).at(0) == ideographicSpace) {
                end += space;
                ++i;
            }
            return {x, end};
        }
        x += isSpace ? space : metrics.horizontalAdvance(parts.at(i));
    }
    return {0, 0};
}

qreal SpaceRunLabel::textWidth() const
{
    const QFontMetricsF metrics(font());
    const qreal space = spaceWidth();
    qreal x = 0;
    for (const QString& piece : pieces(text()))
        x += piece.at(0) == ideographicSpace ? space : metrics.horizontalAdvance(piece);
    return x;
}

QSize SpaceRunLabel::sizeHint() const
{
    const QMargins m = contentsMargins();
    return {int(std::ceil(textWidth())) + m.left() + m.right(),
            int(std::ceil(QFontMetricsF(font()).height())) + m.top() + m.bottom()};
}

QSize SpaceRunLabel::minimumSizeHint() const
{
    return sizeHint();
}

void SpaceRunLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    const QFontMetricsF metrics(font());
    const QRectF area = contentsRect();
    const qreal space = spaceWidth();
    qreal x = area.left();
    const qreal baseline = area.top() + metrics.ascent();
    for (const QString& piece : pieces(text())) {
        if (piece.at(0) == ideographicSpace) {
            x += space;
            continue;
        }
        painter.drawText(QPointF(x, baseline), piece);
        x += metrics.horizontalAdvance(piece);
    }
}
