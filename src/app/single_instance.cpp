#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The longest line the socket takes, its newline left out: "adjust=" and a number written in its shortest form.
constexpr qint64 longestLine = 40;
// The largest adjustment one command from outside makes, either way: a day.
constexpr double largestRemoteAdjustSeconds = 24 * 3600.0;

// The path the file is reached by however it is spelt: the links of the parts that exist resolved, the parts not
// made yet appended as they are.
QString resolvedPath(const QString& path)
{
    QString existing = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    QString rest;
    QString canonical;
    while ((canonical = QFileInfo(existing).canonicalFilePath()).isEmpty() && existing != u"/"_s) {
        rest.prepend(u'/' + QFileInfo(existing).fileName());
        existing = QFileInfo(existing).path();
    }
    return QDir::cleanPath(canonical + rest);
}

// Why the folder may not hold the lock, or nothing when it is a folder (not a link) of this user's that no one else
// may enter. A folder that is not ours could have been put there with the lock or the socket inside.
QString unsafeBecause(const QString& folder)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        return u"not a folder"_s;
    if (info.st_uid != ::geteuid())
        return u"owned by user %1"_s.arg(uint(info.st_uid));
    if ((info.st_mode & 077) != 0)
        return u"mode %1, open to others"_s.arg(uint(info.st_mode & 07777), 4, 8, QChar(u'0'));
    return {};
}

// The folder for the lock and the socket: the session's runtime folder; without one, a folder of the user's own in
// the temporary folder, never the temporary folder itself, where anyone may put a file under the name the program
// would use. `make` makes that folder when it is missing. Empty when there is no such folder; nothing, said on
// stderr, when the folder is not safe to use.
std::optional<QString> lockFolder(bool make)
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(folder) && unsafeBecause(folder).isEmpty())
        return folder;
    folder = QDir::tempPath() + u"/lectern-"_s + QString::number(::geteuid());
    const QByteArray path = QFile::encodeName(folder);
    if (make ? ::mkdir(path.constData(), 0700) != 0 && errno != EEXIST : ::access(path.constData(), F_OK) != 0)
        return QString();
    if (const QString reason = unsafeBecause(folder); !reason.isEmpty()) {
        std::fprintf(stderr,
                     "lectern: %s (%s) is not a private folder of this user's, so it cannot hold the lock "
                     "of one copy per settings file: remove it or set XDG_RUNTIME_DIR\n",
                     qUtf8Printable(folder), qUtf8Printable(reason));
        return std::nullopt;
    }
    return folder;
}

// The lock's and the socket's path in `folder` without their endings: one per settings file however it is spelt.
QString keyBase(const QString& folder, const QString& settingsPath)
{
    const QString key = settingsPath.isEmpty() ? QString() : resolvedPath(settingsPath);
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folder + u"/lectern-"_s + QString::fromLatin1(hash);
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

// Waits up to `ms` for `events` on `fd`; false on the time running out or an error.
bool waitFor(int fd, short events, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd one{fd, events, 0};
        const int n = ::poll(&one, 1, int(std::max<std::chrono::milliseconds::rep>(left.count(), 0)));
        if (n > 0)
            return (one.revents & events) != 0;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

// Hands `lines` to whoever listens at `path`, each step waiting at most a second: connected is set once the
// listener took the connection; the result tells whether every byte went.
bool deliver(const QString& path, const QByteArray& lines, bool* connected)
{
    *connected = false;
    const std::optional<sockaddr_un> address = socketAddress(path);
    if (!address)
        return false;
    const Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.fd < 0)
        return false;
    int result = ::connect(socket.fd, reinterpret_cast<const sockaddr*>(&*address), sizeof(*address));
    if (result != 0 && (errno == EINPROGRESS || errno == EAGAIN)) {
        int error = 0;
        socklen_t length = sizeof(error);
        if (!waitFor(socket.fd, POLLOUT, 1000) || ::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
            error != 0)
            return false;
        result = 0;
    }
    if (result != 0)
        return false;
    *connected = true;
    qsizetype sent = 0;
    while (sent < lines.size()) {
        const ssize_t n = ::send(socket.fd, lines.constData() + sent, std::size_t(lines.size() - sent), MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && errno == EAGAIN && waitFor(socket.fd, POLLOUT, 1000))
            continue;
        else
            return false;
    }
    return true;
}

} // namespace

/// One caller on the socket: its descriptor, what it sent that is not a whole line yet, and the notifier that
/// reads it on the event loop.
struct SingleInstance::Caller {
    int fd = -1;
    QByteArray pending;
    std::unique_ptr<QSocketNotifier> notifier;
    ~Caller()
    {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }
};

