#pragma once

#include "platform/ticker.h"

#include <QTimer>

/// A precise QTimer of 100 ms on the thread that creates it.
class QtTicker final : public Ticker {
public:
    explicit QtTicker(int periodMs = 100);
    void setHandler(std::function<void()> handler) override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override;

private:
    QTimer m_timer;
    std::function<void()> m_handler;
};
