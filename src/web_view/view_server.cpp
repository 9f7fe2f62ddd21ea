#include "web_view/view_server.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>

#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

using Status = QHttpServerResponder::StatusCode;

QByteArray resource(const QString& name)
{
    QFile file(u":/view/"_s + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

QByteArray hashSource(const QByteArray& text)
{
    return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64() + "'";
}

// A refusal written before the HTTP server has the connection; nothing of the request is read.
void refuse(QTcpSocket* socket, const QByteArray& status)
{
    socket->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
}

/// What one connection has used: the bytes of the request under way and a deadline for it.
class ConnectionGuard final : public QObject {
public:
    explicit ConnectionGuard(QTcpSocket* socket) : QObject(socket) { setObjectName(name()); }
    static QString name() { return u"lectern-connection-guard"_s; }
    qint64 requestBytes = 0;
    bool viewer = false;
    QTimer deadline;
};

ConnectionGuard* guardOf(QTcpSocket* socket)
{
    // Found by name: the guard has no meta-object of its own to be told apart by.
    return socket ? static_cast<ConnectionGuard*>(
                        socket->findChild<QObject*>(ConnectionGuard::name(), Qt::FindDirectChildrenOnly))
                  : nullptr;
}

} // namespace

/// Makes the sockets, so every connection is counted and bounded before the HTTP server reads from it.
class ViewListener final : public QTcpServer {
public:
    explicit ViewListener(ViewServer& server) : QTcpServer(&server), m_server(server) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_server.admit(socket))
            addPendingConnection(socket);
    }

private:
    ViewServer& m_server;
};

ViewServer::ViewServer(std::function<QByteArray()> state, QObject* parent)
    : QAbstractHttpServer(parent), m_state(std::move(state))
{
    const QByteArray style = resource(u"view.css"_s);
    const QByteArray script = resource(u"view.js"_s);
    m_pageTemplate = resource(u"view.html"_s).replace("@STYLE@", style).replace("@SCRIPT@", script);
    // Only the page's own style and script, and its own server to talk to; nothing from elsewhere.
    m_pagePolicy = "default-src 'none'; style-src " + hashSource(style) + "; script-src " + hashSource(script) +
                   "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'; connect-src 'self'";

    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &ViewServer::takeViewers);
    m_heartbeat.setInterval(3000);
    connect(&m_heartbeat, &QTimer::timeout, this, &ViewServer::push);
}

ViewServer::~ViewServer()
{
    stop();
}

quint16 ViewServer::start(quint16 port)
{
    stop();
    for (int k = 0; k <= 16 && port + k <= 65535; ++k) {
        auto* listener = new ViewListener(*this);
        if (listener->listen(QHostAddress::Any, quint16(port + k))) {
            bind(listener);
            m_listener = listener;
            m_port = listener->serverPort();
            return m_port;
        }
        delete listener;
    }
    return 0;
}

void ViewServer::stop()
{
    m_heartbeat.stop();
    // The viewers go before the listener, which owns the connections under them; taken off the list first, so
    // their closing does not come back here.
    for (const Viewer& viewer : std::exchange(m_viewers, {})) {
        disconnect(viewer.socket, nullptr, this, nullptr);
        viewer.socket->abort();
        delete viewer.socket;
    }
    for (const QPointer<QTcpSocket>& socket : std::as_const(m_connections)) {
        if (socket)
            socket->abort();
    }
    m_connections.clear();
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
    }
    m_port = 0;
}

bool ViewServer::admit(QTcpSocket* socket)
{
    m_connections.removeAll(nullptr);
    const auto others = std::count_if(m_connections.cbegin(), m_connections.cend(),
                                      [](const QPointer<QTcpSocket>& s) { return !guardOf(s)->viewer; });
    if (others >= m_limits.otherConnections) {
        refuse(socket, "503 Service Unavailable");
        return false;
    }
    m_connections.append(socket);
    // Qt keeps no more of a request than this, however much is sent.
    const qint64 requestBound = m_limits.headBytes + m_limits.bodyBytes;
    socket->setReadBufferSize(requestBound + 1);
    auto* guard = new ConnectionGuard(socket);
    guard->deadline.setSingleShot(true);
    guard->deadline.setInterval(m_limits.idleMs);
    connect(&guard->deadline, &QTimer::timeout, socket, [socket, guard] {
        if (!guard->viewer)
            socket->abort();
    });
    guard->deadline.start();
    // Connected before the HTTP server's own reader, so it sees each piece of the request first; the server reads
    // all that has come at every turn.
    connect(socket, &QTcpSocket::readyRead, guard, [socket, guard, requestBound] {
        guard->requestBytes += socket->bytesAvailable();
        if (guard->requestBytes > requestBound) {
            // The HTTP server stops reading too; the connection ends once the refusal is out.
            QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
            socket->readAll();
            refuse(socket, "413 Content Too Large");
        }
    });
    return true;
}

