#pragma once

#include <functional>

/// The periodic 100 ms tick on the user-interface thread.
class Ticker {
public:
    virtual ~Ticker() = default;
    /// The function run on every tick; set once by the owner of the count.
    virtual void setHandler(std::function<void()> handler) = 0;
    /// Enabling starts the period afresh, so the next tick comes a whole period later.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};
