#include "web_view/view_routes.h"

#include "web_view/viewer_feed.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QLocale>

#include <civetweb.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

/// What the server knows of one connection: its client once a request came, and whether it is a viewer.
struct ConnectionNote {
    std::string address;
    // Counted among the requests under way of its address.
    bool counted = false;
    // Holds one of the viewers' places, from its upgrade on.
    bool viewer = false;
    std::shared_ptr<ViewerFeed> feed;
};

ViewCore& coreOf(const mg_connection* connection)
{
    return *static_cast<ViewCore*>(mg_get_user_data(mg_get_context(connection)));
}

ConnectionNote* noteOf(const mg_connection* connection)
{
    return static_cast<ConnectionNote*>(mg_get_user_connection_data(connection));
}

using Headers = std::initializer_list<std::pair<const char*, QByteArray>>;
using HeaderList = QList<std::pair<const char*, QByteArray>>;

// Writes the answer whole: its headers, its length and, unless the request was HEAD, its body.
int answer(mg_connection* connection, int status, const QByteArray& body, const HeaderList& headers)
{
    mg_response_header_start(connection, status);
    for (const auto& [name, value] : headers)
        mg_response_header_add(connection, name, value.constData(), int(value.size()));
    mg_response_header_add(connection, "Content-Length", QByteArray::number(body.size()).constData(), -1);
    mg_response_header_send(connection);
    if (std::strcmp(mg_get_request_info(connection)->request_method, "HEAD") != 0)
        mg_write(connection, body.constData(), size_t(body.size()));
    return status;
}

int plain(mg_connection* connection, int status, const QByteArray& text, Headers more = {})
{
    HeaderList headers{{"Content-Type", "text/plain; charset=utf-8"}, {"Cache-Control", "no-store"}};
    headers.append(HeaderList(more.begin(), more.end()));
    return answer(connection, status, text, headers);
}

int json(mg_connection* connection, const QByteArray& state, Headers more = {})
{
    HeaderList headers{{"Content-Type", "application/json"}, {"Cache-Control", "no-store"}};
    headers.append(HeaderList(more.begin(), more.end()));
    return answer(connection, 200, state, headers);
}

// An upgrade refused. civetweb has marked the connection a WebSocket's already and writes no answer head for it,
// so the head is written here, whole. The length is an int: civetweb formats with the C library's printf, which
// on Windows knows no %zu.
int refuseUpgrade(mg_connection* connection, int status, const char* text)
{
    mg_printf(connection,
              "HTTP/1.1 %d %s\r\nContent-Type: text/plain; charset=utf-8\r\nCache-Control: no-store\r\n"
              "Content-Length: %d\r\nConnection: close\r\n\r\n%s",
              status, mg_get_response_code_text(connection, status), int(std::strlen(text)), text);
    return status;
}

// The request line and headers as sent, give or take the spaces around a header's colon and the percent signs of
// the path (civetweb keeps no more than twice the bound of them at all).
qint64 headSize(const mg_request_info& request)
{
    const auto length = [](const char* text) {
        return text ? qint64(std::strlen(text)) : 0;
    };
    qint64 size =
        length(request.request_method) + 1 + length(request.request_uri) + 1 + 5 + length(request.http_version) + 2 + 2;
    if (request.query_string)
        size += 1 + length(request.query_string);
    for (int k = 0; k < request.num_headers; ++k)
        size += length(request.http_headers[k].name) + 2 + length(request.http_headers[k].value) + 2;
    return size;
}

// The command of that name in the count's table; null for a name it does not hold.
const CountCommandSpelling* spellingOf(const QByteArray& name)
{
    const auto found = std::find_if(countCommandSpellings.cbegin(), countCommandSpellings.cend(),
                                    [&name](const CountCommandSpelling& s) { return name == s.text; });
    return found == countCommandSpellings.cend() ? nullptr : &*found;
}

QByteArray queryValue(const char* query, const char* name)
{
    if (!query)
        return {};
    char value[256];
    const int size = mg_get_var(query, std::strlen(query), name, value, sizeof value);
    return size > 0 ? QByteArray(value, size) : QByteArray();
}

// A host a browser may be told to open its WebSocket to: a name, an IPv4 address or a bracketed IPv6 one, a port.
bool plainHost(const QByteArray& host)
{
    return !host.isEmpty() && host.size() <= 255 && std::all_of(host.cbegin(), host.cend(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::strchr(".:[]-", c) != nullptr;
    });
}

// The body, when it is within the bound: at most one byte more is read to know.
std::optional<QByteArray> readBody(mg_connection* connection, qint64 bound)
{
    QByteArray body(bound + 1, Qt::Uninitialized);
    qint64 size = 0;
    while (size <= bound) {
        const int got = mg_read(connection, body.data() + size, size_t(bound + 1 - size));
        if (got <= 0)
            break;
        size += got;
    }
    if (size > bound)
        return std::nullopt;
    body.truncate(size);
    return body;
}

