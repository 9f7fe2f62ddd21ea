#pragma once

#include <QLabel>

/// A colour swatch: a caption-less bordered label painted in its colour, clicked like a button.
class SwatchLabel final : public QLabel {
    Q_OBJECT
public:
    explicit SwatchLabel(QWidget* parent);

signals:
    /// The left button was pressed and released on the swatch.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};
