#include "main_window/speaker_face.h"

#include "widgets/qt_colour.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Digits may be drawn narrower than their face, down to this share of their width, before they are made lower:
// on a screen nearly square, height is what is read from afar.
constexpr double narrowestDigits = 0.55;
// The share of the height the digits' ink aims at; the rest holds the heading, the elapsed time and the bar.
constexpr double digitsShare = 0.62;
// The outline added to the digits, as a share of their height.
constexpr double boldStroke = 0.05;

QColor mixed(ColourValue over, ColourValue under, double share)
{
    const QColor a = toQColor(over);
    const QColor b = toQColor(under);
    const auto mix = [share](int x, int y) {
        return int(x * share + y * (1.0 - share) + 0.5);
    };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

// A line of text centred in `box`, at the pixel size that fills its height unless its width is less.
void drawFitted(QPainter& painter, const QRect& box, const QString& text, QFont font, double heightShare)
{
    if (box.isEmpty() || text.isEmpty())
        return;
    font.setPixelSize(std::max(1, int(box.height() * heightShare)));
    const double width = QFontMetricsF(font).horizontalAdvance(text);
    if (width > box.width())
        font.setPixelSize(std::max(1, int(font.pixelSize() * box.width() / width)));
    painter.setFont(font);
    painter.drawText(box, Qt::AlignCenter, text);
}

// The digits as a path, so their ink (not their line box) fills the room, made narrower before lower.
void drawDigits(QPainter& painter, const QRect& box, const QString& text, const QFont& face, const QColor& colour)
{
    QFont font = face;
    font.setPixelSize(256);
    QPainterPath path;
    path.addText(0.0, 0.0, font, text);
    const double stroke = path.boundingRect().height() * boldStroke;
    const QRectF ink = path.boundingRect().adjusted(-stroke / 2, -stroke / 2, stroke / 2, stroke / 2);
    if (ink.isEmpty() || box.isEmpty())
        return;
    double high = box.height() / ink.height();
    double wide = std::min(high, box.width() / ink.width());
    if (wide < high * narrowestDigits)
        high = wide / narrowestDigits;
    painter.save();
    painter.translate(QRectF(box).center());
    painter.scale(wide, high);
    painter.translate(-ink.center());
    // Drawn with an outline of their own colour, a bolder face than the row's, which is read from further away.
    painter.setPen(QPen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(colour);
    painter.drawPath(path);
    painter.restore();
}

} // namespace

SpeakerFaceLayout speakerFaceLayout(const QRect& area)
{
    const int w = area.width();
    const int h = area.height();
    const int margin = std::min(w, h) * 3 / 100;
    const int bar = std::max(4, h / 80);
    const int band = h / 10;
    SpeakerFaceLayout out;
    out.bar = QRect(area.left(), area.bottom() + 1 - bar, w, bar);
    out.heading = QRect(area.left() + margin, area.top() + margin / 2, w - 2 * margin, band);
    out.elapsed = QRect(area.left() + margin, out.bar.top() - margin / 2 - band, w - 2 * margin, band);
    const int digitsHigh = std::min(int(h * digitsShare), out.elapsed.top() - out.heading.bottom() - margin);
    out.digits = QRect(area.left() + margin, area.top() + (out.heading.bottom() + out.elapsed.top() - digitsHigh) / 2,
                       w - 2 * margin, digitsHigh);
    return out;
}

void paintSpeakerFace(QPainter& painter, const QRect& area, const PhaseReading& reading, const QString& family)
{
    const SpeakerFaceLayout layout = speakerFaceLayout(area);
    const QColor ink = toQColor(reading.foreground);
    painter.fillRect(area, toQColor(reading.background));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont face(family);

    painter.setPen(ink);
    drawFitted(painter, layout.heading, reading.heading, face, 0.7);
    drawFitted(painter, layout.elapsed, reading.elapsedHeading + u"  "_s + clockText(reading.elapsedSeconds), face,
               0.6);
    drawDigits(painter, layout.digits, clockText(reading.remainingSeconds, reading.overtime), face,
               reading.paused ? mixed(reading.foreground, reading.background, 0.35) : ink);

    painter.fillRect(layout.bar, mixed(reading.foreground, reading.background, 0.3));
    QRect used = layout.bar;
    used.setWidth(int(layout.bar.width() * std::clamp(reading.used, 0.0, 1.0) + 0.5));
    painter.fillRect(used, ink);

    if (reading.paused) {
        QRect band = layout.digits;
        band.setHeight(layout.digits.height() * 2 / 5);
        band.moveCenter(layout.digits.center());
        band.setLeft(area.left());
        band.setRight(area.right());
        QColor shade = toQColor(reading.background);
        shade.setAlphaF(0.8f);
        painter.fillRect(band, shade);
        painter.setPen(ink);
        drawFitted(painter, band.adjusted(layout.digits.left(), 0, -layout.digits.left(), 0), u"一時停止"_s, face, 0.8);
    }
}
