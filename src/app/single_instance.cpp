#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The user's runtime folder: private to the user and emptied at logout, so nothing is left in a shared place.
QString lockFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
        return runtime;
    return QDir::tempPath();
}

} // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent)
{
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    m_base = lockFolder() + u"/lectern-"_s + QString::number(::getuid()) + u'-' + QString::fromLatin1(hash);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    m_lock = std::make_unique<QLockFile>(m_base + u".lock"_s);
    // Held for the whole run: only a holder that no longer exists makes the lock stale, never its age.
    m_lock->setStaleLockTime(0);
    const QString socketName = m_base + u".socket"_s;
    if (m_lock->tryLock(0)) {
        QLocalServer::removeServer(socketName);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::answer);
        m_server->listen(socketName);
        return true;
    }
    if (m_lock->error() != QLockFile::LockFailedError)
        return true;

    QLocalSocket holder;
    holder.connectToServer(socketName);
    if (holder.waitForConnected(1000)) {
        holder.write("front\n");
        holder.waitForBytesWritten(1000);
        holder.disconnectFromServer();
    }
    return false;
}

void SingleInstance::answer()
{
    while (QLocalSocket* caller = m_server->nextPendingConnection()) {
        connect(caller, &QLocalSocket::disconnected, caller, &QObject::deleteLater);
        emit activationRequested();
    }
}
