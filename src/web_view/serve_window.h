#pragma once

#include <QStringList>
#include <QWidget>

/// The chair's window for the browser view: the view's address on each interface that is up, a QR code of the
/// first one large enough to scan from a phone at arm's length, and, smaller and labelled 「操作用」, the control
/// address that carries the commands' token. Closing it stops the server.
class ServeWindow final : public QWidget {
    Q_OBJECT
public:
    ServeWindow(quint16 port, const QString& token, QWidget* parent = nullptr);

    /// http://address:port/ on each interface that is up, the loopback last.
    static QStringList viewAddresses(quint16 port);

signals:
    /// The chair closed the window.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
};
