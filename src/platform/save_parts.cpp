#include "platform/save_parts.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace {

constexpr int randomLetters = 6;

QString savingPrefix(const QFileInfo& target)
{
    return u'.' + target.fileName() + u".saving-"_s;
}

} // namespace

QString saveFailureText(SaveFailure failure)
{
    switch (failure) {
    case SaveFailure::NoPermission:
        return u"書き込む権限がありません"_s;
    case SaveFailure::ReadOnlyFileSystem:
        return u"読み取り専用のファイルシステムです"_s;
    case SaveFailure::DiskFull:
        return u"ディスクの空き容量が足りません"_s;
    case SaveFailure::FolderInTheWay:
        return u"同じ名前のフォルダーがあります"_s;
    case SaveFailure::TooLarge:
        return u"ファイルが大きすぎます"_s;
    case SaveFailure::NotOrdinaryFile:
        return u"通常のファイルではありません"_s;
    }
    return {};
}

QString savingName(const QFileInfo& target)
{
    static constexpr char16_t letters[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString name = target.absoluteDir().filePath(savingPrefix(target));
    for (int i = 0; i < randomLetters; ++i)
        name += QChar(letters[QRandomGenerator::global()->bounded(int(std::size(letters)) - 1)]);
    return name;
}

void removeLeftovers(const QFileInfo& target)
{
    // Matched by hand: a name filter is a wildcard pattern, compiled to a regular expression on every call, which
    // keeps the regular expression engine and its compiled code resident for good from the first save on.
    const QDir folder = target.absoluteDir();
    const QString prefix = savingPrefix(target);
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (name.size() == prefix.size() + randomLetters && name.startsWith(prefix))
            QFile::remove(folder.filePath(name));
    }
}