std::optional<double> remoteAdjustSeconds(QByteArrayView text)
{
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E'))
            return std::nullopt;
    }
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(std::fabs(seconds) <= largestRemoteAdjustSeconds))
        return std::nullopt;
    return seconds;
}

SingleInstance::SingleInstance(const QString& settingsPath, QObject* parent)
    : QObject(parent), m_settingsPath(settingsPath)
{}

SingleInstance::~SingleInstance()
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

SingleInstance::Claim SingleInstance::claim()
{
    const std::optional<QString> folder = lockFolder(true);
    if (!folder)
        return Claim::Refused;
    if (folder->isEmpty())
        return Claim::Ours;
    const QString base = keyBase(*folder, m_settingsPath);

    // The lock is the flock() on the file, which the system lets go of when its holder ends however it ends: no
    // lock is ever stale, whatever the file holds or however old it is. The file is never removed, since a copy
    // starting meanwhile could lock the removed file while a third makes a new one.
    const QString socketName = base + u".socket"_s;
    const int lock =
        ::open(QFile::encodeName(base + u".lock"_s).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0)
        return Claim::Ours; // no lock can be made: the program runs rather than not
    int locked;
    while ((locked = ::flock(lock, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked == 0) {
        m_lock = lock;
        m_socketPath = socketName;
        listen();
        return Claim::Ours;
    }
    const bool held = errno == EWOULDBLOCK;
    ::close(lock);
    if (!held)
        return Claim::Ours;

    bool connected = false;
    deliver(socketName, "front\n", &connected);
    return Claim::Running;
}

void SingleInstance::listen()
{
    // A socket left by a copy that died is in the way; a copy that holds no lock never listens.
    const QByteArray path = QFile::encodeName(m_socketPath);
    ::unlink(path.constData());
    const std::optional<sockaddr_un> address = socketAddress(m_socketPath);
    if (!address)
        return;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    // The folder is the user's alone already; the socket says so too.
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0 ||
        ::chmod(path.constData(), 0600) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return;
    }
    m_listener = fd;
    m_listenerNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_listenerNotifier.get(), &QSocketNotifier::activated, this, &SingleInstance::answer);
}

bool SingleInstance::send(const QString& settingsPath, const QByteArray& lines)
{
    const std::optional<QString> folder = lockFolder(false);
    if (!folder)
        return false;
    // Only a copy that holds the lock listens; a socket left by a copy that died refuses the connection.
    bool connected = false;
    const bool delivered =
        !folder->isEmpty() && deliver(keyBase(*folder, settingsPath) + u".socket"_s, lines, &connected);
    if (!connected) {
        std::fprintf(stderr, "lectern: no copy of Lectern is running for the settings file %s\n",
                     settingsPath.isEmpty() ? "of a user without a home folder" : qUtf8Printable(settingsPath));
        return false;
    }
    if (!delivered)
        std::fprintf(stderr, "lectern: the running copy of Lectern did not take the command\n");
    return delivered;
}

void SingleInstance::answer()
{
    for (;;) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        auto caller = std::make_unique<Caller>();
        caller->fd = fd;
        caller->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        Caller* raw = caller.get();
        connect(caller->notifier.get(), &QSocketNotifier::activated, this, [this, raw] { read(raw); });
        m_callers.push_back(std::move(caller));
    }
}

void SingleInstance::read(Caller* caller)
{
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(caller->fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        if (n <= 0) {
            drop(caller); // the caller hung up, or its socket failed
            return;
        }
        caller->pending.append(buffer, n);
        qsizetype newline;
        while ((newline = caller->pending.indexOf('\n')) >= 0) {
            const QByteArray line = caller->pending.left(newline);
            caller->pending.remove(0, newline + 1);
            if (line.size() > longestLine || !act(line)) {
                drop(caller);
                return;
            }
        }
        if (caller->pending.size() > longestLine) {
            drop(caller);
            return;
        }
    }
}

void SingleInstance::drop(Caller* caller)
{
    // Deferred: the caller's notifier is still delivering the signal that led here.
    caller->notifier->setEnabled(false);
    QMetaObject::invokeMethod(
        this,
        [this, caller] {
            std::erase_if(m_callers, [caller](const std::unique_ptr<Caller>& c) { return c.get() == caller; });
        },
        Qt::QueuedConnection);
}

bool SingleInstance::act(QByteArrayView line)
{
    if (line == "front")
        emit activationRequested();
    else if (line == "restart")
        emit restartRequested();
    else if (line == "pause")
        emit pauseRequested();
    else if (line == "skip")
        emit skipRequested();
    else if (line == "rehearsal")
        emit rehearsalRequested();
    else if (const std::optional<double> seconds =
                 line.startsWith("adjust=") ? remoteAdjustSeconds(line.sliced(7)) : std::nullopt)
        emit adjustRequested(*seconds);
    else
        return false;
    return true;
}
