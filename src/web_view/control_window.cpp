#include "web_view/control_window.h"

#include "web_view/qr_image.h"
#include "web_view/serve_window.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int shownMs = 60 * 1000;

} // namespace

ControlWindow::ControlWindow(QObject* keyTarget, QWidget* parent)
    : QWidget(parent), m_keyTarget(keyTarget), m_code(new QLabel), m_address(new QLabel)
{
    setObjectName(u"ControlWindow"_s);
    setWindowTitle(u"Lectern - 操作用のコード"_s);
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(u"このコードを読み取ったスマートフォンから、カウントを操作できます。"
                               "プロジェクターに映っていないことを確かめてください。"_s);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    m_code->setObjectName(u"controlCode"_s);
    m_code->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_code);
    m_address->setObjectName(u"controlAddress"_s);
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_address->setWordWrap(true);
    layout->addWidget(m_address);
    auto* renew = new QPushButton(u"新しい操作用コードを作る"_s);
    renew->setObjectName(u"renewControlCode"_s);
    connect(renew, &QPushButton::clicked, this, &ControlWindow::renewRequested);
    layout->addWidget(renew, 0, Qt::AlignCenter);
    auto* note = new QLabel(u"新しいコードを作ると、前のコードで開いたページからは操作できなくなります。"
                            "このウィンドウは1分後、またはクリックで閉じます。"_s);
    note->setWordWrap(true);
    layout->addWidget(note);
    keepKeyboardAway(*this);

    m_shownFor.setSingleShot(true);
    m_shownFor.setInterval(shownMs);
    connect(&m_shownFor, &QTimer::timeout, this, &QWidget::close);
}

void ControlWindow::showAddress(const QString& address)
{
    // 6 px a module: the token makes the code larger than the view's, and a phone is held close to it.
    m_code->setPixmap(QPixmap::fromImage(qrImage(address, 6)));
    m_address->setText(address);
    m_shownFor.start();
    show();
    raise();
}

void ControlWindow::keyPressEvent(QKeyEvent* event)
{
    passKey(m_keyTarget, event);
}

void ControlWindow::keyReleaseEvent(QKeyEvent* event)
{
    passKey(m_keyTarget, event);
}

void ControlWindow::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    close();
}