void ViewServer::takeViewers()
{
    while (QWebSocket* socket = nextPendingWebSocketConnection().release()) {
        socket->setParent(this);
        // A viewer sends nothing; a frame or message of any size is no viewer's.
        socket->setMaxAllowedIncomingFrameSize(1024);
        socket->setMaxAllowedIncomingMessageSize(1024);
        if (viewerCount() >= m_limits.viewers || socket->requestUrl().path() != u"/socket"_s) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, u"full"_s);
            socket->deleteLater();
            continue;
        }
        // The connection under it, found by its ends, to see what the viewer has not taken yet.
        QPointer<QTcpSocket> transport;
        for (const QPointer<QTcpSocket>& tcp : std::as_const(m_connections)) {
            if (tcp && tcp->peerPort() == socket->peerPort() && tcp->peerAddress() == socket->peerAddress()) {
                transport = tcp;
                if (ConnectionGuard* guard = guardOf(tcp)) {
                    guard->viewer = true;
                    guard->deadline.stop();
                }
            }
        }
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { dropViewer(socket); });
        m_viewers.append({socket, transport});
        send(m_viewers.constLast(), QString::fromUtf8(stateJson()));
    }
    if (!m_viewers.isEmpty())
        m_heartbeat.start();
}

void ViewServer::dropViewer(QWebSocket* socket)
{
    for (qsizetype k = 0; k < m_viewers.size(); ++k) {
        if (m_viewers[k].socket == socket) {
            m_viewers.removeAt(k);
            socket->abort();
            socket->deleteLater();
            break;
        }
    }
    if (m_viewers.isEmpty())
        m_heartbeat.stop();
}

void ViewServer::send(const Viewer& viewer, const QString& message)
{
    // A viewer that has not taken what it was sent is dropped rather than sent more.
    if (!viewer.transport || viewer.transport->bytesToWrite() > m_limits.unsentBytes) {
        QMetaObject::invokeMethod(
            this, [this, socket = viewer.socket] { dropViewer(socket); }, Qt::QueuedConnection);
        return;
    }
    viewer.socket->sendTextMessage(message);
}

void ViewServer::push()
{
    if (m_viewers.isEmpty())
        return;
    const QString message = QString::fromUtf8(stateJson());
    for (const Viewer& viewer : std::as_const(m_viewers))
        send(viewer, message);
    m_heartbeat.start();
}

QByteArray ViewServer::stateJson() const
{
    return m_state();
}

bool ViewServer::tokenMatches(const QHttpServerRequest& request) const
{
    QByteArray given = request.value("X-Lectern-Token");
    if (given.isEmpty())
        given = request.query().queryItemValue(u"token"_s).toUtf8();
    const QByteArray token = m_token.toUtf8();
    if (given.size() != token.size())
        return false;
    // Compared whole, so the time taken tells nothing of how much was right.
    int difference = 0;
    for (qsizetype k = 0; k < token.size(); ++k)
        difference |= given[k] ^ token[k];
    return difference == 0;
}

