#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

/// One running count per settings file, so that two copies never overwrite each other's settings. The first
/// start holds a lock and listens; a later start finds the lock held, asks the holder to come to the front and
/// ends. A lock left by a killed process is recognised as stale and taken over.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    /// `key` names what one instance owns: the settings file's path.
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    /// True when this process holds the key now, or when no lock can be made at all (the program runs rather
    /// than not at all); false when another instance holds it and has been asked to come to the front.
    bool claim();

signals:
    /// A later start asked this instance to come to the front.
    void activationRequested();

private:
    void answer();

    QString m_base;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
