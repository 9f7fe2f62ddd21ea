#include "main_window/speaker_window.h"

#include "build_info.h"

#include "main_window/form1.h"
#include "main_window/row_label.h"
#include "main_window/row_pair.h"
#include "settings/settings_record.h"
#include "timing/shown_rows.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

using namespace Qt::StringLiterals;

namespace {

constexpr int pointerHideMs = 2000;

} // namespace

SpeakerWindow::SpeakerWindow(const SettingsRecord& settings, Form1& main, const ShownRows& shown)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_settings(settings), m_main(main), m_shown(shown),
      m_rows(new RowPair(this, main.rowFamily(), QString(), QString(), 0, 0))
{
    setObjectName(u"SpeakerWindow"_s);
    setWindowTitle(QString::fromUtf16(programName) + u"（講演者用）"_s);
    // The chair's keyboard stays with the main window, and a question it asks opens there, not on the speaker's
    // screen.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    setMouseTracking(true);
    // A row passes on the moves over it, as it does not take them.
    for (RowLabel* label : {m_rows->upper(), m_rows->lower()})
        label->setMouseTracking(true);
    m_pointerStill.setSingleShot(true);
    m_pointerStill.setInterval(pointerHideMs);
    connect(&m_pointerStill, &QTimer::timeout, this, [this] { setCursor(Qt::BlankCursor); });
    m_pointerStill.start();

    connect(&shown, &ShownRows::changed, this, &SpeakerWindow::showShownRows);
    connect(&main, &Form1::fmtIndexChanged, this, &SpeakerWindow::layOut);
    connect(&main.rows(), &RowPair::dimmedChanged, this, [this] { m_rows->dimAs(m_main.rows()); });
    showShownRows();
    m_rows->dimAs(main.rows());
    m_rows->showRowsAs(main.rows());
}

void SpeakerWindow::followMain()
{
    m_rows->showRowsAs(m_main.rows());
    layOut();
}

void SpeakerWindow::layOut()
{
    m_rows->layOut(m_settings.option(1), m_main.fmtIndex());
}

void SpeakerWindow::showShownRows()
{
    const RowsView& view = m_shown.view();
    m_rows->setUpperText(view.upperText);
    m_rows->setLowerText(view.lowerText);
    m_rows->setUpperColours(view.upperForeground, view.upperBackground);
    m_rows->setLowerColours(view.lowerForeground, view.lowerBackground);
}

void SpeakerWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOut();
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
