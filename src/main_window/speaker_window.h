#pragma once

#include "timing/phase_reading.h"

#include <QTimer>
#include <QWidget>

class Count;
class Form1;
class SettingsRecord;
class ShownRows;

/// The speaker's window: no frame, made to fill a screen of its own and to be read from the lectern. It shows the
/// lower row's count whatever rows the main window shows (see paintSpeakerFace()). Mouse clicks on it do nothing;
/// a key that reaches it goes to the main window, which gives it its meaning; the pointer hides over it once it
/// has been still for two seconds.
class SpeakerWindow final : public QWidget {
    Q_OBJECT
public:
    /// The count is read again whenever `shown` tells of new rows and whenever its state changes.
    SpeakerWindow(const SettingsRecord& settings, Form1& main, const ShownRows& shown, const Count& count);

    const PhaseReading& reading() const { return m_reading; }

    /// Reads the count again, as after confirmed settings, which may have changed the headings.
    void followMain();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void readCount();
    void pointerMoved();

    const SettingsRecord& m_settings;
    Form1& m_main;
    const ShownRows& m_shown;
    const Count& m_count;
    PhaseReading m_reading;
    QTimer m_pointerStill;
};
