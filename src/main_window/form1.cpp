#include "main_window/form1.h"

#include "build_info.h"

#include "main_window/layout.h"
#include "main_window/row_font.h"
#include "main_window/row_label.h"
#include "platform/chime_device.h"
#include "platform/dialogs.h"
#include "settings/settings_record.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// The inner size the window is made with, in points.
constexpr double initialWidth = 528.75;
constexpr double initialHeight = 84.75;
// The type size the rows have until the first layout pass.
constexpr double initialTypeSize = 42.0;
// Cyan on black, the rows' colours until the first reset gives them colour pair 1.
constexpr ColourValue initialForeground = 0x00FFFF00;
constexpr ColourValue initialBackground = 0x00000000;
// A rehearsal: the presentation and the discussion in this many real seconds, then as many of overtime as make
// up the whole, time enough for the three bells of its start.
constexpr double rehearsalFastSeconds = 25.0;
constexpr double rehearsalSeconds = 30.0;

} // namespace

Form1::Form1(SettingsRecord& settings, Clock& clock, Ticker& ticker, ChimeDevice& device, Dialogs& dialogs,
             QWidget* parent)
    : QWidget(parent), m_settings(settings), m_device(device), m_dialogs(dialogs), m_rowFamily(chooseRowFamily()),
      m_label1(new RowLabel(defaultHeading(1) + u"\u3000 nn分ss秒"_s, initialForeground, initialBackground, this)),
      m_label2(new RowLabel(defaultHeading(2) + u" nn分ss秒"_s, initialForeground, initialBackground, this)),
      m_caption(QString::fromUtf16(programName)), m_clock(clock), m_talk(settings, m_clock, ticker, *this, device)
{
    setObjectName(u"Form1"_s);
    setWindowTitle(m_caption);
    // The keys reach the window whichever row was clicked last.
    setFocusPolicy(Qt::StrongFocus);
    m_label1->setObjectName(u"Label1"_s);
    m_label2->setObjectName(u"Label2"_s);
    for (RowLabel* label : {m_label1, m_label2}) {
        label->setFont(rowFont(m_rowFamily, initialTypeSize));
        connect(label, &RowLabel::buttonPressed, this, [this](Qt::MouseButton b) { mouseDown(buttonNumber(b)); });
        connect(label, &RowLabel::buttonReleased, this, [this](Qt::MouseButton b) { mouseUp(buttonNumber(b)); });
    }
    // At a large scale factor on a small screen the size at creation would run off the screen's edge; the
    // layout fills whatever size the window gets.
    resize(QSize(pixelsX(initialWidth), pixelsY(initialHeight)).boundedTo(screen()->availableSize()));
}

Form1::~Form1()
{
    // The sound device is released with the window; the count stops its tick on its own way out.
    m_device.close();
}

int Form1::pixelsX(double points) const
{
    return qRound(points * logicalDpiX() / 72.0);
}

int Form1::pixelsY(double points) const
{
    return qRound(points * logicalDpiY() / 72.0);
}

double Form1::innerWidthPoints() const
{
    return width() * 72.0 / logicalDpiX();
}

double Form1::innerHeightPoints() const
{
    return height() * 72.0 / logicalDpiY();
}

void Form1::Form_Resize()
{
    const RowLayout layout = layoutRows(innerWidthPoints(), innerHeightPoints(), m_settings.option(1));
    // Written one by one in a fixed order: lower top, widths, heights, form, then the type sizes.
    m_label2->move(0, pixelsY(layout.lowerTop));
    m_label1->resize(pixelsX(layout.width), m_label1->height());
    m_label2->resize(pixelsX(layout.width), m_label2->height());
    // Edges, not lengths, are rounded to whole pixels, so the rows meet without a gap or an overlap and the
    // lower one ends exactly at the window's edge when half the height is a fraction of a pixel.
    m_label1->resize(m_label1->width(), pixelsY(layout.height));
    m_label2->resize(m_label2->width(), pixelsY(layout.lowerTop + layout.height) - pixelsY(layout.lowerTop));
    m_talk.setFmtIndex(layout.fmtIndex);
    m_label1->setFont(rowFont(m_rowFamily, layout.typeSize));
    m_label2->setFont(rowFont(m_rowFamily, layout.typeSize));
}

