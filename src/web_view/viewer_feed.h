#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <condition_variable>
#include <mutex>
#include <thread>

struct mg_connection;

/// One viewer's way out: a thread of its own writes the state to the viewer's WebSocket, so a viewer that takes
/// nothing holds up no one else, and nobody waits for it. Each state supersedes the one before, so only the last
/// is kept; what the viewer has been offered and not taken counts against a bound, past which it is dropped.
class ViewerFeed {
public:
    ViewerFeed(mg_connection* connection, qint64 unsentBound);
    ~ViewerFeed();
    ViewerFeed(const ViewerFeed&) = delete;
    ViewerFeed& operator=(const ViewerFeed&) = delete;

    mg_connection* connection() const { return m_connection; }
    /// Queues `message` for the viewer; false when what it has not taken would pass the bound, and it is dropped.
    bool offer(const QByteArray& message);
    /// Asks the viewer to close (a close frame after what is queued), and its connection to end.
    void close();
    /// Ends the thread once its write under way returns; the connection is not touched after it.
    void finish();

private:
    void run();

    mg_connection* const m_connection;
    const qint64 m_unsentBound;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    QByteArray m_next;
    qint64 m_unsent = 0;
    bool m_closing = false;
    bool m_finished = false;
    std::thread m_thread;
};
