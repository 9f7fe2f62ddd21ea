#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <functional>

/// What the browser view asks of the program: the state it shows, and the chair's commands it passes on.
struct WebViewHooks {
    /// The state as one JSON object (see viewStateJson()), read at every push and every GET /api/state.
    std::function<QByteArray()> state;
    std::function<void()> restart;
    std::function<void()> pause;
    std::function<void(double seconds)> adjust;
    std::function<void()> skip;
    /// The chair closed the view's window, which asks for the view to stop.
    std::function<void()> windowClosed;
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
using StartWebView = WebView*(const WebViewHooks& hooks, quint16 port);
inline constexpr char startWebViewSymbol[] = "lectern_start_web_view";
inline constexpr char webViewModuleName[] = "liblectern_web_view.so";