int runCommand(mg_connection* connection, ViewCore& core, const QByteArray& name, bool rightToken)
{
    const mg_request_info& request = *mg_get_request_info(connection);
    std::unique_lock lock(core.mutex);
    if (core.token.isEmpty())
        return lock.unlock(), plain(connection, 503, "the control token is not read yet; try again\n");
    const qint64 bodyBound = core.limits.bodyBytes;
    lock.unlock();
    if (!rightToken)
        return plain(connection, 403, "the token is missing or wrong\n");
    if (name == "check")
        return answer(connection, 204, {}, {{"Cache-Control", "no-store"}});
    const std::optional<QByteArray> body = readBody(connection, bodyBound);
    if (!body)
        return plain(connection, 413, "request body too large\n");
    const CountCommandSpelling& spelling = *spellingOf(name);
    const QByteArray seconds =
        spelling.takesSeconds
            ? givenSeconds(request.query_string ? QByteArray(request.query_string) : QByteArray(), *body)
            : QByteArray();

    lock.lock();
    if (!core.receiver)
        return lock.unlock(), plain(connection, 503, "the view is stopping\n");
    const std::optional<CountCommand> command = core.host->parse(name, seconds);
    if (!command)
        return lock.unlock(), plain(connection, 400, "seconds: a number from -86400 to 86400\n");
    const quint64 ticket = ++core.posted;
    ViewCore* shared = &core;
    // The command runs on the interface thread; the answer waits for the state after it, a second at most, and
    // otherwise tells the state as it stands.
    QMetaObject::invokeMethod(
        core.receiver,
        [shared, command = *command, ticket] {
            shared->run(command);
            std::lock_guard done(shared->mutex);
            shared->done = std::max(shared->done, ticket);
            shared->commandDone.notify_all();
        },
        Qt::QueuedConnection);
    core.commandDone.wait_for(lock, std::chrono::seconds(1),
                              [&core, ticket] { return core.done >= ticket || !core.receiver; });
    const QByteArray state = core.state;
    lock.unlock();
    return json(connection, state);
}

int route(mg_connection* connection, ViewCore& core, bool rightToken)
{
    const mg_request_info& request = *mg_get_request_info(connection);
    const QByteArray path = request.local_uri ? QByteArray(request.local_uri) : QByteArray();
    const QByteArray method = request.request_method;
    const bool get = method == "GET" || method == "HEAD";
    if (path == "/") {
        if (!get)
            return plain(connection, 405, "use GET\n", {{"Allow", "GET, HEAD"}});
        std::unique_lock lock(core.mutex);
        if (core.viewerSlots >= core.limits.viewers)
            return lock.unlock(), plain(connection, 503, "too many viewers; try again later\n");
        QByteArray policy = core.pagePolicy;
        const QByteArray page = core.page;
        lock.unlock();
        // Browsers that do not count ws: as 'self' are given the page's own server by name.
        const QByteArray host = mg_get_header(connection, "Host");
        if (plainHost(host))
            policy += " ws://" + host;
        return answer(connection, 200, page,
                      {{"Content-Type", "text/html; charset=utf-8"},
                       {"Content-Security-Policy", policy},
                       {"Cache-Control", "no-store"},
                       {"X-Content-Type-Options", "nosniff"},
                       {"Referrer-Policy", "no-referrer"}});
    }
    if (path == "/api/state") {
        if (!get)
            return plain(connection, 405, "use GET\n", {{"Allow", "GET, HEAD"}});
        // Any page may read the state (a stage display, an overlay); only the token's holder may command.
        std::unique_lock lock(core.mutex);
        const QByteArray state = core.state;
        lock.unlock();
        return json(connection, state, {{"Access-Control-Allow-Origin", "*"}});
    }
    if (path.startsWith("/api/") && (path.mid(5) == "check" || spellingOf(path.mid(5)))) {
        if (method != "POST")
            return plain(connection, 405, "use POST\n", {{"Allow", "POST"}});
        return runCommand(connection, core, path.mid(5), rightToken);
    }
    return plain(connection, 404, "not found\n");
}

// Takes a connection off its address's count of requests under way.
void uncount(ViewCore& core, ConnectionNote& note)
{
    if (!std::exchange(note.counted, false))
        return;
    const auto at = core.byAddress.find(note.address);
    if (at != core.byAddress.end() && --at->second <= 0)
        core.byAddress.erase(at);
    --core.requests;
}

