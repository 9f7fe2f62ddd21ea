#include "remote_control/single_instance.h"

#include "remote_control/message_language.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
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

// The longest line the socket takes, its newline left out: room for "adjust=" and its seconds in the text form a
// later start writes, with some to spare for a line written by hand.
constexpr qint64 longestLine = 40;
// The longest answer a caller reads: an address with its token.
constexpr qint64 longestAnswer = 4096;
// A caller is cut off when it has not finished a line within this time of connecting or of its last line.
constexpr std::chrono::seconds idleLimit{2};
// The callers held at once, and how many are taken from the queue each time the event loop comes round.
constexpr std::size_t heldCallers = 16;
constexpr int callersTakenAtOnce = 8;
// How long the listener rests once the process ran out of descriptors.
constexpr std::chrono::milliseconds listenAgainAfter{200};

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
    const auto deadline = SteadyClock::now() + std::chrono::seconds(2);
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

/// One caller on the socket: its descriptor, what it sent that is not a whole line yet, when it is cut off unless
/// it finishes a line, and the notifier that reads it on the event loop.
struct SingleInstance::Caller {
    int fd = -1;
    QByteArray pending;
    SteadyClock::time_point deadline;
    std::unique_ptr<QSocketNotifier> notifier;
    ~Caller()
    {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }
};

LockPlaces LockPlaces::ofThisProcess()
{
    return {qEnvironmentVariable("XDG_RUNTIME_DIR"), u"/run/user/%1"_s.arg(::geteuid()), QDir::tempPath()};
}

SingleInstance::SingleInstance(const QString& settingsPath, const LockPlaces& places, QObject* parent)
    : QObject(parent), m_settingsPath(settingsPath), m_places(places)
{
    m_listenAgain.setSingleShot(true);
    m_listenAgain.setInterval(listenAgainAfter);
    connect(&m_listenAgain, &QTimer::timeout, this, [this] {
        if (m_listenerNotifier)
            m_listenerNotifier->setEnabled(true);
    });
    m_idleCheck.setSingleShot(true);
    connect(&m_idleCheck, &QTimer::timeout, this, &SingleInstance::dropIdle);
}

SingleInstance::~SingleInstance()
{
    m_callers.clear();
    m_dropped.clear();
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
    // Said in the terminal, and kept for the box that says it to a user who started the program from a menu.
    const auto outOfReach = [this](const Trouble& why, bool said) {
        if (!said) {
            sayOnStderr(why.japanese + u"。あとから起動した Lectern はこの Lectern に届きません"_s,
                        why.english + u": later starts of Lectern cannot reach this copy"_s);
        }
        m_problem = why.japanese;
        return Claim::Unreachable;
    };
    const LockFolder folder = lockFolder(m_places, true);
    if (folder.trouble || folder.path.isEmpty())
        return outOfReach(folder.trouble.value_or(Trouble{}), folder.said);
    const QString base = keyBase(folder.path, m_settingsPath);
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

int SingleInstance::listen()
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
    connect(m_listenerNotifier.get(), &QSocketNotifier::activated, this, &SingleInstance::answer);
    return 0;
}

void SingleInstance::setControlAddress(std::function<QString()> address)
{
    m_controlAddress = std::move(address);
}

