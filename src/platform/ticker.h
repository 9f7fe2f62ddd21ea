#pragma once

#include <QObject>

/// The periodic 100 ms tick on the user-interface thread, as a signal the owner of the count connects to.
class Ticker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    /// Enabling starts the period afresh, so the next tick comes a whole period later.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

signals:
    void ticked();
};
