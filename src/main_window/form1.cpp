#include "main_window/form1.h"

#include "build_info.h"

#include "main_window/row_font.h"
#include "main_window/row_label.h"
#include "main_window/row_pair.h"
#include "platform/dialogs.h"
#include "settings/settings_record.h"
#include "timing/count_pattern.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <iterator>

using namespace Qt::StringLiterals;

namespace {

// The inner size the window is made with, in points.
constexpr double initialWidth = 528.75;
constexpr double initialHeight = 84.75;
// Cyan on black, the rows' colours until the first reset gives them colour pair 1.
constexpr ColourValue initialForeground = 0x00FFFF00;
constexpr ColourValue initialBackground = 0x00000000;
// How long a notice stays in the caption.
constexpr int noticeMs = 4000;

// What a key asks for: a command of the count at once, one asked about first, or something of the program's or
// the window's own.
enum class KeyAction { Count, AskRestart, AskRehearsal, Settings, SpeakerScreen, Serve, FullScreen, LeaveFullScreen };

struct WindowKey {
    int key;
    Qt::KeyboardModifiers modifiers;
    KeyAction action;
    CountCommand command = {};
};

constexpr Qt::KeyboardModifiers plain = Qt::NoModifier;
constexpr Qt::KeyboardModifiers shift = Qt::ShiftModifier;
constexpr auto adjustBy = [](double seconds) {
    return CountCommand{CountCommand::Name::Adjust, seconds};
};

// The window's keys. The arrows move by ten seconds, by a minute with Shift, the only modifier any key takes.
const WindowKey windowKeys[] = {
    {Qt::Key_Space, plain, KeyAction::Count, {CountCommand::Name::Pause}},
    {Qt::Key_Right, plain, KeyAction::Count, adjustBy(10)},
    {Qt::Key_Left, plain, KeyAction::Count, adjustBy(-10)},
    {Qt::Key_Right, shift, KeyAction::Count, adjustBy(60)},
    {Qt::Key_Left, shift, KeyAction::Count, adjustBy(-60)},
    {Qt::Key_N, plain, KeyAction::Count, {CountCommand::Name::Skip}},
    {Qt::Key_B, plain, KeyAction::Count, {CountCommand::Name::Bell}},
    {Qt::Key_R, plain, KeyAction::AskRestart},
    {Qt::Key_T, plain, KeyAction::AskRehearsal},
    {Qt::Key_S, plain, KeyAction::Settings},
    {Qt::Key_D, plain, KeyAction::SpeakerScreen},
    {Qt::Key_W, plain, KeyAction::Serve},
    {Qt::Key_F11, plain, KeyAction::FullScreen},
    {Qt::Key_Escape, plain, KeyAction::LeaveFullScreen},
};

// The upper row as a paused count shows it: 一時停止 in place of the heading, the time where it stands, so that
// a window filling the hall's screen says it (the caption is hidden there), and a screen reader with it.
QString pausedUpperText(const QString& countText)
{
    static const QString word = u"一時停止"_s;
    qsizetype lineBreak = countText.indexOf(u'\r');
    if (lineBreak < 0)
        lineBreak = countText.indexOf(u'\n');
    if (lineBreak >= 0)
        return word + countText.mid(lineBreak);
    // The one-line form ends in " nn分ss秒"; the fill before it keeps the time where the heading left it.
    constexpr qsizetype timeSize = 7;
    if (countText.size() < timeSize)
        return word;
    static const QString headed = CountPattern::oneLine(word).render(0).chopped(timeSize);
    return headed + countText.right(timeSize);
}

} // namespace

Form1::Form1(SettingsRecord& settings, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_dialogs(dialogs),
      m_rows(new RowPair(this, QString(), defaultHeading(1) + u"\u3000 nn分ss秒"_s, defaultHeading(2) + u" nn分ss秒"_s,
                         initialForeground, initialBackground)),
      m_upperText(m_rows->upper()->text()), m_caption(QString::fromUtf16(programName))
{
    setObjectName(u"Form1"_s);
    setWindowTitle(m_caption);
    // The keys reach the window whichever row was clicked last.
    setFocusPolicy(Qt::StrongFocus);
    for (RowLabel* label : {m_rows->upper(), m_rows->lower()}) {
        connect(label, &RowLabel::buttonPressed, this, &Form1::buttonPressed);
        connect(label, &RowLabel::buttonReleased, this, &Form1::buttonReleased);
    }
    // At a large scale factor on a small screen the size at creation would run off the screen's edge; the
    // layout fills whatever size the window gets.
    resize(QSize(pixelsX(initialWidth), pixelsY(initialHeight)).boundedTo(screen()->availableSize()));
    m_noticeEnd.setSingleShot(true);
    m_noticeEnd.setInterval(noticeMs);
    connect(&m_noticeEnd, &QTimer::timeout, this, [this] {
        m_notice.clear();
        showCaption();
    });
}

QString Form1::rowFamily()
{
    if (m_rowFamily.isEmpty()) {
        m_rowFamily = chooseRowFamily();
        m_rows->setFamily(m_rowFamily);
    }
    return m_rowFamily;
}

void Form1::setVisible(bool visible)
{
    QWidget::setVisible(visible);
    if (visible && m_rowFamily.isEmpty() && windowHandle())
        windowHandle()->installEventFilter(this);
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Expose && watched == windowHandle()) {
        watched->removeEventFilter(this);
        rowFamily();
    }
    return QWidget::eventFilter(watched, event);
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
    const RowLayout layout = m_rows->layOut(m_settings.option(1));
    if (layout.fmtIndex != m_fmtIndex) {
        m_fmtIndex = layout.fmtIndex;
        emit fmtIndexChanged(m_fmtIndex);
    }
}

