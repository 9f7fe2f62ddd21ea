#pragma once

#include "platform/ticker.h"

#include <QTimer>

/// A precise QTimer of 100 ms on the thread that creates it.
class QtTicker final : public Ticker {
    Q_OBJECT
public:
    explicit QtTicker(int periodMs = 100);
    void setEnabled(bool enabled) override;
    bool isEnabled() const override;

private:
    QTimer m_timer;
};