bool SingleInstance::send(const QString& settingsPath, const QByteArray& lines, QByteArray* reply,
                          const LockPlaces& places)
{
    const LockFolder folder = lockFolder(places, false);
    if (folder.trouble)
        return false;
    // Only a copy that holds the lock listens; a socket left by a copy that died refuses the connection.
    bool connected = false;
    const bool delivered =
        !folder.path.isEmpty() && deliver(keyBase(folder.path, settingsPath) + u".socket"_s, lines, &connected, reply);
    if (!connected) {
        if (settingsPath.isEmpty()) {
            sayOnStderr(u"ホームフォルダーのないユーザーの設定ファイルで動いている Lectern はありません"_s,
                        u"no copy of Lectern is running for the settings file of a user without a home folder"_s);
        } else {
            sayOnStderr(u"設定ファイル %1 で動いている Lectern はありません"_s.arg(settingsPath),
                        u"no copy of Lectern is running for the settings file %1"_s.arg(settingsPath));
        }
        return false;
    }
    if (!delivered && reply)
        sayOnStderr(u"動いている Lectern から返事がありません"_s, u"the running copy of Lectern did not answer"_s);
    else if (!delivered)
        sayOnStderr(u"動いている Lectern が指示を受け取りませんでした"_s,
                    u"the running copy of Lectern did not take the command"_s);
    return delivered;
}

void SingleInstance::answer()
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
        // The newest are kept: the oldest has had the longest to say what it wanted.
        if (m_callers.size() >= heldCallers)
            drop(m_callers.front().get());
        auto caller = std::make_unique<Caller>();
        caller->fd = fd;
        caller->deadline = SteadyClock::now() + idleLimit;
        caller->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        Caller* raw = caller.get();
        connect(caller->notifier.get(), &QSocketNotifier::activated, this, [this, raw] { read(raw); });
        m_callers.push_back(std::move(caller));
        // What came with the connection acts at once, as a later start sends its commands as it connects.
        read(raw);
    }
    watchIdle();
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
            if (line == "control-url") {
                reply(caller);
                return;
            }
            if (line.size() > longestLine || !act(line)) {
                drop(caller);
                return;
            }
            caller->deadline = SteadyClock::now() + idleLimit;
        }
        if (caller->pending.size() > longestLine) {
            drop(caller);
            return;
        }
    }
    watchIdle();
}

void SingleInstance::reply(Caller* caller)
{
    QByteArray line = m_controlAddress ? m_controlAddress().toUtf8() : QByteArray();
    line.removeIf([](char c) { return c == '\n' || c == '\r'; });
    line += '\n';
    // A line this short fits in the socket's buffer; a caller that does not read it has only itself to blame.
    [[maybe_unused]] const ssize_t sent =
        ::send(caller->fd, line.constData(), std::size_t(line.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    drop(caller);
}

void SingleInstance::drop(Caller* caller)
{
    // The descriptor is given back at once; the caller itself, whose notifier may be delivering the signal that
    // led here, goes once the event loop is back.
    caller->notifier->setEnabled(false);
    ::close(caller->fd);
    caller->fd = -1;
    const auto at = std::find_if(m_callers.begin(), m_callers.end(),
                                 [caller](const std::unique_ptr<Caller>& c) { return c.get() == caller; });
    if (at == m_callers.end())
        return;
    if (m_dropped.empty())
        QMetaObject::invokeMethod(
            this, [this] { m_dropped.clear(); }, Qt::QueuedConnection);
    m_dropped.push_back(std::move(*at));
    m_callers.erase(at);
}

void SingleInstance::dropIdle()
{
    const auto now = SteadyClock::now();
    std::vector<Caller*> idle;
    for (const std::unique_ptr<Caller>& caller : m_callers) {
        if (caller->deadline <= now)
            idle.push_back(caller.get());
    }
    for (Caller* caller : idle)
        drop(caller);
    watchIdle();
}

void SingleInstance::watchIdle()
{
    if (m_callers.empty()) {
        m_idleCheck.stop();
        return;
    }
    const auto first = std::min_element(m_callers.begin(), m_callers.end(),
                                        [](const auto& a, const auto& b) { return a->deadline < b->deadline; });
    m_idleCheck.start(millisecondsTo((*first)->deadline));
}

bool SingleInstance::act(QByteArrayView line)
{
    if (line == "front") {
        emit activationRequested();
        return true;
    }
    const std::optional<CountCommand> command = parseCountCommand(line);
    if (command)
        emit commandRequested(*command);
    return command.has_value();
}