void Form1::showRows(SettingsRecord::RowMode mode)
{
    m_rows->showRows(mode);
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

void Form1::buttonPressed(Qt::MouseButton button)
{
    if (button == Qt::RightButton)
        emit settingsRequested();
}

void Form1::buttonReleased(Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
        askRestart();
}

void Form1::askRestart()
{
    // The count runs on while the question is open; OK starts the new count at the moment of the answer.
    if (m_dialogs.askOkCancel(QString::fromUtf16(programName), u"カウントをリセットしますか？"_s))
        emit commandRequested({CountCommand::Name::Restart});
}

void Form1::askRehearsal()
{
    // A stray key must not throw away a count under way: the rehearsal is asked for, like a restart.
    if (m_dialogs.askOkCancel(QString::fromUtf16(programName),
                              u"リハーサルを始めますか？\n今のカウントはリセットされます。"_s))
        emit commandRequested({CountCommand::Name::Rehearsal});
}

void Form1::setUpperText(const QString& text)
{
    m_upperText = text;
    m_rows->setUpperText(m_paused ? pausedUpperText(text) : text);
}

void Form1::setLowerText(const QString& text)
{
    m_rows->setLowerText(text);
}

void Form1::setUpperColours(ColourValue foreground, ColourValue background)
{
    m_rows->setUpperColours(foreground, background);
}

void Form1::setLowerColours(ColourValue foreground, ColourValue background)
{
    m_rows->setLowerColours(foreground, background);
}

void Form1::showState(const CountState& state)
{
    m_rehearsal = state.rehearsal;
    m_paused = state.paused;
    m_rows->setPaused(m_paused);
    m_rows->setUpperText(m_paused ? pausedUpperText(m_upperText) : m_upperText);
    showCaption();
}

void Form1::showNotice(const QString& notice)
{
    m_notice = notice;
    m_noticeEnd.start();
    showCaption();
}

void Form1::setCaption(const QString& caption)
{
    m_caption = caption;
    showCaption();
}

void Form1::showCaption()
{
    QString title = m_caption;
    if (m_rehearsal)
        title += u"（リハーサル）"_s;
    if (m_paused)
        title += u"（一時停止）"_s;
    if (!m_notice.isEmpty())
        title += u"（%1）"_s.arg(m_notice);
    if (windowTitle() == title)
        return;
    setWindowTitle(title);
    // The window's accessible name is its caption, which changes every second while minimised; a window not yet
    // shown has no reader (see RowLabel::setText).
    if (isVisible() && QAccessible::isActive()) {
        QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&nameChanged);
    }
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
    buttonPressed(event->button());
}

void Form1::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    buttonReleased(event->button());
}

void Form1::keyPressEvent(QKeyEvent* event)
{
    // Only the keys of the table act, each with exactly its modifiers: a key with Ctrl, Alt, Shift or the like
    // belongs to the desktop and never restarts a count. Held down, a key acts once (Escape excepted).
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const auto key =
        std::find_if(std::cbegin(windowKeys), std::cend(windowKeys), [event, modifiers](const WindowKey& k) {
            return k.key == event->key() && k.modifiers == modifiers;
        });
    if (key == std::cend(windowKeys)) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->isAutoRepeat() && key->action != KeyAction::LeaveFullScreen)
        return;
    switch (key->action) {
    case KeyAction::Count:
        emit commandRequested(key->command);
        break;
    case KeyAction::AskRestart:
        askRestart();
        break;
    case KeyAction::AskRehearsal:
        askRehearsal();
        break;
    case KeyAction::Settings:
        emit settingsRequested();
        break;
    case KeyAction::SpeakerScreen:
        emit speakerScreenRequested();
        break;
    case KeyAction::Serve:
        emit serveRequested();
        break;
    case KeyAction::FullScreen:
        toggleFullScreen();
        break;
    case KeyAction::LeaveFullScreen:
        if (isFullScreen())
            toggleFullScreen();
        break;
    }
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}

void Form1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        emit windowStateChanged();
}
