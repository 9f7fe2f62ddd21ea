#include "app/display.h"

#include "app/system_start.h"
#include "remote_control/message_language.h"

#include <QByteArray>
#include <QList>

#include <cstdio>
#include <cstdlib>

namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray file;
    int line;
    QByteArray function;
    QByteArray category;
    QString text;
};

QList<HeldMessage> heldMessages;

QString reasonForNoDisplay(const QString& fatalText)
{
    if (const QString missing = missingDisplayReason(); !missing.isEmpty())
        return missing;
    // The platform plugin says what went wrong before the general failure ("could not connect to display :5").
    for (const HeldMessage& held : std::as_const(heldMessages)) {
        if (held.category.startsWith("qt.qpa"))
            return held.text;
    }
    return fatalText.section(u'\n', 0, 0);
}

// Holds the messages of the window system's start, so that a failure gives one line and not Qt's several.
void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        const QString reason = reasonForNoDisplay(text);
        sayOnStderr(QStringLiteral("ディスプレイを開けません: ") + reason,
                    QStringLiteral("cannot open a display: ") + reason);
        std::fflush(stderr);
        std::_Exit(1);
    }
    heldMessages.append({type, context.file, context.line, context.function, context.category, text});
}

} // namespace

std::unique_ptr<QApplication> openDisplay(int& argc, char* argv[])
{
    chooseWindowSystem();
    const QtMessageHandler previous = qInstallMessageHandler(holdMessage);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    // The start went well: whatever it had to say is passed on as usual.
    for (const HeldMessage& held : std::as_const(heldMessages)) {
        const QMessageLogContext context(held.file.constData(), held.line, held.function.constData(),
                                         held.category.constData());
        qt_message_output(held.type, context, held.text);
    }
    heldMessages.clear();
    return app;
}
