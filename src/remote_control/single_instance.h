#pragma once

#include "timing/count_command.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

/// The folders the lock and the socket may live in, first choice first. Each is taken only when it is a folder of
/// this user's that no one else may enter. Windows names its pipes without a folder and uses none of these.
struct LockPlaces {
    /// The session's runtime folder, $XDG_RUNTIME_DIR; empty when unset.
    QString session;
    /// The runtime folder the system makes for the user at login, /run/user/UID, found even by a program started
    /// without the session's environment.
    QString user;
    /// The folder in which a folder lectern-UID of the user's own is made, never used itself: anyone may put a
    /// file there under the name the program would use.
    QString temporary;

    /// This process's places.
    static LockPlaces ofThisProcess();
};

/// One running count per settings file, so that two copies never overwrite each other's settings. The first
/// start holds a lock and listens; a later start finds the lock held, asks the holder to come to the front and
/// ends. A lock left by a copy that died is taken over at once. The socket is a Unix socket beside a lock file in a
/// runtime folder, or on Windows a named pipe that only this user can open, whose first instance is the lock.
///
/// The socket takes lines of at most a few bytes each: "front", or a command of the count in its text form
/// ("restart", "pause", "adjust=SECONDS", see parseCountCommand()); "control-url" is answered with one line, the
/// browser view's control address or an empty line, and the connection closed. A caller whose line is not one of these
/// is cut off there, and so is one that has not finished a line within two seconds; of many callers at once only the
/// latest few are held, so that no one can take up the program's descriptors or its time.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Ours,        ///< this process holds the key now and listens for later starts
        Running,     ///< another copy holds the key and has been asked to come to the front
        Unreachable, ///< no key can be held here (problem() says why): this copy runs alone, out of reach
    };

    /// `settingsPath` names what one instance owns: the settings file, however its path is spelt (links, doubled
    /// or trailing slashes). An empty path is one key of its own.
    explicit SingleInstance(const QString& settingsPath, const LockPlaces& places = LockPlaces::ofThisProcess(),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    /// Takes the key or asks its holder to the front. Unreachable has been said on stderr in one line.
    Claim claim();
    /// Why this copy cannot be reached by later starts, in Japanese for a box; empty unless the claim was
    /// Unreachable.
    QString problem() const { return m_problem; }
    /// Where later starts reach this copy: the socket's path, or the pipe's name; empty unless the claim was Ours.
    QString address() const;

    /// What "control-url" is answered with: the browser view's control address, empty while it does not serve.
    /// Without it the answer is the empty line.
    void setControlAddress(std::function<QString()> address);

    /// Hands `lines` to the copy that runs for `settingsPath`, without ever becoming one: true once delivered;
    /// false, said on stderr in one line, when no copy runs or the lock's folder is not safe to use. With `reply`,
    /// the last line is a question and the copy's one-line answer, waited for at most two seconds, is put there.
    static bool send(const QString& settingsPath, const QByteArray& lines, QByteArray* reply = nullptr,
                     const LockPlaces& places = LockPlaces::ofThisProcess());

signals:
    /// A later start asked this instance to come to the front.
    void activationRequested();
    /// A later start passed on a command of the count.
    void commandRequested(const CountCommand& command);

private:
    /// The system's side: the lock, the listener and its callers (posix/ and windows/single_instance.cpp).
    class Channel;
    friend class Channel;

    /// What a caller's bytes came to once its whole lines were acted on.
    enum class Heard {
        More,   ///< every whole line was taken: wait for more
        Answer, ///< the caller asked a question: answer() it, then cut it off
        Refused ///< a line the socket does not take, or one too long: cut it off
    };
    /// Acts on the whole lines at the front of `pending` and takes them out; `tookLine` is set when one was taken.
    Heard hear(QByteArray& pending, bool* tookLine);
    /// The answer to "control-url", with its newline.
    QByteArray answer() const;
    /// Emits the signal `line` asks for; false for a line the socket does not take.
    bool act(QByteArrayView line);
    /// Keeps `why` for the box and says it on stderr unless `said`: Unreachable.
    Claim outOfReach(const QString& japanese, const QString& english, bool said);

    QString m_settingsPath;
    LockPlaces m_places;
    QString m_problem;
    std::function<QString()> m_controlAddress;
    std::unique_ptr<Channel> m_channel;
};
