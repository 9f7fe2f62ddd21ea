#include "remote_control/single_instance.h"

#include "remote_control/held_callers.h"
#include "remote_control/instance_channel.h"
#include "remote_control/message_language.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using instance::longestAnswer;

// How many callers are taken from the queue each time the event loop comes round.
constexpr int callersTakenAtOnce = 8;
// How long the listener rests once the process ran out of descriptors.
constexpr std::chrono::milliseconds listenAgainAfter{200};

// Why something could not be used, in both languages of the program's messages.
struct Trouble {
    QString japanese;
    QString english;
};

Trouble systemError(int error)
{
    const QString text = QString::fromLocal8Bit(std::strerror(error));
    return {text, text};
}

// Why the folder may not hold the lock, or nothing when it is a folder (not a link) of this user's that no one else
// may enter. A folder that is not ours could have been put there with the lock or the socket inside.
std::optional<Trouble> unsafeBecause(const QString& folder)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return systemError(errno);
    if (!S_ISDIR(info.st_mode))
        return Trouble{u"フォルダーではありません"_s, u"not a folder"_s};
    if (info.st_uid != ::geteuid())
        return Trouble{u"ユーザー %1 のものです"_s.arg(uint(info.st_uid)),
                       u"owned by user %1"_s.arg(uint(info.st_uid))};
    if ((info.st_mode & 077) != 0) {
        const QString mode = u"%1"_s.arg(uint(info.st_mode & 07777), 4, 8, QChar(u'0'));
        return Trouble{u"モード %1 でほかのユーザーも入れます"_s.arg(mode), u"mode %1, open to others"_s.arg(mode)};
    }
    return std::nullopt;
}

// The folder for the lock and the socket, or why there is none.
struct LockFolder {
    // Empty when there is none.
    QString path;
    // Set when a folder was found but may not be used, or could not be made.
    std::optional<Trouble> trouble;
    // The trouble has been said on stderr already.
    bool said = false;
};

// Says on stderr that `folder` was found but is not the user's alone, for `reason`.
void sayPlanted(const QString& folder, const Trouble& reason)
{
    sayOnStderr(u"%1（%2）はこのユーザー専用のフォルダーではないため、設定ファイルごとに1つだけ動かすためのロックを"
                "置けません。削除するか XDG_RUNTIME_DIR を設定してください"_s.arg(folder, reason.japanese),
                u"%1 (%2) is not a private folder of this user's, so it cannot hold the lock of one copy per "
                "settings file: remove it or set XDG_RUNTIME_DIR"_s.arg(folder, reason.english));
}

// The folder for the lock and the socket: the first of the session's and the user's runtime folders that is the
// user's alone; without one, a folder of the user's own in the temporary folder, never the temporary folder itself.
// `make` makes that folder when it is missing; without it, a missing folder is no folder and no trouble. A planted
// folder is said on stderr.
LockFolder lockFolder(const LockPlaces& places, bool make)
{
    for (const QString& runtime : {places.session, places.user}) {
        if (QDir::isAbsolutePath(runtime) && !unsafeBecause(runtime))
            return {runtime, std::nullopt};
    }
    const QString folder = places.temporary + u"/lectern-"_s + QString::number(::geteuid());
    const QByteArray path = QFile::encodeName(folder);
    if (make ? ::mkdir(path.constData(), 0700) != 0 && errno != EEXIST : ::access(path.constData(), F_OK) != 0) {
        if (!make)
            return {};
        const Trouble error = systemError(errno);
        return {QString(), Trouble{u"フォルダー %1 を作れません（%2）"_s.arg(folder, error.japanese),
                                   u"cannot make the folder %1 (%2)"_s.arg(folder, error.english)}};
    }
    if (const std::optional<Trouble> reason = unsafeBecause(folder)) {
        sayPlanted(folder, *reason);
        return {QString(),
                Trouble{u"%1 はこのユーザー専用のフォルダーではありません（%2）"_s.arg(folder, reason->japanese),
                        u"%1 is not a private folder of this user's (%2)"_s.arg(folder, reason->english)},
                true};
    }
    return {folder, std::nullopt};
}

