#include "remote_control/web_view_loader.h"

#include "platform/loadable_library.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

StartWebView* loadWebView(const QStringList& folders, QString* why)
{
    const QString fileName = QString::fromLatin1(loadable_library::webViewFile);
    *why = u"%1 が見つかりません"_s.arg(fileName);
    for (const QString& folder : folders) {
        const QString path = folder + u'/' + fileName;
        if (!QFileInfo(path).isFile())
            continue;
        // Never closed: the view's objects and Qt's records of its types live in it. Opening it again only counts.
        void* module = loadable_library::openPath(path, why);
        if (!module)
            return nullptr;
        QString missing;
        auto* start = reinterpret_cast<StartWebView*>(loadable_library::find(module, startWebViewSymbol, &missing));
        if (!start)
            *why = u"%1 に %2 がありません"_s.arg(path, QString::fromLatin1(startWebViewSymbol));
        return start;
    }
    return nullptr;
}
