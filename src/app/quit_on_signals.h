#pragma once

#include <QObject>

class QSocketNotifier;

/// Turns SIGTERM, SIGINT and SIGHUP (logging out, Ctrl+C, closing the terminal) into an event on the
/// user-interface thread, so the program can close in order and end with status 0 instead of being cut off.
/// One object for the process; it restores the default actions when destroyed.
class QuitOnSignals final : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;

signals:
    void received(int signal);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};
