#pragma once

#include "settings/main_window_control.h"

#include <QStringList>

#include <functional>

/// A main window that logs what confirmation does to it, in order: "rows:<upper>,<lower>" (1 shown, 0 hidden),
/// "resize", "show", "reset".
class FakeMainWindow final : public MainWindowControl {
public:
    void setRowsVisible(bool upper, bool lower) override
    {
        m_upper = upper;
        m_lower = lower;
        record(QStringLiteral("rows:%1,%2").arg(int(upper)).arg(int(lower)));
    }
    void Form_Resize() override { record(QStringLiteral("resize")); }
    void showAndRaise() override { record(QStringLiteral("show")); }
    void resettimer() override { record(QStringLiteral("reset")); }

    QStringList calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    bool upperVisible() const { return m_upper; }
    bool lowerVisible() const { return m_lower; }
    /// Runs at every call, after it was logged: lets a test see what else had happened by then.
    void setObserver(std::function<void(const QString&)> observer) { m_observer = std::move(observer); }

private:
    void record(const QString& call)
    {
        m_calls << call;
        if (m_observer)
            m_observer(call);
    }

    QStringList m_calls;
    bool m_upper = true;
    bool m_lower = true;
    std::function<void(const QString&)> m_observer;
};
