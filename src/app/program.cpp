#include "app/program.h"

#include "app/app_icon.h"
#include "build_info.h"
#include "main_window/form1.h"
#include "platform/dialogs.h"
#include "remote_control/single_instance.h"
#include "remote_control/view_state.h"
#include "settings/count_location.h"
#include "settings/settings_file.h"
#include "settings/settings_location.h"
#include "settings_dialog/form2.h"
#include "timing/count.h"
#include "timing/phase_reading.h"
#include "timing/shown_rows.h"
#include "widgets/show_and_raise.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

Program::Program(const Services& services, QObject* parent)
    : QObject(parent), m_services(services), m_location(settingsLocation(services.files, installedFolders())),
      m_countChime(services.chime, services.soundCheck), m_soundCheck(services.soundCheck, services.dialogs),
      m_keeper(services.files, services.writer, services.listWriter, services.dialogs, services.clock, services.wall,
               countLocation(services.files, m_location)),
      m_form1(std::make_unique<Form1>(m_record, services.dialogs)), m_shown(std::make_unique<ShownRows>(*m_form1)),
      m_count(
          std::make_unique<Count>(m_record, services.clock, services.wall, services.ticker, *m_shown, m_countChime)),
      m_speaker(std::make_unique<SpeakerScreen>(m_record, *m_form1, *m_shown, *m_count))
{
    QApplication::setWindowIcon(lecternIcon());
    Form1* form1 = m_form1.get();
    Count* count = m_count.get();
    connect(form1, &Form1::settingsRequested, this, &Program::showSettings);
    connect(form1, &Form1::closed, this, &Program::shutDown);
    connect(form1, &Form1::commandRequested, count, &Count::apply);
    connect(form1, &Form1::fmtIndexChanged, count, &Count::refresh);
    connect(form1, &Form1::speakerScreenRequested, m_speaker.get(), &SpeakerScreen::toggle);
    connect(form1, &Form1::serveRequested, this, [this] { toggleServing(); });
    connect(count, &Count::stateChanged, form1, &Form1::showState);
    // Minimised or restored: the caption changes at once, not at the next second.
    connect(form1, &Form1::windowStateChanged, count, &Count::refresh);
    // Kept at each command and phase change, so a count survives a closed window or a crash.
    connect(count, &Count::stateChanged, &m_keeper, [this] {
        m_keeper.roomChanged(currentRoom());
        m_keeper.countChanged(m_count->snapshot());
    });
    connect(count, &Count::ended, &m_keeper, &CountKeeper::countEnded);
    connect(&m_keeper, &CountKeeper::resumeRequested, count, &Count::resume);
    connect(&m_keeper, &CountKeeper::roomRequested, this, &Program::restoreRoom);
    // The room kept with the count: after the window or the speaker's window has followed the change.
    connect(form1, &Form1::windowStateChanged, this, &Program::noteRoom);
    connect(form1, &Form1::speakerScreenRequested, this, &Program::noteRoom);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &Program::noteRoom, Qt::QueuedConnection);
    connect(m_shown.get(), &ShownRows::changed, this, &Program::pushToWebView);
    connect(count, &Count::stateChanged, this, &Program::pushToWebView);
}

Program::~Program()
{
    // The browser view reads the count; the dialog goes next: its confirmations reach the main window; the count
    // writes to the main window.
    m_webView.reset();
    m_form2.reset();
    delete m_closedForm2.data();
    m_speaker.reset();
    m_count.reset();
    m_form1.reset();
}

void Program::start(const StartOptions& options)
{
    m_running = true;
    readSettings(m_services.files, m_location.readPath, m_record);

    // Read before the first count is saved over it.
    m_keeper.load();

    m_form1->showRows(m_record.rowMode());
    m_form1->Form_Resize();
    m_count->begin();
    m_form1->setWindowState(Qt::WindowNoState);
    if (options.screen) {
        m_form1->setScreen(options.screen);
        m_form1->move(options.screen->availableGeometry().center() - m_form1->rect().center());
    }
    if (options.fullScreen)
        m_form1->toggleFullScreen();
    m_form1->show();
    if (options.speakerScreen)
        m_speaker->open();
    if (options.servePort)
        toggleServing(*options.servePort);
    noteRoom();
    // Asked once the window is up, while the fresh count already runs: No lets it go on.
    QTimer::singleShot(0, &m_keeper, &CountKeeper::offerResume);
}

void Program::bringToFront()
{
    showAndRaise(*m_form1);
}