// The lock's and the socket's path in `folder` without their endings: one per settings file however it is spelt.
QString keyBase(const QString& folder, const QString& settingsPath)
{
    const QString key = settingsPath.isEmpty() ? QString() : instance::resolvedPath(settingsPath);
    return folder + u"/lectern-"_s + instance::keyOf(key);
}

// A socket address for `path`; nothing when the path does not fit in one.
std::optional<sockaddr_un> socketAddress(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.isEmpty() || std::size_t(bytes.size()) >= sizeof(address.sun_path))
        return std::nullopt;
    std::memcpy(address.sun_path, bytes.constData(), std::size_t(bytes.size()));
    return address;
}

// A descriptor closed when it goes out of scope.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int f) : fd(f) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

using SteadyClock = std::chrono::steady_clock;

// Milliseconds from now to `deadline`, never below zero.
int millisecondsTo(SteadyClock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return int(std::clamp<decltype(left)>(left, 0, std::numeric_limits<int>::max()));
}

// Waits until `deadline` for `events` on `fd`; false on the time running out or an error.
bool waitFor(int fd, short events, SteadyClock::time_point deadline)
{
    for (;;) {
        pollfd one{fd, events, 0};
        const int n = ::poll(&one, 1, millisecondsTo(deadline));
        if (n > 0)
            return (one.revents & events) != 0;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

// Connects `fd` to whoever listens at `address` by `deadline`. A listener whose queue is full refuses at once, as
// when a flood of callers keeps it busy: the connection is tried again a little later.
bool connectBy(int fd, const sockaddr_un& address, SteadyClock::time_point deadline)
{
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0)
            return true;
        if (errno == EINPROGRESS) {
            int error = 0;
            socklen_t length = sizeof(error);
            return waitFor(fd, POLLOUT, deadline) && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
                   error == 0;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN || SteadyClock::now() >= deadline)
            return false;
        ::poll(nullptr, 0, 20);
    }
}

// Hands `lines` to whoever listens at `path` within two seconds: connected is set once the listener took the
// connection; the result tells whether every byte went and, with `reply`, whether an answer line came, which is
// put there without its newline.
bool deliver(const QString& path, const QByteArray& lines, bool* connected, QByteArray* reply)
{
    *connected = false;
    const auto deadline = SteadyClock::now() + instance::deliveryLimit;
    const std::optional<sockaddr_un> address = socketAddress(path);
    if (!address)
        return false;
    const Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.fd < 0 || !connectBy(socket.fd, *address, deadline))
        return false;
    *connected = true;
    qsizetype sent = 0;
    while (sent < lines.size()) {
        const ssize_t n = ::send(socket.fd, lines.constData() + sent, std::size_t(lines.size() - sent), MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && errno == EAGAIN && waitFor(socket.fd, POLLOUT, deadline))
            continue;
        else
            return false;
    }
    if (!reply)
        return true;
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < longestAnswer) {
        char buffer[256];
        const ssize_t n = ::read(socket.fd, buffer, sizeof(buffer));
        if (n > 0)
            answer.append(buffer, n);
        else if (n < 0 && errno == EINTR)
            continue;
        else if (!(n < 0 && errno == EAGAIN && waitFor(socket.fd, POLLIN, deadline)))
            return false;
    }
    const qsizetype newline = answer.indexOf('\n');
    if (newline < 0)
        return false;
    *reply = answer.left(newline);
    return true;
}

} // namespace

/// The lock on a file and a Unix socket beside it, both in the lock's folder, and the callers on the socket, read
/// on the event loop.
class SingleInstance::Channel {
public:
    explicit Channel(SingleInstance& owner);
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    Claim claim();
    QString address() const { return m_listener >= 0 ? m_socketPath : QString(); }

private:
    struct Caller;
    /// Listens at m_socketPath, in place of any socket a copy that died left there: 0, or the error that kept it from
    /// listening.
    int listen();
    /// Takes the callers waiting, a few at a time so that a flood of them never holds up the event loop.
    void takeCallers();
    void read(Caller* caller);
    void reply(Caller* caller);