void Form1::showRows(SettingsRecord::RowMode mode)
{
    switch (mode) {
    case SettingsRecord::RowMode::Option1:
        m_label1->setVisible(true);
        m_label2->setVisible(true);
        break;
    case SettingsRecord::RowMode::Option2:
        m_label1->setVisible(true);
        m_label2->setVisible(false);
        break;
    case SettingsRecord::RowMode::Option3:
        m_label1->setVisible(false);
        m_label2->setVisible(true);
        break;
    case SettingsRecord::RowMode::None:
        break;
    }
}

void Form1::resettimer()
{
    if (m_clock.isRehearsing()) {
        m_clock.end();
        setCaption(m_caption);
    }
    m_talk.resettimer();
}

void Form1::startRehearsal()
{
    const TalkTimes times = m_settings.times();
    m_clock.begin((times.presentation + times.discussion) * 60.0, rehearsalFastSeconds);
    setCaption(m_caption);
    m_talk.resettimer();
}

void Form1::finishRehearsal()
{
    m_rehearsalEndQueued = false;
    if (m_clock.isRehearsing())
        resettimer();
}

void Form1::toggleFullScreen()
{
    if (isFullScreen()) {
        setWindowState(m_stateBeforeFullScreen);
        return;
    }
    m_stateBeforeFullScreen = windowState() & ~(Qt::WindowFullScreen | Qt::WindowMinimized);
    setWindowState(m_stateBeforeFullScreen | Qt::WindowFullScreen);
}

int Form1::buttonNumber(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return LeftButton;
    case Qt::RightButton:
        return RightButton;
    case Qt::MiddleButton:
        return MiddleButton;
    default:
        return NoButton;
    }
}

void Form1::mouseDown(int button)
{
    if (button == RightButton)
        emit settingsRequested();
}

void Form1::mouseUp(int button)
{
    if (button != LeftButton)
        return;
    // The count runs on while the question is open; OK starts the new count at the moment of the answer.
    if (m_dialogs.askOkCancel(QString::fromUtf16(programName), u"カウントをリセットしますか？"_s))
        resettimer();
}

void Form1::setUpperText(const QString& text)
{
    m_label1->setText(text);
    // The upper row is written at every shown second, also during a rehearsal's overtime; the new count starts
    // from the event loop, not from inside the tick that noticed the end.
    if (m_clock.isRehearsing() && !m_rehearsalEndQueued && m_clock.realElapsed() >= rehearsalSeconds) {
        m_rehearsalEndQueued = true;
        QTimer::singleShot(0, this, &Form1::finishRehearsal);
    }
}

void Form1::setLowerText(const QString& text)
{
    m_label2->setText(text);
}

void Form1::setUpperColours(ColourValue foreground, ColourValue background)
{
    m_label1->setColours(foreground, background);
}

void Form1::setLowerColours(ColourValue foreground, ColourValue background)
{
    m_label2->setColours(foreground, background);
}

void Form1::setCaption(const QString& caption)
{
    m_caption = caption;
    const QString title = m_clock.isRehearsing() ? caption + u"（リハーサル）"_s : caption;
    if (windowTitle() == title)
        return;
    setWindowTitle(title);
    // The window's accessible name is its caption, which changes every second while minimised.
    if (QAccessible::isActive()) {
        QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&nameChanged);
    }
}

QString Form1::caption() const
{
    return m_caption;
}

QString Form1::upperText() const
{
    return m_label1->text();
}

bool Form1::isMinimised() const
{
    return windowState().testFlag(Qt::WindowMinimized);
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Form1::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    mouseDown(buttonNumber(event->button()));
}

void Form1::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    mouseUp(buttonNumber(event->button()));
}

void Form1::keyPressEvent(QKeyEvent* event)
{
    // A key with Ctrl, Alt, Shift or the like belongs to the desktop: it never restarts a count. Held down, a key
    // acts once.
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_F11:
        if (!event->isAutoRepeat())
            toggleFullScreen();
        break;
    case Qt::Key_Escape:
        if (isFullScreen())
            toggleFullScreen();
        break;
    case Qt::Key_R:
        if (!event->isAutoRepeat())
            mouseUp(LeftButton);
        break;
    case Qt::Key_S:
        mouseDown(RightButton);
        break;
    case Qt::Key_T:
        // A stray key must not throw away a count under way: the rehearsal is asked for, like a restart.
        if (!event->isAutoRepeat() &&
            m_dialogs.askOkCancel(QString::fromUtf16(programName),
                                  u"リハーサルを始めますか？\n今のカウントはリセットされます。"_s))
            startRehearsal();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}
