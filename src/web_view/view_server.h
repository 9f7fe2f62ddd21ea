#pragma once

#include "web_view/web_view.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class QTcpSocket;
class QWebSocket;
class ViewListener;

/// The browser view's server: the page at /, the rows pushed to it over a WebSocket at /socket whenever they
/// change, the state at GET /api/state, and the chair's commands at POST /api/restart, pause, adjust and skip for
/// whoever holds the token it is given (POST /api/check answers 204 to the token's holder and nothing else, for the
/// page to know its token before a command fails). It only reads the state it is given; the commands leave
/// as signals. Nothing here waits: a viewer that does not take what it is sent is dropped, a request too large or
/// too slow is cut off, and what one connection may cost is bounded (see Limits).
class ViewServer final : public QAbstractHttpServer {
    Q_OBJECT
public:
    using Limits = ViewLimits;

    /// `state` gives the state as JSON whenever it is sent or asked for.
    explicit ViewServer(std::function<QByteArray()> state, QObject* parent = nullptr);
    ~ViewServer() override;

    /// Listens on every interface at `port`, or at the first free port of the 16 above it. Returns the port, or 0
    /// when none was free.
    quint16 start(quint16 port);
    /// Closes the listener and every connection, a viewer's as well.
    void stop();
    quint16 port() const { return m_port; }
    /// The commands' token; while it is empty no command is taken.
    QString token() const { return m_token; }
    /// Replaces the token: the one before is refused from the next request on.
    void setToken(const QString& token) { m_token = token; }
    int viewerCount() const { return int(m_viewers.size()); }
    void setLimits(const Limits& limits) { m_limits = limits; }

public slots:
    /// Sends the state to every viewer; called when the rows or the count's state changed.
    void push();

signals:
    void restartRequested();
    void pauseRequested();
    void adjustRequested(double seconds);
    void skipRequested();

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    friend class ViewListener;
    struct Viewer {
        QWebSocket* socket;
        QPointer<QTcpSocket> transport;
    };

    /// A new connection: refused with 503 past the bound, else watched for size and time.
    bool admit(QTcpSocket* socket);
    void takeViewers();
    void dropViewer(QWebSocket* socket);
    void send(const Viewer& viewer, const QString& message);
    QByteArray stateJson() const;
    bool tokenMatches(const QHttpServerRequest& request) const;
    bool runCommand(const QString& name, const QHttpServerRequest& request, QTcpSocket* socket);

    const std::function<QByteArray()> m_state;
    Limits m_limits;
    QString m_token;
    quint16 m_port = 0;
    QPointer<ViewListener> m_listener;
    QList<QPointer<QTcpSocket>> m_connections;
    QList<Viewer> m_viewers;
    QByteArray m_pageTemplate;
    QByteArray m_pagePolicy;
    // handleRequest() answered a refused upgrade, which the HTTP server then passes to missingHandler().
    bool m_answered = false;
    // Resends the state when nothing was sent for a while, so a page can tell a live server from a dead link.
    QTimer m_heartbeat;
};
