#pragma once

#include <QTimer>
#include <QWidget>

class Form1;
class RowPair;
class SettingsRecord;
class ShownRows;

/// The speaker's window: no frame, made to fill a screen of its own, the main window's two rows in the same texts,
/// colours and layout, dimmed in a pause as they are. Mouse clicks on it do nothing; a key that reaches it goes to
/// the main window, which gives it its meaning; the pointer hides over it once it has been still for two seconds.
class SpeakerWindow final : public QWidget {
    Q_OBJECT
public:
    /// The rows are read from `shown` whenever they change, their visibility and blink from `main`.
    SpeakerWindow(const SettingsRecord& settings, Form1& main, const ShownRows& shown);

    /// Shows the rows the main window shows and lays them out again, as after confirmed settings. The rows are
    /// written in the form the main window's layout chose, so they are sized for that form.
    void followMain();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void showShownRows();
    void layOut();
    void pointerMoved();

    const SettingsRecord& m_settings;
    Form1& m_main;
    const ShownRows& m_shown;
    RowPair* m_rows;
    QTimer m_pointerStill;
};
