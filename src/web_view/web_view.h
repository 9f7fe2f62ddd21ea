#pragma once

#include "timing/count_command.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <optional>

/// What the browser view asks of the program, which implements it: the state the view shows, and the chair's
/// commands, in the count's own vocabulary. The view reads no more of the program than this.
class ViewHost {
public:
    /// The state as one JSON object (see viewStateJson()), read on the interface thread at the start, at every
    /// push and after every command.
    virtual QByteArray state() const = 0;
    /// The command `name` with its argument (an adjustment's seconds as given, else empty); nothing when the name
    /// or the argument is wrong. Called on the server's own threads: it reads nothing that changes.
    virtual std::optional<CountCommand> parse(QByteArrayView name, QByteArrayView argument) const = 0;
    /// Runs a command parse() gave, on the interface thread.
    virtual void run(const CountCommand& command) = 0;
    /// The chair closed the view's window, which asks for the view to stop.
    virtual void viewClosed() = 0;

protected:
    ~ViewHost() = default;
};

/// Where the browser view keeps its token and sends its keys.
struct ViewSetup {
    /// Where the commands' token is kept between starts (the file is the user's only); empty: a new token at each
    /// start, kept nowhere.
    QString tokenPath;
    /// Where a key pressed on the view's windows goes: the main window, which gives it its meaning.
    QObject* keyTarget = nullptr;
};

/// How much one connection to the browser view may cost.
struct ViewLimits {
    /// Open WebSocket viewers; the page asked for beyond them gets 503.
    int viewers = 64;
    /// Requests under way beyond the viewers (page loads, API calls): the next one gets 503 unless it carries the
    /// token. A thread is kept for each viewer and each of these, and a few more for the token's holder.
    int otherConnections = 64;
    /// Requests under way from one client address, which may not take everyone's place: the next gets 503 unless
    /// it carries the token.
    int perAddress = 8;
    /// The request line and headers, and the body, each.
    qint64 headBytes = 4096;
    qint64 bodyBytes = 4096;
    /// Data sent to a viewer that it has not taken yet; past it the viewer is dropped.
    qint64 unsentBytes = 64 * 1024;
    /// A connection with no whole request for this long is closed (viewers excepted). Set at start.
    int idleMs = 10000;
};

/// The browser view while it runs: its server and the chair's window with the addresses. Deleting it stops the
/// server, closes every connection and the window.
class WebView {
public:
    virtual ~WebView() = default;
    virtual quint16 port() const = 0;
    /// The commands' token; empty until it is read from its file, a matter of milliseconds.
    virtual QString token() const = 0;
    /// The control address as the control window shows it: the view's first address with the token after
    /// '#control='; empty while the token is.
    virtual QString controlUrl() const = 0;
    virtual int viewerCount() const = 0;
    virtual void setLimits(const ViewLimits& limits) = 0;
    /// Sends the state to every viewer: the rows or the count's state changed.
    virtual void push() = 0;
};

/// The browser view lives in a module of its own (it brings its web server, civetweb, Qt's network library and the
/// QR encoder), loaded when the chair first asks for the view. Its one entry starts the server at `port` or the
/// first free one of the 16 above, and shows the window, without taking the keyboard; null when no port was free.
using StartWebView = WebView*(ViewHost& host, const ViewSetup& setup, quint16 port);
inline constexpr char startWebViewSymbol[] = "lectern_start_web_view";