    SingleInstance& m_owner;
    int m_lock = -1;
    // The socket, on plain system calls: Qt's local sockets would bring its network library, and all it loads,
    // into every start for a few bytes a day.
    QString m_socketPath;
    int m_listener = -1;
    std::unique_ptr<QSocketNotifier> m_listenerNotifier;
    // Brings the listener back after the process ran out of descriptors, which would otherwise wake it at once.
    QTimer m_listenAgain;
    HeldCallers<Caller> m_callers{&m_owner};
};

/// One caller on the socket: its descriptor, what it sent that is not a whole line yet, when it is cut off unless
/// it finishes a line, and the notifier that reads it on the event loop.
struct SingleInstance::Channel::Caller {
    int fd = -1;
    QByteArray pending;
    SteadyClock::time_point deadline;
    std::unique_ptr<QSocketNotifier> notifier;

    void close()
    {
        if (notifier)
            notifier->setEnabled(false);
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    ~Caller()
    {
        notifier.reset();
        close();
    }
};

LockPlaces LockPlaces::ofThisProcess()
{
    return {qEnvironmentVariable("XDG_RUNTIME_DIR"), u"/run/user/%1"_s.arg(::geteuid()), QDir::tempPath()};
}

SingleInstance::SingleInstance(const QString& settingsPath, const LockPlaces& places, QObject* parent)
    : QObject(parent), m_settingsPath(settingsPath), m_places(places), m_channel(std::make_unique<Channel>(*this))
{}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim()
{
    return m_channel->claim();
}

QString SingleInstance::address() const
{
    return m_channel->address();
}

SingleInstance::Channel::Channel(SingleInstance& owner) : m_owner(owner)
{
    m_listenAgain.setSingleShot(true);
    m_listenAgain.setInterval(listenAgainAfter);
    QObject::connect(&m_listenAgain, &QTimer::timeout, &m_owner, [this] {
        if (m_listenerNotifier)
            m_listenerNotifier->setEnabled(true);
    });
}

SingleInstance::Channel::~Channel()
{
    m_callers.clear();
    m_listenerNotifier.reset();
    if (m_listener >= 0) {
        ::close(m_listener);
        // Only the holder of the lock listens, so the socket is ours to take away.
        ::unlink(QFile::encodeName(m_socketPath).constData());
    }
    if (m_lock >= 0)
        ::close(m_lock);
}

SingleInstance::Claim SingleInstance::Channel::claim()
{
    const auto outOfReach = [this](const Trouble& why, bool said) {
        return m_owner.outOfReach(why.japanese, why.english, said);
    };
    const LockFolder folder = lockFolder(m_owner.m_places, true);
    if (folder.trouble || folder.path.isEmpty())
        return outOfReach(folder.trouble.value_or(Trouble{}), folder.said);
    const QString base = keyBase(folder.path, m_owner.m_settingsPath);
    // A copy that could not listen would hold the key out of every later start's reach: none is taken.
    const QString socketName = base + u".socket"_s;
    if (const QByteArray bytes = QFile::encodeName(socketName); !socketAddress(socketName)) {
        const qsizetype longest = sizeof(sockaddr_un::sun_path) - 1;
        return outOfReach(
            {u"ソケットのパス %1 が長すぎます（%2 バイト、最大 %3 バイト）"_s.arg(socketName)
                 .arg(bytes.size())
                 .arg(longest),
             u"the socket path %1 is too long for a socket address (%2 bytes, at most %3)"_s.arg(socketName)
                 .arg(bytes.size())
                 .arg(longest)},
            false);
    }

    // The lock is the flock() on the file, which the system lets go of when its holder ends however it ends: no
    // lock is ever stale, whatever the file holds or however old it is. The file is never removed, since a copy
    // starting meanwhile could lock the removed file while a third makes a new one.
    const QString lockName = base + u".lock"_s;
    const auto lockTrouble = [&lockName](int error) {
        const Trouble why = systemError(error);
        return Trouble{u"ロックファイル %1 を使えません（%2）"_s.arg(lockName, why.japanese),
                       u"cannot use the lock file %1 (%2)"_s.arg(lockName, why.english)};
    };
    const int lock = ::open(QFile::encodeName(lockName).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0)
        return outOfReach(lockTrouble(errno), false);
    int locked;
    while ((locked = ::flock(lock, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked == 0) {
        m_socketPath = socketName;
        if (const int error = listen(); error != 0) {
            ::close(lock);
            const Trouble why = systemError(error);
            return outOfReach({u"ソケット %1 を開けません（%2）"_s.arg(socketName, why.japanese),
                               u"cannot listen at %1 (%2)"_s.arg(socketName, why.english)},
                              false);
        }
        m_lock = lock;
        return Claim::Ours;
    }
    const int error = errno;
    ::close(lock);
    if (error != EWOULDBLOCK)
        return outOfReach(lockTrouble(error), false);

    bool connected = false;
    deliver(socketName, "front\n", &connected, nullptr);
    return Claim::Running;
}

int SingleInstance::Channel::listen()
{
    // A socket left by a copy that died is in the way; a copy that holds no lock never listens.
    const QByteArray path = QFile::encodeName(m_socketPath);
    ::unlink(path.constData());
    const std::optional<sockaddr_un> address = socketAddress(m_socketPath);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (!address || fd < 0)
        return fd < 0 ? errno : ENAMETOOLONG;
    // The folder is the user's alone already; the socket says so too.
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0 ||
        ::chmod(path.constData(), 0600) != 0 || ::listen(fd, 8) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    m_listener = fd;
    m_listenerNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(m_listenerNotifier.get(), &QSocketNotifier::activated, &m_owner, [this] { takeCallers(); });
    return 0;
}

instance::Delivery instance::deliverToRunningCopy(const QString& settingsPath, const QByteArray& lines,
                                                  QByteArray* reply, const LockPlaces& places)
{
    const LockFolder folder = lockFolder(places, false);
    if (folder.trouble)
        return {.unsafe = true};
    // Only a copy that holds the lock listens; a socket left by a copy that died refuses the connection.
    Delivery delivery;
    delivery.delivered = !folder.path.isEmpty() &&
                         deliver(keyBase(folder.path, settingsPath) + u".socket"_s, lines, &delivery.reached, reply);
    return delivery;
}

void SingleInstance::Channel::takeCallers()
{
    // A few at a time, the event loop going round between: a caller just taken is read again at least once before
    // as many more could push it out.
    for (int taken = 0; taken < callersTakenAtOnce; ++taken) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0 && (errno == EINTR || errno == ECONNABORTED))
            continue;
        if (fd < 0) {
            // The caller stays in the queue and the listener readable, which would wake the event loop again at
            // once for as long as the process has no descriptor to spare.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                m_listenerNotifier->setEnabled(false);
                m_listenAgain.start();
            }
            break;
        }
        auto caller = std::make_unique<Caller>();
        caller->fd = fd;
        caller->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        Caller* raw = m_callers.add(std::move(caller));
        QObject::connect(raw->notifier.get(), &QSocketNotifier::activated, &m_owner, [this, raw] { read(raw); });
        // What came with the connection acts at once, as a later start sends its commands as it connects.
        read(raw);
    }
    m_callers.watchIdle();
}

void SingleInstance::Channel::read(Caller* caller)
{
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(caller->fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        if (n <= 0) {
            m_callers.drop(caller); // the caller hung up, or its socket failed
            return;
        }
        caller->pending.append(buffer, n);
        bool tookLine = false;
        const Heard heard = m_owner.hear(caller->pending, &tookLine);
        if (heard == Heard::Answer) {
            reply(caller);
            return;
        }
        if (heard == Heard::Refused) {
            m_callers.drop(caller);
            return;
        }
        if (tookLine)
            m_callers.tookLine(caller);
    }
    m_callers.watchIdle();
}

void SingleInstance::Channel::reply(Caller* caller)
{
    const QByteArray line = m_owner.answer();
    // A line this short fits in the socket's buffer; a caller that does not read it has only itself to blame.
    [[maybe_unused]] const ssize_t sent =
        ::send(caller->fd, line.constData(), std::size_t(line.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    m_callers.drop(caller);
}
