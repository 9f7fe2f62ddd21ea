#pragma once

#include "platform/file_access.h"
#include "platform/file_writer.h"

#include <QHash>
#include <QSet>

/// Files held in memory; a write can be made to fail, leaving the old content whole. The program's folder and
/// the user's settings folder exist; every file and folder is writable until made read-only. As a FileWriter it
/// writes at once.
class FakeFileAccess final : public FileAccess, public FileWriter {
public:
    QString programFolder() const override { return m_folder; }
    QString userSettingsFolder() const override { return m_userFolder; }
    QString userStateFolder() const override { return QStringLiteral("/home/chair/.local/state/Lectern"); }
    QString userDataFolder() const override { return QStringLiteral("/home/chair/.local/share/Lectern"); }
    bool isWritable(const QString& path) const override
    {
        return !m_readOnly.contains(path) && (m_files.contains(path) || path == m_folder || path == m_userFolder);
    }
    bool isOrdinaryFile(const QString& path) const override { return m_files.contains(path); }
    std::optional<QByteArray> readOrdinaryFile(const QString& path, qint64 maxBytes) const override
    {
        const auto it = m_files.constFind(path);
        if (it == m_files.constEnd() || it->size() > maxBytes)
            return std::nullopt;
        return *it;
    }
    WriteResult writeWhole(const QString& path, const QByteArray& bytes) override
    {
        ++m_writes;
        if (!m_writeError.isEmpty())
            return {false, m_writeError};
        m_files.insert(path, bytes);
        return {true, {}};
    }

    void replaceWhole(const QString& path, const QByteArray& bytes) override { m_files.insert(path, bytes); }
    void appendLine(const QString& path, const LineComposer& compose, const QByteArray& header) override
    {
        QByteArray& file = m_files[path];
        file += (file.isEmpty() ? header : QByteArray()) + compose(file.right(4096));
    }
    void withdrawLastLine(const QString& path, const LineMatcher& matches) override
    {
        QByteArray& file = m_files[path];
        const qsizetype begins = file.lastIndexOf('\n', file.size() - 2) + 1;
        if (file.endsWith("\r\n") && begins > 0 && matches(file.mid(begins).chopped(2)))
            file.truncate(begins);
    }

    void setProgramFolder(const QString& folder) { m_folder = folder; }
    void setUserSettingsFolder(const QString& folder) { m_userFolder = folder; }
    void makeReadOnly(const QString& path) { m_readOnly.insert(path); }
    void put(const QString& path, const QByteArray& bytes) { m_files.insert(path, bytes); }
    std::optional<QByteArray> get(const QString& path) const
    {
        const auto it = m_files.constFind(path);
        return it == m_files.constEnd() ? std::nullopt : std::optional<QByteArray>(*it);
    }
    /// Every later write fails with this reason (an empty reason lets writes succeed again).
    void failWrites(const QString& reason) { m_writeError = reason; }
    int writes() const { return m_writes; }

private:
    QString m_folder = QStringLiteral("/opt/lectern");
    QString m_userFolder = QStringLiteral("/home/chair/.config/Lectern");
    QSet<QString> m_readOnly;
    QHash<QString, QByteArray> m_files;
    QString m_writeError;
    int m_writes = 0;
};