int beginRequest(mg_connection* connection)
{
    ViewCore& core = coreOf(connection);
    ConnectionNote* note = noteOf(connection);
    const mg_request_info& request = *mg_get_request_info(connection);
    const char* upgrade = mg_get_header(connection, "Upgrade");
    const bool upgrading = upgrade && mg_strcasecmp(upgrade, "websocket") == 0;
    const auto refuse = [connection, upgrading](int status, const char* text, Headers more = {}) {
        return upgrading ? refuseUpgrade(connection, status, text) : plain(connection, status, text, more);
    };
    std::unique_lock lock(core.mutex);
    const ViewLimits limits = core.limits;
    QByteArray given = mg_get_header(connection, "X-Lectern-Token");
    if (given.isEmpty())
        given = queryValue(request.query_string, "token");
    const bool rightToken = tokenMatches(given, core.token);
    if (!note)
        return lock.unlock(), refuse(503, "try again\n");
    if (!note->counted) {
        note->address = request.remote_addr;
        note->counted = true;
        ++core.byAddress[note->address];
        ++core.requests;
    }
    // One address may not take the place of everyone else; the chair's commands are never turned away for it.
    const bool crowded = core.byAddress[note->address] > limits.perAddress || core.requests > limits.otherConnections;
    lock.unlock();

    if (headSize(request) > limits.headBytes)
        return refuse(431, "request head too large\n");
    if (request.content_length > limits.bodyBytes)
        return refuse(413, "request body too large\n");
    if (crowded && !rightToken)
        return refuse(503, "too many connections; try again\n", {{"Retry-After", "1"}});
    if (!upgrading)
        return route(connection, core, rightToken);

    if (std::strcmp(request.local_uri ? request.local_uri : "", "/socket") != 0)
        return refuse(404, "not found\n");
    lock.lock();
    if (core.viewerSlots >= limits.viewers)
        return lock.unlock(), refuse(503, "too many viewers; try again later\n");
    // From here on a viewer, counted as one and not among the requests.
    ++core.viewerSlots;
    note->viewer = true;
    uncount(core, *note);
    // civetweb answers the handshake and hands the viewer to the route at /socket.
    return 0;
}

int initConnection(const mg_connection*, void** data)
{
    *data = new ConnectionNote;
    return 0;
}

void connectionClosing(const mg_connection* connection)
{
    ConnectionNote* note = noteOf(connection);
    if (!note)
        return;
    ViewCore& core = coreOf(connection);
    std::shared_ptr<ViewerFeed> feed;
    {
        std::lock_guard lock(core.mutex);
        uncount(core, *note);
        if (note->viewer)
            --core.viewerSlots;
        feed = std::move(note->feed);
        std::erase(core.viewers, feed);
    }
    if (feed)
        feed->finish();
    delete note;
    mg_set_user_connection_data(connection, nullptr);
}

// Nothing civetweb would say about a connection (a client gone mid-handshake, a port in use) is the user's
// business: every refusal has its own answer.
int quiet(const mg_connection*, const char*)
{
    return 1;
}

int viewerConnecting(const mg_connection*, void*)
{
    return 0;
}

void viewerReady(mg_connection* connection, void*)
{
    ViewCore& core = coreOf(connection);
    ConnectionNote* note = noteOf(connection);
    std::lock_guard lock(core.mutex);
    if (!note)
        return;
    note->feed = std::make_shared<ViewerFeed>(connection, core.limits.unsentBytes);
    core.viewers.push_back(note->feed);
    note->feed->offer(core.state);
}

int viewerSent(mg_connection*, int bits, char*, size_t size, void*)
{
    // A viewer sends nothing but the protocol's own frames; one that sends more is no viewer.
    const int opcode = bits & 0x0f;
    return opcode != MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE && size <= 125 ? 1 : 0;
}

void viewerClosed(const mg_connection* connection, void*)
{
    ConnectionNote* note = noteOf(connection);
    if (!note || !note->feed)
        return;
    ViewCore& core = coreOf(connection);
    std::shared_ptr<ViewerFeed> feed;
    {
        std::lock_guard lock(core.mutex);
        feed = std::move(note->feed);
        std::erase(core.viewers, feed);
    }
    // Its writer ends before civetweb takes the connection for another client.
    feed->finish();
}

} // namespace

void setViewCallbacks(mg_callbacks& callbacks)
{
    callbacks.begin_request = beginRequest;
    callbacks.init_connection = initConnection;
    callbacks.connection_close = connectionClosing;
    callbacks.log_message = quiet;
    callbacks.log_access = quiet;
}

void addViewerRoute(mg_context* context, ViewCore* core)
{
    mg_set_websocket_handler(context, "/socket", viewerConnecting, viewerReady, viewerSent, viewerClosed, core);
}

bool tokenMatches(const QByteArray& given, const QByteArray& token)
{
    if (token.isEmpty() || given.size() != token.size())
        return false;
    // Compared whole, so the time taken tells nothing of how much was right.
    int difference = 0;
    for (qsizetype k = 0; k < token.size(); ++k)
        difference |= given[k] ^ token[k];
    return difference == 0;
}

QByteArray givenSeconds(const QByteArray& query, const QByteArray& body)
{
    const QByteArray given = queryValue(query.isEmpty() ? nullptr : query.constData(), "seconds").trimmed();
    if (!given.isEmpty())
        return given;
    const QByteArray trimmed = body.trimmed();
    const QJsonDocument document = QJsonDocument::fromJson(trimmed);
    if (!document.isObject())
        return trimmed;
    // A JSON number in plain decimals, however it was written there; anything else is no number of seconds.
    const QJsonValue seconds = document.object().value(u"seconds"_s);
    return seconds.isDouble() ? QByteArray::number(seconds.toDouble(), 'f', QLocale::FloatingPointShortest)
                              : QByteArray();
}
