#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

/// The chair's window for the browser view: the view's address on each interface that is up and a QR code of the
/// first one, large enough to scan from a phone at arm's length. The control address is not in it, as the window
/// may well be on the projector: a button asks for it, shown in a window of its own (ControlWindow). The window
/// opens without taking the keyboard, and a key that reaches it goes to `keyTarget` (the main window), so the
/// chair's keys act as before. Closing it stops the server.
class ServeWindow final : public QWidget {
    Q_OBJECT
public:
    ServeWindow(const QStringList& addresses, QObject* keyTarget, QWidget* parent = nullptr);

    /// http://address:port/ for each IPv4 address of an interface that is up, the loopback last.
    static QStringList viewAddresses(quint16 port);

signals:
    /// The chair asked to see the control address.
    void controlCodeRequested();
    /// The chair closed the window.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QPointer<QObject> m_keyTarget;
};

/// Makes `window` one that never takes the keyboard from the main window: shown without being activated, its
/// buttons taking no focus (Space on a focused button would press it rather than pause the count).
void keepKeyboardAway(QWidget& window);
/// Passes a key that reached a window of the view on to `target`, which gives it its meaning.
void passKey(QObject* target, QKeyEvent* event);
