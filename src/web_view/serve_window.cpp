#include "web_view/serve_window.h"

#include "web_view/qr_image.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QNetworkInterface>
#include <QPixmap>

using namespace Qt::StringLiterals;

namespace {

QLabel* qrLabel(const QString& text, int moduleSize, const QString& objectName)
{
    auto* label = new QLabel;
    label->setObjectName(objectName);
    label->setPixmap(QPixmap::fromImage(qrImage(text, moduleSize)));
    label->setAlignment(Qt::AlignCenter);
    label->setToolTip(text);
    return label;
}

} // namespace

ServeWindow::ServeWindow(quint16 port, const QString& token, QWidget* parent) : QWidget(parent)
{
    setObjectName(u"ServeWindow"_s);
    setWindowTitle(u"Lectern - ブラウザ表示"_s);
    const QStringList addresses = viewAddresses(port);
    const QString first = addresses.value(0);
    const QString control = first + u"#control="_s + token;

    auto* layout = new QGridLayout(this);
    auto* heading = new QLabel(u"ブラウザでこのアドレスを開くと、カウントが表示されます。"_s);
    heading->setWordWrap(true);
    layout->addWidget(heading, 0, 0, 1, 2);
    auto* list = new QLabel(addresses.join(u'\n'));
    list->setObjectName(u"addresses"_s);
    list->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont large = list->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    list->setFont(large);
    layout->addWidget(list, 1, 0, 1, 2);
    // 10 px a module: a code of 33 modules with its margin is some 9 cm wide on a laptop screen, which a phone
    // reads from further than arm's length.
    layout->addWidget(qrLabel(first, 10, u"viewCode"_s), 2, 0, 2, 1);
    auto* controlHeading = new QLabel(u"操作用"_s);
    controlHeading->setAlignment(Qt::AlignCenter);
    layout->addWidget(controlHeading, 2, 1);
    layout->addWidget(qrLabel(control, 4, u"controlCode"_s), 3, 1);
    auto* controlText = new QLabel(control);
    controlText->setObjectName(u"controlAddress"_s);
    controlText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    controlText->setWordWrap(true);
    layout->addWidget(controlText, 4, 0, 1, 2);
    auto* note = new QLabel(u"操作用のアドレスを知っている人は、カウントを操作できます。"
                            "もう一度 W を押すか、このウィンドウを閉じると、サーバーは止まります。"_s);
    note->setWordWrap(true);
    layout->addWidget(note, 5, 0, 1, 2);
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
            // A phone reaches the laptop by IPv4 or a global IPv6 address; link-local ones need a zone it lacks.
            if (address.isLinkLocal())
                continue;
            const QString host = address.protocol() == QAbstractSocket::IPv6Protocol ? u"[%1]"_s.arg(address.toString())
                                                                                     : address.toString();
            (address.isLoopback() ? loopback : out) << u"http://%1:%2/"_s.arg(host).arg(port);
        }
    }
    return out + loopback;
}

void ServeWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}
