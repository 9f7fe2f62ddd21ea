#pragma once

#include <QObject>
#include <QString>

#include <optional>

/// A new token for the chair's commands: 32 hexadecimal digits from the system's random source.
QString newControlToken();

/// The token kept in the file at `path`: nothing when there is no such file, or it holds anything but one token
/// (a line ending after it is allowed).
std::optional<QString> readControlToken(const QString& path);

/// Replaces the file at `path` whole with `token`, readable and writable by its owner only, making its folder when
/// missing. False, with the reason logged under lectern.files, when it could not.
bool writeControlToken(const QString& path, const QString& token);

/// The token of the chair's commands, the same across restarts of the view and of the program when it is kept in a
/// file: the file is read, and written, on a thread of the view's own, so a slow or hung folder never holds up
/// the window or the count. Until the file has been read the token is empty (no command is taken).
class ControlToken final : public QObject {
    Q_OBJECT
public:
    /// `path` empty: a new token at once, kept nowhere.
    explicit ControlToken(const QString& path, QObject* parent = nullptr);

    QString value() const { return m_value; }
    /// A new token, in force at once; the file is rewritten behind it.
    void renew();

signals:
    /// The token was read from the file, made, or renewed.
    void changed(const QString& token);

private:
    void take(quint64 request, const QString& token);

    const QString m_path;
    QString m_value;
    // The read this object still waits for; 0 once answered or overtaken by a renewal.
    quint64 m_pendingRead = 0;
};
