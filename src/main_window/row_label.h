#pragma once

#include "platform/colour_value.h"

#include <QFrame>
#include <QRectF>
#include <QString>
#include <QStringList>

/// One display row: a sunken panel filled with its background colour, each line of its text centred from
/// the top edge. It draws the text itself, so a CR LF breaks the line and a line too wide for the row is
/// cut at the edge instead of wrapping.
class RowLabel final : public QFrame {
    Q_OBJECT
public:
    RowLabel(const QString& text, ColourValue foreground, ColourValue background, QWidget* parent);

    QString text() const { return m_text; }
    /// Repaints only when the text differs from what is shown; tells assistive technology, when one listens.
    void setText(const QString& text);
    ColourValue foreground() const { return m_foreground; }
    ColourValue background() const { return m_background; }
    void setColours(ColourValue foreground, ColourValue background);
    /// The lines as drawn: the text split at CR LF (a lone CR or LF breaks too).
    QStringList lines() const { return m_lines; }
    /// Where a line starts, relative to the contents: centred when it fits; a line too wide keeps its end,
    /// where the count stands, and loses its start at the left edge.
    static double lineStart(double lineWidth, double rowWidth);

signals:
    void buttonPressed(Qt::MouseButton button);
    void buttonReleased(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    /// The part of the contents that must be drawn again when the lines change from `before` to `after`.
    QRectF changedArea(const QStringList& before, const QStringList& after) const;
    /// Tells assistive technology that the text changed from `before` to what it is now.
    void announceText(const QString& before);
    /// Puts the row's colours in its palette, which the frame's background is filled from.
    void applyColours();

    QString m_text;
    QStringList m_lines;
    ColourValue m_foreground;
    ColourValue m_background;
};
