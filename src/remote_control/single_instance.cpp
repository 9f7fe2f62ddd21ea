#include "remote_control/single_instance.h"

#include "remote_control/instance_channel.h"
#include "remote_control/message_language.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace instance {

QString resolvedPath(const QString& path)
{
    QString existing = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    QString rest;
    QString canonical;
    // Up to the root, which has no parent of its own: "/", or a drive or share that may not exist.
    while ((canonical = QFileInfo(existing).canonicalFilePath()).isEmpty()) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return QDir::cleanPath(existing + rest);
        rest.prepend(u'/' + QFileInfo(existing).fileName());
        existing = parent;
    }
    return QDir::cleanPath(canonical + rest);
}

QString keyOf(const QString& resolved)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(resolved.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

} // namespace instance

void SingleInstance::setControlAddress(std::function<QString()> address)
{
    m_controlAddress = std::move(address);
}

bool SingleInstance::send(const QString& settingsPath, const QByteArray& lines, QByteArray* reply,
                          const LockPlaces& places)
{
    const instance::Delivery delivery = instance::deliverToRunningCopy(settingsPath, lines, reply, places);
    if (delivery.unsafe)
        return false;
    if (!delivery.reached) {
        if (settingsPath.isEmpty()) {
            sayOnStderr(u"ホームフォルダーのないユーザーの設定ファイルで動いている Lectern はありません"_s,
                        u"no copy of Lectern is running for the settings file of a user without a home folder"_s);
        } else {
            sayOnStderr(u"設定ファイル %1 で動いている Lectern はありません"_s.arg(settingsPath),
                        u"no copy of Lectern is running for the settings file %1"_s.arg(settingsPath));
        }
        return false;
    }
    if (!delivery.delivered && reply)
        sayOnStderr(u"動いている Lectern から返事がありません"_s, u"the running copy of Lectern did not answer"_s);
    else if (!delivery.delivered)
        sayOnStderr(u"動いている Lectern が指示を受け取りませんでした"_s,
                    u"the running copy of Lectern did not take the command"_s);
    return delivery.delivered;
}

SingleInstance::Claim SingleInstance::outOfReach(const QString& japanese, const QString& english, bool said)
{
    // Said in the terminal, and kept for the box that says it to a user who started the program from a menu.
    if (!said) {
        sayOnStderr(japanese + u"。あとから起動した Lectern はこの Lectern に届きません"_s,
                    english + u": later starts of Lectern cannot reach this copy"_s);
    }
    m_problem = japanese;
    return Claim::Unreachable;
}

SingleInstance::Heard SingleInstance::hear(QByteArray& pending, bool* tookLine)
{
    *tookLine = false;
    qsizetype newline;
    while ((newline = pending.indexOf('\n')) >= 0) {
        const QByteArray line = pending.left(newline);
        pending.remove(0, newline + 1);
        if (line == "control-url")
            return Heard::Answer;
        if (line.size() > instance::longestLine || !act(line))
            return Heard::Refused;
        *tookLine = true;
    }
    return pending.size() > instance::longestLine ? Heard::Refused : Heard::More;
}

QByteArray SingleInstance::answer() const
{
    QByteArray line = m_controlAddress ? m_controlAddress().toUtf8() : QByteArray();
    line.removeIf([](char c) { return c == '\n' || c == '\r'; });
    return line + '\n';
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
