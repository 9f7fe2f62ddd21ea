#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

/// The seconds of an adjustment from outside (`--adjust=TEXT`, and the socket's "adjust=TEXT"): a plain decimal
/// number, signed or not, within a day either way; nothing for anything else.
std::optional<double> remoteAdjustSeconds(QByteArrayView text);

/// One running count per settings file, so that two copies never overwrite each other's settings. The first
/// start holds a lock and listens; a later start finds the lock held, asks the holder to come to the front and
/// ends. A lock left by a copy that died is taken over at once. The lock and the socket live in a folder only the
/// user can enter: $XDG_RUNTIME_DIR, or else a folder of the user's own made in the temporary folder.
///
/// The socket takes lines of at most a few bytes each: "front", or a command of the count ("restart", "pause",
/// "adjust=SECONDS", "skip", "rehearsal"). A caller whose line is not one of these is cut off there.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Ours,    ///< this process holds the key now, or no lock can be made at all (the program runs rather than not)
        Running, ///< another copy holds the key and has been asked to come to the front
        Refused, ///< the folder for the lock is not the user's own: someone else may have put it there
    };

    /// `settingsPath` names what one instance owns: the settings file, however its path is spelt (links, doubled
    /// or trailing slashes). An empty path is one key of its own.
    explicit SingleInstance(const QString& settingsPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    /// Takes the key or asks its holder to the front. Refused has been explained on stderr in one line.
    Claim claim();

    /// Hands `lines` to the copy that runs for `settingsPath`, without ever becoming one: true once delivered;
    /// false, said on stderr in one line, when no copy runs or the lock's folder is not safe to use.
    static bool send(const QString& settingsPath, const QByteArray& lines);

signals:
    /// A later start asked this instance to come to the front.
    void activationRequested();
    void restartRequested();
    void pauseRequested();
    void adjustRequested(double seconds);
    void skipRequested();
    void rehearsalRequested();

private:
    struct Caller;
    /// Listens at m_socketPath, in place of any socket a copy that died left there.
    void listen();
    void answer();
    void read(Caller* caller);
    /// Closes the caller's connection once the event loop is back.
    void drop(Caller* caller);
    /// Emits the signal `line` asks for; false for a line the socket does not take.
    bool act(QByteArrayView line);

    QString m_settingsPath;
    int m_lock = -1;
    // The socket, on plain system calls: Qt's local sockets would bring its network library, and all it loads,
    // into every start for a few bytes a day.
    QString m_socketPath;
    int m_listener = -1;
    std::unique_ptr<QSocketNotifier> m_listenerNotifier;
    std::vector<std::unique_ptr<Caller>> m_callers;
};
