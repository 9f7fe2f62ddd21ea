#include "web_view/control_token.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QThread>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The program's own category for files that cannot be read or written as it needs; the module has its own copy.
Q_LOGGING_CATEGORY(lcTokenFiles, "lectern.files", QtWarningMsg)

constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;

/// Reads and writes the tokens' files one after another, in the order asked, on a thread that lasts as long as the
/// process (the module is never unloaded): a write asked for before a read is done before it, and a hung folder
/// holds up nothing but this thread.
class TokenFiles final : public QObject {
    Q_OBJECT
public:
    static TokenFiles& instance()
    {
        static TokenFiles* const files = [] {
            // Never ended nor deleted: a QThread deleted while it runs ends the process.
            static QThread* const thread = new QThread;
            thread->setObjectName(u"lectern-control-token"_s);
            auto* worker = new TokenFiles;
            worker->moveToThread(thread);
            thread->start();
            return worker;
        }();
        return *files;
    }

    void load(quint64 request, const QString& path)
    {
        QMetaObject::invokeMethod(this, [this, request, path] {
            std::optional<QString> token = readControlToken(path);
            if (token) {
                // A file others may read was not written by this program; it is the owner's again.
                if (QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther))
                    QFile::setPermissions(path, ownerOnly);
            } else {
                token = newControlToken();
                writeControlToken(path, *token);
            }
            emit loaded(request, *token);
        });
    }

    void store(const QString& path, const QString& token)
    {
        QMetaObject::invokeMethod(this, [path, token] { writeControlToken(path, token); });
    }

signals:
    void loaded(quint64 request, const QString& token);
};

} // namespace

QString newControlToken()
{
    QRandomGenerator* random = QRandomGenerator::system();
    QString token;
    for (int k = 0; k < 4; ++k)
        token += u"%1"_s.arg(random->generate(), 8, 16, QChar(u'0'));
    return token;
}

std::optional<QString> readControlToken(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // 32 lower-case hexadecimal digits, then at most CR LF or LF. (Checked by hand: a pattern would bring PCRE2's JIT
    // and its stack per thread, freed by a thread_local destructor that MinGW builds have been seen to crash in.)
    const QByteArray text = file.read(64);
    const QByteArrayView end = QByteArrayView(text).sliced(std::min<qsizetype>(text.size(), 32));
    const bool digits = text.size() >= 32 && std::all_of(text.begin(), text.begin() + 32, [](char c) {
                            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                        });
    if (!digits || !(end.isEmpty() || end == "\n" || end == "\r\n" || end == "\r"))
        return std::nullopt;
    return QString::fromLatin1(text.left(32));
}

bool writeControlToken(const QString& path, const QString& token)
{
    // On Windows a reader of the old file (a virus scanner, an indexer) holds off its replacement for a moment: tried
    // again for a tenth of a second, on the tokens' own thread.
    QString error;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (attempt > 0)
            QThread::msleep(20);
        QSaveFile file(path);
        // The permissions are set on the new file before the token is in it, so no one else ever reads it.
        if (QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
            file.setPermissions(ownerOnly) && file.write(token.toLatin1() + '\n') == token.size() + 1 && file.commit())
            return true;
        error = file.errorString();
    }
    qCWarning(lcTokenFiles, "cannot keep the control token in %s: %s", qUtf8Printable(path), qUtf8Printable(error));
    return false;
}

ControlToken::ControlToken(const QString& path, QObject* parent) : QObject(parent), m_path(path)
{
    if (m_path.isEmpty()) {
        m_value = newControlToken();
        return;
    }
    static quint64 lastRequest = 0;
    m_pendingRead = ++lastRequest;
    connect(&TokenFiles::instance(), &TokenFiles::loaded, this, &ControlToken::take);
    TokenFiles::instance().load(m_pendingRead, m_path);
}

void ControlToken::renew()
{
    m_pendingRead = 0;
    m_value = newControlToken();
    if (!m_path.isEmpty())
        TokenFiles::instance().store(m_path, m_value);
    emit changed(m_value);
}

void ControlToken::take(quint64 request, const QString& token)
{
    if (request == 0 || request != m_pendingRead)
        return;
    m_pendingRead = 0;
    m_value = token;
    emit changed(m_value);
}

#include "control_token.moc"
