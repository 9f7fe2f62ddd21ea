#pragma once

#include "platform/file_access.h"

/// FileAccess on the real file system; writes go through QSaveFile.
class DiskFileAccess final : public FileAccess {
public:
    QString programFolder() const override;
    std::optional<QByteArray> readOrdinaryFile(const QString& path, qint64 maxBytes) const override;
    WriteResult writeWhole(const QString& path, const QByteArray& bytes) override;
};
