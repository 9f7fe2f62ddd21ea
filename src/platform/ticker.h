#pragma once

#include <QObject>

#include <limits>

/// Wakes the owner of the count on the user-interface thread at the instant it asks for, as a signal it connects
/// to. Instants are on the scale of the boot clock (the Clock the count reads), which goes on through suspend.
class Ticker : public QObject {
    Q_OBJECT
public:
    static constexpr double never = std::numeric_limits<double>::infinity();

    using QObject::QObject;
    /// A disabled ticker never ticks; enabling it again keeps the instant asked for last.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    /// One tick at `instant` (at once when it has passed), in place of any asked for before; `never` for none.
    virtual void wakeAt(double instant) = 0;

signals:
    void ticked();
};
