#pragma once

#include "platform/file_access.h"

/// FileAccess on the real file system; writes go through saveWhole().
class DiskFileAccess final : public FileAccess {
public:
    QString programFolder() const override;
    QString userSettingsFolder() const override;
    QString userStateFolder() const override;
    QString userDataFolder() const override;
    bool isWritable(const QString& path) const override;
    bool isOrdinaryFile(const QString& path) const override;
    std::optional<QByteArray> readOrdinaryFile(const QString& path, qint64 maxBytes) const override;
    WriteResult writeWhole(const QString& path, const QByteArray& bytes) override;
};
