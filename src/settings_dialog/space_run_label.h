#pragma once

#include <QLabel>

#include <utility>

/// A label whose ideographic spaces may be drawn narrower than its font draws them, so that a caption keeps
/// the width the dialog was designed with: the fields laid over its spaces then leave the words on either
/// side uncovered. text() is the caption unchanged; the text is drawn from the top left, one line.
class SpaceRunLabel final : public QLabel {
    Q_OBJECT
public:
    SpaceRunLabel(const QString& caption, QWidget* parent);

    /// Narrows the ideographic spaces so the caption fits `pixels` where it can; a space keeps at least a
    /// third of its own width and never grows. Zero or less draws the spaces as the font has them.
    void fitToWidth(int pixels);
    /// The width each ideographic space is drawn with now.
    qreal spaceWidth() const;
    /// The left and right edge of the first run of two or more ideographic spaces, in the label's pixels;
    /// (0, 0) when the caption has none.
    std::pair<qreal, qreal> spaceRun() const;
    /// The caption's width as drawn.
    qreal textWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_fitWidth = 0;
};
