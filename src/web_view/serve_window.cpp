#include "web_view/serve_window.h"

#include "web_view/qr_image.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QNetworkInterface>
#include <QPixmap>
#include <QPushButton>

using namespace Qt::StringLiterals;

void keepKeyboardAway(QWidget& window)
{
    window.setAttribute(Qt::WA_ShowWithoutActivating);
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
        button->setFocusPolicy(Qt::NoFocus);
}

void passKey(QObject* target, QKeyEvent* event)
{
    if (target)
        QCoreApplication::sendEvent(target, event);
}

ServeWindow::ServeWindow(const QStringList& addresses, QObject* keyTarget, QWidget* parent)
    : QWidget(parent), m_keyTarget(keyTarget)
{
    setObjectName(u"ServeWindow"_s);
    setWindowTitle(u"Lectern - ブラウザ表示"_s);
    const QString first = addresses.value(0);

    auto* layout = new QGridLayout(this);
    auto* heading = new QLabel(u"ブラウザでこのアドレスを開くと、カウントが表示されます。"_s);
    heading->setWordWrap(true);
    layout->addWidget(heading, 0, 0);
    auto* list = new QLabel(addresses.join(u'\n'));
    list->setObjectName(u"addresses"_s);
    list->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont large = list->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    list->setFont(large);
    layout->addWidget(list, 1, 0);
    // 10 px a module: a code of 33 modules with its margin is some 9 cm wide on a laptop screen, which a phone
    // reads from further than arm's length.
    auto* code = new QLabel;
    code->setObjectName(u"viewCode"_s);
    code->setPixmap(QPixmap::fromImage(qrImage(first, 10)));
    code->setAlignment(Qt::AlignCenter);
    code->setToolTip(first);
    layout->addWidget(code, 2, 0);
    auto* showControl = new QPushButton(u"操作用のコードを表示"_s);
    showControl->setObjectName(u"showControlCode"_s);
    connect(showControl, &QPushButton::clicked, this, &ServeWindow::controlCodeRequested);
    layout->addWidget(showControl, 3, 0, Qt::AlignCenter);
    auto* note = new QLabel(u"操作用のコードは別のウィンドウに1分間だけ表示されます。"
                            "もう一度 W を押すか、このウィンドウを閉じると、サーバーは止まります。"_s);
    note->setWordWrap(true);
    layout->addWidget(note, 4, 0);
    keepKeyboardAway(*this);
}

QStringList ServeWindow::viewAddresses(quint16 port)
{
    QStringList out;
    QStringList loopback;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            // The server listens on IPv4 only (Debian's civetweb is built without IPv6).
            if (address.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            (address.isLoopback() ? loopback : out) << u"http://%1:%2/"_s.arg(address.toString()).arg(port);
        }
    }
    return out + loopback;
}

void ServeWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}

void ServeWindow::keyPressEvent(QKeyEvent* event)
{
    passKey(m_keyTarget, event);
}

void ServeWindow::keyReleaseEvent(QKeyEvent* event)
{
    passKey(m_keyTarget, event);
}
