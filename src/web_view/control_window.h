#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;

/// The control address, as a QR code and in plain text, in a window of its own that closes after a minute or on a
/// click, so that it is on the screen only while a phone is being pointed at it. A button makes a new token, which
/// stops the old address at once. Keys go to `keyTarget`, as in the view's other window.
class ControlWindow final : public QWidget {
    Q_OBJECT
public:
    explicit ControlWindow(QObject* keyTarget, QWidget* parent = nullptr);

    /// Shows `address` (the view's address with the token after '#control='), for a minute from now.
    void showAddress(const QString& address);

signals:
    void renewRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPointer<QObject> m_keyTarget;
    QLabel* m_code;
    QLabel* m_address;
    QTimer m_shownFor;
};