void Program::toggleServing(std::optional<quint16> port)
{
    if (m_webView) {
        m_webView.reset();
        noteRoom();
        return;
    }
    const QString caption = QString::fromUtf16(programName);
    QString why;
    StartWebView* startWebView = loadWebView(m_services.moduleFolders, &why);
    if (!startWebView) {
        m_services.dialogs.warn(caption, u"ブラウザ表示を始められません: %1"_s.arg(why));
        return;
    }
    // Beside the count, so a phone given the control address in the morning still commands in the afternoon.
    const QString countPath = countLocation(m_services.files, m_location).statePath;
    const QString tokenPath = countPath.isEmpty() ? QString() : QFileInfo(countPath).dir().filePath(u"control-token"_s);
    const quint16 asked = port.value_or(m_servePort);
    m_webView.reset(startWebView(*this, {tokenPath, m_form1.get()}, asked));
    if (m_webView) {
        m_servePort = m_webView->port();
        noteRoom();
    } else {
        m_services.dialogs.warn(
            caption, u"ブラウザ表示を始められません: ポート %1 から %2 まで使用中です。"_s.arg(asked).arg(asked + 16));
    }
}

QByteArray Program::state() const
{
    const CountState state = m_count->state();
    return viewStateJson(state, m_count->remaining(), m_shown->view(), m_record.rowMode(),
                         readPhase(state, m_count->snapshot(), m_shown->view(), m_record));
}

std::optional<CountCommand> Program::parse(QByteArrayView name, QByteArrayView argument) const
{
    return parseCountCommand(name, argument);
}

void Program::run(const CountCommand& command)
{
    m_count->apply(command);
}

void Program::viewClosed()
{
    // Closing the window stops the server, as W does; deferred, since the window is in its own close event.
    QTimer::singleShot(0, this, [this] {
        if (m_webView)
            toggleServing();
    });
}

Room Program::currentRoom() const
{
    const QScreen* screen = m_form1->screen();
    return {m_form1->isFullScreen(), screen ? screen->name() : QString(), m_speaker->window() != nullptr,
            m_webView ? m_webView->port() : quint16(0)};
}

void Program::noteRoom()
{
    // A change of state on the way out (the window closing) is no change of the room.
    if (m_running)
        m_keeper.roomChanged(currentRoom());
}

void Program::restoreRoom(const Room& room)
{
    if (room.fullScreen) {
        const QList<QScreen*> screens = QGuiApplication::screens();
        const auto same = std::find_if(screens.cbegin(), screens.cend(),
                                       [&room](const QScreen* screen) { return screen->name() == room.screen; });
        if (same != screens.cend() && *same != m_form1->screen()) {
            if (m_form1->isFullScreen())
                m_form1->toggleFullScreen();
            m_form1->setScreen(*same);
            m_form1->move((*same)->availableGeometry().center() - m_form1->rect().center());
        }
        if (!m_form1->isFullScreen())
            m_form1->toggleFullScreen();
    }
    if (room.speakerWindow && !m_speaker->window())
        m_speaker->open();
    if (room.servePort != 0 && !m_webView)
        toggleServing(room.servePort);
    noteRoom();
}

void Program::pushToWebView()
{
    if (m_webView)
        m_webView->push();
}

void Program::takeCommandsFrom(const SingleInstance& instance)
{
    connect(&instance, &SingleInstance::activationRequested, this, &Program::bringToFront);
    connect(&instance, &SingleInstance::commandRequested, m_count.get(), &Count::apply);
}

void Program::showSettings()
{
    if (!m_running)
        return;
    if (!m_form2)
        makeSettingsDialog();
    showAndRaise(*m_form2);
}

void Program::makeSettingsDialog()
{
    // Made at its first opening, not at start, where it would only hold up the main window. Only the dialog
    // writes the record once the file is read, so the cancel copy it takes now holds the file's values, as one
    // taken just after the file was read would.
    // The dialog is no child of the main window, so either can be in front of the other.
    m_form2 = std::make_unique<Form2>(m_record, m_services.files, m_services.dialogs, m_location.writePath);
    connect(m_form2.get(), &Form2::soundCheckRequested, &m_soundCheck, &SoundCheck::play);
    connect(m_form2.get(), &Form2::confirmed, this, &Program::showConfirmed);
    connect(m_form2.get(), &Form2::restartRequested, m_count.get(), &Count::restart);
}

void Program::showConfirmed(SettingsRecord::RowMode mode)
{
    // A save that failed while the program was ending confirms on its way out; the closed window stays closed.
    if (!m_running)
        return;
    m_form1->showRows(mode);
    m_form1->Form_Resize();
    m_speaker->followMain();
    showAndRaise(*m_form1);
}

void Program::shutDown()
{
    m_running = false;
    m_webView.reset();
    m_count->finish();
    m_speaker->close();
    // Unconfirmed edits in the dialog are dropped with it; the settings file keeps what it holds. A signal closes
    // the main window from inside a box or picker of the dialog as well, whose own event loop is then still on the
    // stack: every loop is told to return (the box as cancelled), and the dialog is deleted only once the loop that
    // runs now has returned, never under its box.
    if (m_form2) {
        m_form2->hide();
        m_closedForm2 = m_form2.release();
        m_closedForm2->deleteLater();
    }
    emit finished();
    QCoreApplication::exit(0);
}
