#pragma once

#include "web_view/web_view.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

struct mg_context;
struct ViewCore;

/// The browser view's server, on civetweb: the page at /, the rows pushed to it over a WebSocket at /socket whenever
/// they change, the state at GET /api/state, and the chair's commands at POST /api/NAME, for each name of the count's
/// commands, for whoever holds the token it is given (POST /api/check answers 204 to the token's holder and nothing
/// else, for the page to know its token before a command fails). civetweb answers on threads of its own, which read the
/// state last pushed and post the commands to this object's thread, where the host runs them; nothing here waits for a
/// client. A viewer that does not take what it is sent is dropped, a request too large or too slow is cut off, one
/// client address cannot take every place, and the token's holder is never turned away for want of one (see
/// ViewLimits).
class ViewServer final : public QObject {
    Q_OBJECT
public:
    using Limits = ViewLimits;

    /// `host` gives the state and takes the commands; it must outlive the server.
    explicit ViewServer(ViewHost& host, QObject* parent = nullptr);
    ~ViewServer() override;

    /// Listens on every IPv4 interface at `port`, or at the first free port of the 16 above it (0: any free port).
    /// Returns the port, or 0 when none was free.
    quint16 start(quint16 port);
    /// Stops listening and closes every connection, a viewer's as well; civetweb's threads end behind it.
    void stop();
    quint16 port() const { return m_port; }
    /// The commands' token; while it is empty no command is taken.
    QString token() const { return m_token; }
    /// Replaces the token: the one before is refused from the next request on.
    void setToken(const QString& token);
    int viewerCount() const;
    /// The bounds of the next request and viewer; how many connections civetweb serves at once is set at start.
    void setLimits(const Limits& limits);

public slots:
    /// Sends the state to every viewer; called when the rows or the count's state changed.
    void push();

private:
    void run(const CountCommand& command);
    void takeState();

    ViewHost& m_host;
    Limits m_limits;
    QString m_token;
    quint16 m_port = 0;
    QByteArray m_page;
    QByteArray m_pagePolicy;
    std::shared_ptr<ViewCore> m_core;
    mg_context* m_context = nullptr;
    // Resends the state when nothing was sent for a while, so a page can tell a live server from a dead link.
    QTimer m_heartbeat;
};
