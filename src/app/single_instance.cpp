#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A holder keeps its lock file flock()ed for its whole run, and QLockFile removes a lock only when it can flock()
// it itself, so a lock this old is taken over exactly when its holder is gone, even when the holder's process
// number has since been given to another program of the same name (a killed copy's number to the next start, in
// a sandbox that numbers alike at every start): 0 would keep such a lock for ever, QLockFile's default for 30 s.
// The age covers only the moment between a holder's making the file and locking it.
constexpr int staleLockMs = 1000;
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

} // namespace

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

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim()
{
    const std::optional<QString> folder = lockFolder(true);
    if (!folder)
        return Claim::Refused;
    if (folder->isEmpty())
        return Claim::Ours;
    const QString base = keyBase(*folder, m_settingsPath);

    m_lock = std::make_unique<QLockFile>(base + u".lock"_s);
    m_lock->setStaleLockTime(staleLockMs);
    const QString socketName = base + u".socket"_s;
    if (m_lock->tryLock(0)) {
        QLocalServer::removeServer(socketName);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::answer);
        m_server->listen(socketName);
        return Claim::Ours;
    }
    if (m_lock->error() != QLockFile::LockFailedError)
        return Claim::Ours;

    QLocalSocket holder;
    holder.connectToServer(socketName);
    if (holder.waitForConnected(1000)) {
        holder.write("front\n");
        holder.waitForBytesWritten(1000);
        holder.disconnectFromServer();
    }
    return Claim::Running;
}

bool SingleInstance::send(const QString& settingsPath, const QByteArray& lines)
{
    const std::optional<QString> folder = lockFolder(false);
    if (!folder)
        return false;
    // Only a copy that holds the lock listens; a socket left by a copy that died refuses the connection.
    QLocalSocket holder;
    if (!folder->isEmpty())
        holder.connectToServer(keyBase(*folder, settingsPath) + u".socket"_s);
    if (folder->isEmpty() || !holder.waitForConnected(1000)) {
        std::fprintf(stderr, "lectern: no copy of Lectern is running for the settings file %s\n",
                     settingsPath.isEmpty() ? "of a user without a home folder" : qUtf8Printable(settingsPath));
        return false;
    }
    holder.write(lines);
    while (holder.bytesToWrite() > 0 && holder.waitForBytesWritten(1000)) {
    }
    const bool delivered = holder.bytesToWrite() == 0;
    holder.disconnectFromServer();
    if (!delivered)
        std::fprintf(stderr, "lectern: the running copy of Lectern did not take the command\n");
    return delivered;
}

void SingleInstance::answer()
{
    while (QLocalSocket* caller = m_server->nextPendingConnection()) {
        connect(caller, &QLocalSocket::disconnected, caller, &QObject::deleteLater);
        connect(caller, &QLocalSocket::readyRead, this, [this, caller] { read(*caller); });
    }
}

void SingleInstance::read(QLocalSocket& caller)
{
    while (caller.canReadLine()) {
        const QByteArray line = caller.readLine(longestLine + 1);
        if (!line.endsWith('\n') || !act(QByteArrayView(line).chopped(1))) {
            caller.abort();
            return;
        }
    }
    if (caller.bytesAvailable() > longestLine)
        caller.abort();
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
