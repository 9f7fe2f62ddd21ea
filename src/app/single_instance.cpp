#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

} // namespace

SingleInstance::SingleInstance(const QString& settingsPath, QObject* parent)
    : QObject(parent), m_settingsPath(settingsPath)
{}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim()
{
    // The session's runtime folder; without one, a folder of the user's own in the temporary folder, never the
    // temporary folder itself, where anyone may put a file under the name the program would use.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!QDir::isAbsolutePath(folder) || !unsafeBecause(folder).isEmpty()) {
        folder = QDir::tempPath() + u"/lectern-"_s + QString::number(::geteuid());
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
            return Claim::Ours;
        if (const QString reason = unsafeBecause(folder); !reason.isEmpty()) {
            std::fprintf(stderr,
                         "lectern: %s (%s) is not a private folder of this user's, so it cannot hold the lock "
                         "of one copy per settings file: remove it or set XDG_RUNTIME_DIR\n",
                         qUtf8Printable(folder), qUtf8Printable(reason));
            return Claim::Refused;
        }
    }
    const QString key = m_settingsPath.isEmpty() ? QString() : resolvedPath(m_settingsPath);
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    const QString base = folder + u"/lectern-"_s + QString::fromLatin1(hash);

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

void SingleInstance::answer()
{
    while (QLocalSocket* caller = m_server->nextPendingConnection()) {
        connect(caller, &QLocalSocket::disconnected, caller, &QObject::deleteLater);
        emit activationRequested();
    }
}
