#pragma once

#include <QDir>
#include <QString>

#include <string>

/// `path` as the wide-character Windows functions take it, with the system's separators.
inline std::wstring widePath(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}
