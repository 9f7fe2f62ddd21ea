#include "app/quit_on_signals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QSemaphore>

#include <memory>
#include <mutex>
#include <utility>

#include "platform/windows/windows_api.h"

namespace {

// How long the console's handler waits for the program to close: Windows ends the process five seconds after the
// console was closed, handler or not.
constexpr int closingWait = 4000;

// The object the console's handler, on a thread of the system's, hands over to; null when there is none.
std::mutex ownerMutex;
QuitOnSignals* owner = nullptr;

// Closes the program on the user-interface thread: at once for Ctrl+C and Ctrl+Break, which leave the process
// alone; for the console closed (or the session ended), waits until the program has closed, since the process ends
// as soon as this returns.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    const bool endsProcess = event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
    const auto closed = std::make_shared<QSemaphore>();
    {
        const std::lock_guard lock(ownerMutex);
        if (!owner)
            return FALSE;
        QuitOnSignals* const target = owner;
        QMetaObject::invokeMethod(
            target,
            [target, event, endsProcess, closed] {
                emit target->received(int(event));
                if (endsProcess)
                    emit target->endingNow();
                closed->release();
            },
            Qt::QueuedConnection);
    }
    if (endsProcess)
        closed->tryAcquire(1, closingWait);
    return TRUE;
}

} // namespace

/// The console's handler and the filter of the windows' messages that hears the session end. Windows ends the
/// process once every window has answered WM_ENDSESSION, so the program closes while that is answered.
struct QuitOnSignals::Catcher final : QAbstractNativeEventFilter {
    explicit Catcher(QuitOnSignals& quit) : m_quit(quit) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        // Sent to every top-level window, the hidden ones of Qt as well: the program closes once.
        if (msg->message == WM_ENDSESSION && msg->wParam && !std::exchange(m_ended, true)) {
            emit m_quit.received(WM_ENDSESSION);
            emit m_quit.endingNow();
        }
        // Qt answers it as well.
        return false;
    }

    QuitOnSignals& m_quit;
    bool m_ended = false;
};

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent), m_catcher(std::make_unique<Catcher>(*this))
{
    {
        const std::lock_guard lock(ownerMutex);
        owner = this;
    }
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installNativeEventFilter(m_catcher.get());
}

QuitOnSignals::~QuitOnSignals()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(m_catcher.get());
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    const std::lock_guard lock(ownerMutex);
    owner = nullptr;
}
