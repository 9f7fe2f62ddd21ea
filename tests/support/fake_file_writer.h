#pragma once

#include "platform/file_writer.h"

#include <QHash>
#include <QList>

/// Writes at once, in memory: the latest content of each replaced file and every line appended.
class FakeFileWriter final : public FileWriter {
public:
    void replaceWhole(const QString& path, const QByteArray& bytes) override { m_files.insert(path, bytes); }
    void appendLine(const QString& path, const QByteArray& line, const QByteArray&) override
    {
        m_lines[path].append(line);
    }

    QByteArray file(const QString& path) const { return m_files.value(path); }
    QList<QByteArray> lines(const QString& path) const { return m_lines.value(path); }

private:
    QHash<QString, QByteArray> m_files;
    QHash<QString, QList<QByteArray>> m_lines;
};
