#include "main_window/speaker_window.h"

#include "build_info.h"

#include "main_window/form1.h"
#include "main_window/speaker_face.h"
#include "settings/settings_record.h"
#include "timing/count.h"
#include "timing/shown_rows.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {

constexpr int pointerHideMs = 2000;

} // namespace

SpeakerWindow::SpeakerWindow(const SettingsRecord& settings, Form1& main, const ShownRows& shown, const Count& count)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_settings(settings), m_main(main), m_shown(shown),
      m_count(count)
{
    setObjectName(u"SpeakerWindow"_s);
    setWindowTitle(QString::fromUtf16(programName) + u"（講演者用）"_s);
    // The chair's keyboard stays with the main window, and a question it asks opens there, not on the speaker's
    // screen.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    // Every pixel is painted each time.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    m_pointerStill.setSingleShot(true);
    m_pointerStill.setInterval(pointerHideMs);
    connect(&m_pointerStill, &QTimer::timeout, this, [this] { setCursor(Qt::BlankCursor); });
    m_pointerStill.start();

    connect(&shown, &ShownRows::changed, this, &SpeakerWindow::readCount);
    connect(&count, &Count::stateChanged, this, &SpeakerWindow::readCount);
    readCount();
}

void SpeakerWindow::followMain()
{
    readCount();
}

void SpeakerWindow::readCount()
{
    const PhaseReading reading = readPhase(m_count.state(), m_count.snapshot(), m_shown.view(), m_settings);
    if (reading == m_reading)
        return;
    m_reading = reading;
    update();
}

void SpeakerWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintSpeakerFace(painter, rect(), m_reading, m_main.rowFamily());
}

void SpeakerWindow::keyPressEvent(QKeyEvent* event)
{
    QCoreApplication::sendEvent(&m_main, event);
}

void SpeakerWindow::keyReleaseEvent(QKeyEvent* event)
{
    QCoreApplication::sendEvent(&m_main, event);
}

void SpeakerWindow::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void SpeakerWindow::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}

void SpeakerWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

void SpeakerWindow::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    pointerMoved();
}

void SpeakerWindow::pointerMoved()
{
    unsetCursor();
    m_pointerStill.start();
}
