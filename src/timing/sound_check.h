#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class ChimeDevice;
class Dialogs;

/// The settings dialog's 試聴: plays a sound file once through a device of its own, closes the device when the
/// sound is over, and says why when it cannot play it.
class SoundCheck final : public QObject {
    Q_OBJECT
public:
    SoundCheck(ChimeDevice& device, Dialogs& dialogs, QObject* parent = nullptr);

public slots:
    /// Plays `path` (the built-in bell when empty) once, or says why it cannot.
    void play(const QString& path);

private:
    /// Tells why the device cannot play `path`.
    void warn(const QString& path);

    ChimeDevice& m_device;
    Dialogs& m_dialogs;
    QTimer m_watch;
    QString m_playing;
};
