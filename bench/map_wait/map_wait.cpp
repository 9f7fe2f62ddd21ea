// Starts a program and prints the seconds from its start to the first window mapped on the X server's screen,
// then ends it (SIGTERM, SIGKILL after five seconds). The mapping is taken from the X server's own event, not by
// asking for the program's windows every few milliseconds, whose steps are as long as the start-ups being set
// side by side. Nothing else may map a window meanwhile.
//
// With --request the program is a request to a program already running (xdotool key s): the seconds run from
// the request's start to the first window mapped after it, and the request is left to end on its own.
//
// Usage: map_wait [--request] PROGRAM [ARGUMENT...]   (the program's output goes to this program's stderr)
// Exit status 0, or 1 when no window came within 30 s, 2 on a failure to run.

#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

void end(pid_t child)
{
    ::kill(child, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (::waitpid(child, nullptr, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    const bool request = argc > 1 && std::strcmp(argv[1], "--request") == 0;
    if (request) {
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: map_wait [--request] PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "map_wait: no X display\n");
        return 2;
    }
    // Top-level windows (or a window manager's frames around them) are the root window's children.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child < 0)
        return 2;
    if (child == 0) {
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        ::execvp(argv[1], argv + 1);
        std::perror("map_wait: exec");
        ::_exit(127);
    }

    const auto deadline = start + std::chrono::seconds(30);
    bool mapped = false;
    bool running = true;
    while (!mapped && Clock::now() < deadline) {
        while (!mapped && XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            mapped = event.type == MapNotify;
        }
        if (mapped)
            break;
        if (running && ::waitpid(child, nullptr, WNOHANG) == child) {
            running = false;
            // A request ends once it is made; what it asked for may come later.
            if (!request) {
                std::fprintf(stderr, "map_wait: %s ended before it showed a window\n", argv[1]);
                return 1;
            }
        }
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        ::poll(&connection, 1, 100);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (running && !request)
        end(child);
    else if (running)
        ::waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    if (!mapped) {
        std::fprintf(stderr, "map_wait: no window within 30 s\n");
        return 1;
    }
    std::printf("%.4f\n", seconds);
    return 0;
}
