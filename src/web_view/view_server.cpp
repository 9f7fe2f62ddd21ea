#include "web_view/view_server.h"

#include "web_view/view_routes.h"
#include "web_view/viewer_feed.h"

#include <QCryptographicHash>
#include <QFile>

#include <civetweb.h>

#include <thread>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QByteArray resource(const QString& name)
{
    QFile file(u":/view/"_s + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

QByteArray hashSource(const QByteArray& text)
{
    return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64() + "'";
}

/// Servers on their way out: civetweb's stop waits for its threads, up to a couple of seconds for one in a read,
/// so it runs on a thread of its own. A start that finds its port taken waits for them, as it may be theirs, and so
/// does the end of the program.
class Stoppers {
public:
    ~Stoppers() { joinAll(); }
    void add(std::thread stopper)
    {
        std::lock_guard lock(m_mutex);
        m_threads.push_back(std::move(stopper));
    }
    void joinAll()
    {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(m_mutex);
            threads.swap(m_threads);
        }
        for (std::thread& thread : threads)
            thread.join();
    }

private:
    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
};

Stoppers& stoppers()
{
    static Stoppers instance;
    return instance;
}

} // namespace

ViewServer::ViewServer(ViewHost& host, QObject* parent) : QObject(parent), m_host(host)
{
    const QByteArray style = resource(u"view.css"_s);
    const QByteArray script = resource(u"view.js"_s);
    m_page = resource(u"view.html"_s).replace("@STYLE@", style).replace("@SCRIPT@", script);
    // Only the page's own style and script, and its own server to talk to; nothing from elsewhere.
    m_pagePolicy = "default-src 'none'; style-src " + hashSource(style) + "; script-src " + hashSource(script) +
                   "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'; connect-src 'self'";
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
    mg_init_library(0);
    auto core = std::make_shared<ViewCore>();
    core->limits = m_limits;
    core->token = m_token.toUtf8();
    core->page = m_page;
    core->pagePolicy = m_pagePolicy;
    core->state = m_host.state();
    core->receiver = this;
    core->host = &m_host;
    core->run = [this](const CountCommand& command) {
        run(command);
    };
    mg_callbacks callbacks{};
    setViewCallbacks(callbacks);
    // A thread a connection: every viewer, the other connections, and a few for the token's holder besides.
    const QByteArray threads = QByteArray::number(m_limits.viewers + m_limits.otherConnections + 4);
    const QByteArray timeout = QByteArray::number(m_limits.idleMs);
    // civetweb keeps a head of up to this; a larger one within it is answered 431 by the server's own count.
    const QByteArray headRoom = QByteArray::number(2 * m_limits.headBytes);
    for (int k = 0; k <= 16 && port + k <= 65535; ++k) {
        const QByteArray ports = QByteArray::number(port + k);
        // Each answer closes its connection, so no idle connection holds a thread between requests.
        const char* options[] = {"listening_ports", ports.constData(), "num_threads", threads.constData(),
                                 "request_timeout_ms", timeout.constData(), "enable_keep_alive", "no",
                                 "max_request_size", headRoom.constData(),
                                 // A viewer's thread looks up from its read this often, to see a stop or a drop.
                                 "websocket_timeout_ms", "500", nullptr};
        mg_context* context = mg_start(&callbacks, core.get(), options);
        if (!context) {
            // The port may still be held by a server stopped a moment ago: once it has ended, the port is tried again.
            stoppers().joinAll();
            context = mg_start(&callbacks, core.get(), options);
        }
        if (!context)
            continue;
        addViewerRoute(context, core.get());
        mg_server_port bound{};
        m_port = mg_get_server_ports(context, 1, &bound) == 1 ? quint16(bound.port) : quint16(port + k);
        m_context = context;
        m_core = std::move(core);
        m_heartbeat.start();
        return m_port;
    }
    return 0;
}

void ViewServer::stop()
{
    m_heartbeat.stop();
    if (!m_context)
        return;
    std::vector<std::shared_ptr<ViewerFeed>> viewers;
    {
        std::lock_guard lock(m_core->mutex);
        // No command is posted here any more, and no request waits for one.
        m_core->receiver = nullptr;
        m_core->commandDone.notify_all();
        viewers = m_core->viewers;
    }
    // Close frames first, so the pages know at once that the server went.
    for (const std::shared_ptr<ViewerFeed>& viewer : viewers)
        viewer->close();
    stoppers().add(std::thread([context = m_context, core = std::move(m_core)] { mg_stop(context); }));
    m_context = nullptr;
    m_port = 0;
}

void ViewServer::setToken(const QString& token)
{
    m_token = token;
    if (m_core) {
        std::lock_guard lock(m_core->mutex);
        m_core->token = token.toUtf8();
    }
}

int ViewServer::viewerCount() const
{
    if (!m_core)
        return 0;
    std::lock_guard lock(m_core->mutex);
    return int(m_core->viewers.size());
}

void ViewServer::setLimits(const Limits& limits)
{
    m_limits = limits;
    if (m_core) {
        std::lock_guard lock(m_core->mutex);
        m_core->limits = limits;
    }
}

void ViewServer::push()
{
    if (!m_core)
        return;
    const QByteArray state = m_host.state();
    std::lock_guard lock(m_core->mutex);
    m_core->state = state;
    // A viewer that is not taking what it is sent drops out of the list; its connection ends on its own thread.
    std::erase_if(m_core->viewers,
                  [&state](const std::shared_ptr<ViewerFeed>& viewer) { return !viewer->offer(state); });
}

void ViewServer::takeState()
{
    if (!m_core)
        return;
    const QByteArray state = m_host.state();
    std::lock_guard lock(m_core->mutex);
    m_core->state = state;
}

void ViewServer::run(const CountCommand& command)
{
    m_host.run(command);
    // The answer tells the state after the command.
    takeState();
}
