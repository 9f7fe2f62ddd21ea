#pragma once

#include "web_view/web_view.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct mg_callbacks;
struct mg_context;
class ViewerFeed;

/// What the server's own threads share with the interface thread, under one mutex: the state last pushed, the
/// token, the bounds, the connections counted by address, and the viewers. The server's threads never call the
/// program: they read the state kept here, and post the chair's commands to `receiver`'s thread.
struct ViewCore {
    std::mutex mutex;
    QByteArray state;
    QByteArray token;
    ViewLimits limits;
    QByteArray page;
    QByteArray pagePolicy;
    /// Connections with a request under way, by the client's address, and in all (viewers not counted).
    std::map<std::string, int> byAddress;
    int requests = 0;
    /// Viewers admitted, their handshake under way included.
    int viewerSlots = 0;
    std::vector<std::shared_ptr<ViewerFeed>> viewers;
    /// Where a command is run, on its thread; null once the server stops, and the host with it.
    QPointer<QObject> receiver;
    /// Parses the commands, under the mutex while the receiver is there (the host may be gone after it).
    const ViewHost* host = nullptr;
    std::function<void(const CountCommand&)> run;
    /// Commands posted and run, so a request can wait (bounded) for the state after its command.
    quint64 posted = 0;
    quint64 done = 0;
    std::condition_variable commandDone;
};

/// The callbacks that answer every request and count connections; their user data is the ViewCore.
void setViewCallbacks(mg_callbacks& callbacks);
/// The WebSocket at /socket, whose viewers are told the state.
void addViewerRoute(mg_context* context, ViewCore* core);

/// The token given (header X-Lectern-Token, else ?token=) compared with `token` whole, in a time that tells
/// nothing of how much was right; an empty token matches nothing.
bool tokenMatches(const QByteArray& given, const QByteArray& token);
/// The seconds of an adjustment as given, for the host to parse: ?seconds=, else the body as a bare number or as
/// {"seconds": N}; empty when none is given.
QByteArray givenSeconds(const QByteArray& query, const QByteArray& body);
