#include "web_view/viewer_feed.h"

#include <civetweb.h>

#include <utility>

ViewerFeed::ViewerFeed(mg_connection* connection, qint64 unsentBound)
    : m_connection(connection), m_unsentBound(unsentBound), m_thread([this] { run(); })
{}

ViewerFeed::~ViewerFeed()
{
    finish();
}

bool ViewerFeed::offer(const QByteArray& message)
{
    std::lock_guard lock(m_mutex);
    if (m_closing)
        return false;
    m_unsent += message.size();
    if (m_unsent > m_unsentBound) {
        m_closing = true;
        m_next.clear();
        // The viewer's own thread leaves its read loop at its next turn; nothing more is written to it.
        mg_disable_connection_keep_alive(m_connection);
        m_wake.notify_one();
        return false;
    }
    m_next = message;
    m_wake.notify_one();
    return true;
}

void ViewerFeed::close()
{
    std::lock_guard lock(m_mutex);
    m_closing = true;
    m_wake.notify_one();
}

void ViewerFeed::finish()
{
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_wake.notify_one();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void ViewerFeed::run()
{
    std::unique_lock lock(m_mutex);
    bool closeSent = false;
    for (;;) {
        m_wake.wait(lock, [this, closeSent] { return m_finished || !m_next.isEmpty() || (m_closing && !closeSent); });
        if (m_finished)
            return;
        if (!m_next.isEmpty()) {
            const QByteArray message = std::exchange(m_next, {});
            lock.unlock();
            const int written =
                mg_websocket_write(m_connection, MG_WEBSOCKET_OPCODE_TEXT, message.constData(), size_t(message.size()));
            lock.lock();
            // Taken: what is still unsent is only what came meanwhile.
            m_unsent = m_next.size();
            if (written <= 0)
                m_closing = true;
            continue;
        }
        closeSent = true;
        if (m_unsent <= m_unsentBound) {
            lock.unlock();
            mg_websocket_write(m_connection, MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE, "\x03\xe8", 2);
            lock.lock();
        }
        mg_disable_connection_keep_alive(m_connection);
    }
}