bool ViewServer::runCommand(const QString& name, const QHttpServerRequest& request, QTcpSocket* socket)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    const QHttpServerResponder::HeaderList plain{{"Content-Type", "text/plain; charset=utf-8"},
                                                 {"Cache-Control", "no-store"}};
    if (m_token.isEmpty()) {
        responder.write("the control token is not read yet; try again\n", plain, Status::ServiceUnavailable);
        return true;
    }
    if (!tokenMatches(request)) {
        responder.write("the token is missing or wrong\n", plain, Status::Forbidden);
        return true;
    }
    if (name == u"check"_s) {
        responder.write(QByteArray(), plain, Status::NoContent);
        return true;
    }
    if (name == u"restart"_s) {
        emit restartRequested();
    } else if (name == u"pause"_s) {
        emit pauseRequested();
    } else if (name == u"skip"_s) {
        emit skipRequested();
    } else {
        // Seconds in the query (?seconds=-10), as a bare number in the body, or as {"seconds": -10}.
        QString given = request.query().queryItemValue(u"seconds"_s);
        if (given.isEmpty()) {
            const QByteArray body = request.body().trimmed();
            const QJsonDocument json = QJsonDocument::fromJson(body);
            given = json.isObject() ? QString::number(json.object().value(u"seconds"_s).toDouble(qQNaN()))
                                    : QString::fromUtf8(body);
        }
        bool ok = false;
        const double seconds = given.toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || std::abs(seconds) > 3600.0) {
            responder.write("seconds: a number from -3600 to 3600\n", plain, Status::BadRequest);
            return true;
        }
        emit adjustRequested(seconds);
    }
    responder.write(stateJson(), {{"Content-Type", "application/json"}, {"Cache-Control", "no-store"}});
    return true;
}

bool ViewServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (ConnectionGuard* guard = guardOf(socket)) {
        guard->requestBytes = 0;
        guard->deadline.start();
    }
    QHttpServerResponder responder = makeResponder(request, socket);
    const QHttpServerResponder::HeaderList plain{{"Content-Type", "text/plain; charset=utf-8"},
                                                 {"Cache-Control", "no-store"}};
    qint64 headBytes = request.url().toEncoded().size();
    for (const auto& [name, value] : request.headers())
        headBytes += name.size() + value.size() + 4;
    if (headBytes > m_limits.headBytes) {
        responder.write("request head too large\n", plain, Status::RequestHeaderFieldsTooLarge);
        return true;
    }
    if (request.body().size() > m_limits.bodyBytes) {
        responder.write("request body too large\n", plain, Status::PayloadTooLarge);
        return true;
    }

    const QString path = request.url().path();
    // The HTTP server asks before it hands a connection to the WebSocket server: true takes the viewer in,
    // unanswered; false, after an answer here, closes it.
    if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0) {
        if (path == u"/socket"_s && viewerCount() < m_limits.viewers)
            return true;
        responder.write("too many viewers, or no viewer's address\n", plain, Status::ServiceUnavailable);
        m_answered = true;
        return false;
    }
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    static const QStringList commands{u"restart"_s, u"pause"_s, u"adjust"_s, u"skip"_s, u"check"_s};
    if (path == u"/"_s && get) {
        if (viewerCount() >= m_limits.viewers) {
            responder.write("too many viewers; try again later\n", plain, Status::ServiceUnavailable);
            return true;
        }
        // Browsers that do not count ws: as 'self' are given the page's own server by name, when the name is one.
        static const QRegularExpression hostName(u"^[A-Za-z0-9.:\\[\\]-]{1,255}$"_s);
        const QByteArray host = request.value("host");
        const QByteArray policy =
            hostName.match(QString::fromLatin1(host)).hasMatch() ? m_pagePolicy + " ws://" + host : m_pagePolicy;
        responder.write(m_pageTemplate, {{"Content-Type", "text/html; charset=utf-8"},
                                         {"Content-Security-Policy", policy},
                                         {"Cache-Control", "no-store"},
                                         {"X-Content-Type-Options", "nosniff"},
                                         {"Referrer-Policy", "no-referrer"}});
        return true;
    }
    if (path == u"/api/state"_s && get) {
        // Any page may read the state (a stage display, an overlay); only the token's holder may command.
        responder.write(stateJson(), {{"Content-Type", "application/json"},
                                      {"Cache-Control", "no-store"},
                                      {"Access-Control-Allow-Origin", "*"}});
        return true;
    }
    if (path.startsWith(u"/api/"_s) && commands.contains(path.mid(5))) {
        if (post)
            return runCommand(path.mid(5), request, socket);
        responder.write("use POST\n", plain, Status::MethodNotAllowed);
        return true;
    }
    return false;
}

void ViewServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (std::exchange(m_answered, false))
        return;
    makeResponder(request, socket)
        .write("not found\n", {{"Content-Type", "text/plain; charset=utf-8"}}, Status::NotFound);
}
