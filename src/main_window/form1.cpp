#include "main_window/form1.h"

#include "build_info.h"

#include "main_window/layout.h"
#include "main_window/row_font.h"
#include "main_window/row_label.h"
#include "platform/dialogs.h"
#include "settings/settings_record.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>

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
// In a pause the rows keep this much of the contrast between their text and their background every other half
// second: seen across a hall, and still read.
constexpr double pausedContrast = 0.4;
constexpr int pauseBlinkMs = 500;

ColourValue dimmed(ColourValue foreground, ColourValue background)
{
    const auto mix = [](int f, int b) {
        return qRound(b + (f - b) * pausedContrast);
    };
    return colourFromRgb(mix(redOf(foreground), redOf(background)), mix(greenOf(foreground), greenOf(background)),
                         mix(blueOf(foreground), blueOf(background)));
}

} // namespace

Form1::Form1(SettingsRecord& settings, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_dialogs(dialogs), m_rowFamily(chooseRowFamily()),
      m_label1(new RowLabel(defaultHeading(1) + u"\u3000 nn分ss秒"_s, initialForeground, initialBackground, this)),
      m_label2(new RowLabel(defaultHeading(2) + u" nn分ss秒"_s, initialForeground, initialBackground, this)),
      m_caption(QString::fromUtf16(programName)), m_colours{initialForeground, initialBackground, initialForeground,
                                                            initialBackground}
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
    m_blink.setInterval(pauseBlinkMs);
    connect(&m_blink, &QTimer::timeout, this, [this] {
        m_dimmed = !m_dimmed;
        showColours();
    });
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
    if (layout.fmtIndex != m_fmtIndex) {
        m_fmtIndex = layout.fmtIndex;
        emit fmtIndexChanged(m_fmtIndex);
    }
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
        emit restartRequested();
}

void Form1::setUpperText(const QString& text)
{
    m_label1->setText(text);
}

void Form1::setLowerText(const QString& text)
{
    m_label2->setText(text);
}

void Form1::setUpperColours(ColourValue foreground, ColourValue background)
{
    m_colours[0] = foreground;
    m_colours[1] = background;
    showColours();
}

void Form1::setLowerColours(ColourValue foreground, ColourValue background)
{
    m_colours[2] = foreground;
    m_colours[3] = background;
    showColours();
}

void Form1::showColours()
{
    const auto shown = [this](ColourValue f, ColourValue b) {
        return m_dimmed ? dimmed(f, b) : f;
    };
    m_label1->setColours(shown(m_colours[0], m_colours[1]), m_colours[1]);
    m_label2->setColours(shown(m_colours[2], m_colours[3]), m_colours[3]);
}

void Form1::showState(const CountState& state)
{
    m_rehearsal = state.rehearsal;
    if (state.paused != m_paused) {
        m_paused = state.paused;
        // Dimmed at once, so the key shows it took.
        m_dimmed = m_paused;
        if (m_paused)
            m_blink.start();
        else
            m_blink.stop();
        showColours();
    }
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
    if (windowTitle() == title)
        return;
    setWindowTitle(title);
    // The window's accessible name is its caption, which changes every second while minimised.
    if (QAccessible::isActive()) {
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
    mouseDown(buttonNumber(event->button()));
}

void Form1::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    mouseUp(buttonNumber(event->button()));
}

void Form1::keyPressEvent(QKeyEvent* event)
{
    // A key with Ctrl, Alt, Shift or the like belongs to the desktop: it never restarts a count. Only the arrows
    // take Shift, for a whole minute. Held down, a key acts once.
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool arrow = key == Qt::Key_Left || key == Qt::Key_Right;
    if (modifiers != Qt::NoModifier && !(arrow && modifiers == Qt::ShiftModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    const bool once = !event->isAutoRepeat();
    switch (key) {
    case Qt::Key_F11:
        if (once)
            toggleFullScreen();
        break;
    case Qt::Key_Escape:
        if (isFullScreen())
            toggleFullScreen();
        break;
    case Qt::Key_R:
        if (once)
            mouseUp(LeftButton);
        break;
    case Qt::Key_S:
        if (once)
            mouseDown(RightButton);
        break;
    case Qt::Key_T:
        // A stray key must not throw away a count under way: the rehearsal is asked for, like a restart.
        if (once && m_dialogs.askOkCancel(QString::fromUtf16(programName),
                                          u"リハーサルを始めますか？\n今のカウントはリセットされます。"_s))
            emit rehearsalRequested();
        break;
    case Qt::Key_Space:
        if (once)
            emit pauseRequested();
        break;
    case Qt::Key_Right:
    case Qt::Key_Left:
        if (once)
            emit adjustRequested((key == Qt::Key_Right ? 1.0 : -1.0) * (modifiers == Qt::ShiftModifier ? 60.0 : 10.0));
        break;
    case Qt::Key_N:
        if (once)
            emit skipRequested();
        break;
    case Qt::Key_B:
        if (once)
            emit bellRequested();
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

void Form1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        emit windowStateChanged();
}
