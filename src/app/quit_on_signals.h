#pragma once

#include <QObject>

#include <memory>

/// Turns the system's requests to end into an event on the user-interface thread, so the program can close in
/// order and end with status 0 instead of being cut off: SIGTERM, SIGINT and SIGHUP (logging out, Ctrl+C, closing
/// the terminal), or on Windows Ctrl+C, Ctrl+Break or closing the console, and the end of the session. One object
/// for the process; it restores the system's default handling when destroyed.
class QuitOnSignals final : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;

signals:
    /// The signal's number, or on Windows the console event's or the session's message.
    void received(int signal);
    /// Follows received() when the system ends the process as soon as its handler returns (the console closed,
    /// the Windows session ended): what must reach the disk is to be written before this returns.
    void endingNow();

private:
    /// The system's side (posix/ and windows/quit_on_signals.cpp): what catches the requests and hands them over.
    struct Catcher;
    std::unique_ptr<Catcher> m_catcher;
};
