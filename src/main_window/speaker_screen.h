#pragma once

#include "main_window/speaker_window.h"

#include <QObject>
#include <QPointer>
#include <QScreen>

class Count;
class Form1;
class SettingsRecord;
class ShownRows;

/// The speaker's window on a screen other than the main window's: opened and closed by one command, closed when
/// its screen goes away. With a single screen the command says so in the main window's caption, and does nothing.
class SpeakerScreen final : public QObject {
    Q_OBJECT
public:
    SpeakerScreen(const SettingsRecord& settings, Form1& main, const ShownRows& shown, const Count& count,
                  QObject* parent = nullptr);
    ~SpeakerScreen() override;

    /// Null while closed.
    SpeakerWindow* window() const { return m_window.data(); }

public slots:
    void toggle();
    void open();
    void close();
    /// The settings were confirmed.
    void followMain();

private:
    void screenRemoved(QScreen* screen);

    const SettingsRecord& m_settings;
    Form1& m_main;
    const ShownRows& m_shown;
    const Count& m_count;
    QPointer<SpeakerWindow> m_window;
    QPointer<QScreen> m_screen;
};
