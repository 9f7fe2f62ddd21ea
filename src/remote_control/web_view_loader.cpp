#include "remote_control/web_view_loader.h"

#include "build_info.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

using namespace Qt::StringLiterals;

QStringList moduleFolders()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    return {QDir::cleanPath(programFolder + u'/' + QString::fromUtf16(moduleFolderFromProgram)), programFolder};
}

StartWebView* loadWebView(const QStringList& folders, QString* why)
{
    *why = u"%1 が見つかりません"_s.arg(QString::fromLatin1(webViewModuleName));
    for (const QString& folder : folders) {
        const QString path = folder + u'/' + QString::fromLatin1(webViewModuleName);
        if (!QFileInfo(path).isFile())
            continue;
        // Never closed: the view's objects and Qt's records of its types live in it. Opening it again only counts.
        void* module = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* error = ::dlerror();
            *why = QString::fromLocal8Bit(error ? error : "dlopen");
            return nullptr;
        }
        auto* start = reinterpret_cast<StartWebView*>(::dlsym(module, startWebViewSymbol));
        if (!start)
            *why = u"%1 に %2 がありません"_s.arg(path, QString::fromLatin1(startWebViewSymbol));
        return start;
    }
    return nullptr;
}
