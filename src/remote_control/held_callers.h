#pragma once

#include "remote_control/instance_channel.h"

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

/// The callers a channel holds, oldest first, whatever carries their bytes: each is cut off when it has not finished
/// a line within instance::idleLimit of connecting or of its last line, and of many at once only the newest
/// instance::heldCallers are kept, so that no one can take up the program's descriptors or its time.
///
/// `Caller` has a `deadline` (a steady_clock time point) and a `close()` that gives its connection back at once.
template <typename Caller> class HeldCallers {
public:
    using Clock = std::chrono::steady_clock;

    /// `context` is the object on whose thread the callers are read.
    explicit HeldCallers(QObject* context)
    {
        m_idleCheck.setSingleShot(true);
        QObject::connect(&m_idleCheck, &QTimer::timeout, context, [this] { dropIdle(); });
    }
    HeldCallers(const HeldCallers&) = delete;
    HeldCallers& operator=(const HeldCallers&) = delete;

    /// Holds `caller`, whose time to finish a line starts now; the oldest is dropped to make room.
    Caller* add(std::unique_ptr<Caller> caller)
    {
        // The newest are kept: the oldest has had the longest to say what it wanted.
        if (m_callers.size() >= instance::heldCallers)
            drop(m_callers.front().get());
        caller->deadline = Clock::now() + instance::idleLimit;
        m_callers.push_back(std::move(caller));
        return m_callers.back().get();
    }

    /// The caller finished a line: its time to finish the next one starts now.
    void tookLine(Caller* caller) { caller->deadline = Clock::now() + instance::idleLimit; }

    /// Closes the caller's connection now; the caller itself, whose notifier may be delivering the signal that led
    /// here, goes once the event loop is back.
    void drop(Caller* caller)
    {
        caller->close();
        const auto at = std::find_if(m_callers.begin(), m_callers.end(),
                                     [caller](const std::unique_ptr<Caller>& c) { return c.get() == caller; });
        if (at == m_callers.end())
            return;
        // Queued on the list's own timer, so that it is forgotten if the list goes first.
        if (m_dropped.empty())
            QMetaObject::invokeMethod(
                &m_idleCheck, [this] { m_dropped.clear(); }, Qt::QueuedConnection);
        m_dropped.push_back(std::move(*at));
        m_callers.erase(at);
    }

    /// Sets the time of the next look for callers that have said nothing for too long.
    void watchIdle()
    {
        if (m_callers.empty()) {
            m_idleCheck.stop();
            return;
        }
        const auto first = std::min_element(m_callers.begin(), m_callers.end(),
                                            [](const auto& a, const auto& b) { return a->deadline < b->deadline; });
        const auto left = std::chrono::ceil<std::chrono::milliseconds>((*first)->deadline - Clock::now());
        m_idleCheck.start(std::max(left, std::chrono::milliseconds::zero()));
    }

    /// Ends every caller at once, as the channel closes.
    void clear()
    {
        m_idleCheck.stop();
        m_callers.clear();
        m_dropped.clear();
    }

private:
    void dropIdle()
    {
        const auto now = Clock::now();
        std::vector<Caller*> idle;
        for (const std::unique_ptr<Caller>& caller : m_callers) {
            if (caller->deadline <= now)
                idle.push_back(caller.get());
        }
        for (Caller* caller : idle)
            drop(caller);
        watchIdle();
    }

    std::vector<std::unique_ptr<Caller>> m_callers;
    std::vector<std::unique_ptr<Caller>> m_dropped;
    QTimer m_idleCheck;
};
