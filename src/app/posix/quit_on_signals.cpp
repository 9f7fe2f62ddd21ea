#include "app/quit_on_signals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array handledSignals{SIGTERM, SIGINT, SIGHUP};
int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the number goes through the pipe to the event loop.
void forwardSignal(int signal)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
    errno = savedErrno;
}

} // namespace

/// The reading end of the signals' socket pair, watched by the event loop. The process is never ended behind the
/// program's back here, so endingNow() is not emitted.
struct QuitOnSignals::Catcher {
    QSocketNotifier* notifier = nullptr;
};

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent), m_catcher(std::make_unique<Catcher>())
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    m_catcher->notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_catcher->notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char number = 0;
        while (::read(signalPipe[0], &number, 1) == 1)
            emit received(number);
    });
    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : handledSignals)
        ::sigaction(signal, &action, nullptr);
}

QuitOnSignals::~QuitOnSignals()
{
    for (const int signal : handledSignals)
        std::signal(signal, SIG_DFL);
    delete m_catcher->notifier;
    for (int& fd : signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
