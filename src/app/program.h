#pragma once

#include "settings/settings_location.h"
#include "settings/settings_record.h"

#include "main_window/speaker_screen.h"
#include "platform/loadable_library.h"
#include "remote_control/start_options.h"
#include "remote_control/web_view_loader.h"
#include "timing/count_first_chime.h"
#include "timing/count_keeper.h"
#include "timing/sound_check.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class ChimeDevice;
class Clock;
class Count;
class Dialogs;
class FileAccess;
class FileWriter;
class Form1;
class Form2;
class ShownRows;
class SingleInstance;
class Ticker;
class WallClock;

/// The platform the program runs on: the real services in main(), fakes in the tests.
struct Services {
    Clock& clock;
    Ticker& ticker;
    ChimeDevice& chime;
    FileAccess& files;
    /// Message boxes and pickers, for both windows.
    Dialogs& dialogs;
    /// A second sound device, for the settings dialog's sound check.
    ChimeDevice& soundCheck;
    /// The calendar clock and the boot's identity, for carrying a count over a restart of the program.
    WallClock& wall;
    /// Writes the count's file away from the interface thread.
    FileWriter& writer;
    /// Writes the day's list, on a thread of its own, so that a stalled list holds up no save of the count.
    FileWriter& listWriter;
    /// Where the browser view's module is looked for.
    QStringList moduleFolders = loadable_library::moduleFolders();
};

/// The whole program: the settings record, the count, the main window and the settings dialog (made when it is
/// first opened), each once for the run, and the wiring between them. Closing the main window takes the dialog with it
/// and ends every event loop, a box's as well; nothing is saved on the way.
class Program final : public QObject, private ViewHost {
    Q_OBJECT
public:
    /// Makes the main window, not yet shown, and sets the program's icon for every window.
    explicit Program(const Services& services, QObject* parent = nullptr);
    ~Program() override;

    /// The load step: the settings file read into the record, the rows shown and laid out by the row mode, the
    /// first count started; then the main window is shown. The settings dialog is made when it is first opened.
    void start(const StartOptions& options = {});

    /// Where the settings are read and written, fixed when the program is made.
    const SettingsLocation& settingsFile() const { return m_location; }
    /// Shows the main window, restoring it when minimised, and brings it to the front.
    void bringToFront();
    /// Later starts for the same settings file bring the main window to the front and act on the count, as the
    /// keys do, without asking first.
    void takeCommandsFrom(const SingleInstance& instance);

    Form1& mainWindow() { return *m_form1; }
    Count& count() { return *m_count; }
    SpeakerScreen& speakerScreen() { return *m_speaker; }
    /// Null until the dialog is first opened, and after the main window was closed.
    Form2* settingsDialog() const { return m_form2.get(); }
    SettingsRecord& settings() { return m_record; }

    /// The browser view's port when none is given.
    static constexpr quint16 defaultServePort = 8480;
    /// Starts the browser view's server at `port` (or the next free port above it) and shows its window; when it
    /// runs, stops it and closes the window. Without a port, the one the view last had in this run, else the
    /// default.
    void toggleServing(std::optional<quint16> port = std::nullopt);
    /// Null while the browser view is off.
    WebView* webView() const { return m_webView.get(); }

signals:
    /// The main window was closed and the settings dialog let go (deleted once the event loops have returned).
    void finished();

private:
    // What the browser view reads and asks for.
    QByteArray state() const override;
    std::optional<CountCommand> parse(QByteArrayView name, QByteArrayView argument) const override;
    void run(const CountCommand& command) override;
    void viewClosed() override;

    /// Shows the settings dialog, made at its first opening and kept from then on.
    void showSettings();
    void makeSettingsDialog();
    /// Confirmed settings reach the main window: the rows of the row mode, laid out, the window in front.
    void showConfirmed(SettingsRecord::RowMode mode);
    void shutDown();
    void pushToWebView();
    /// How the room is set up now: full screen and on which screen, the speaker's window, the browser view.
    Room currentRoom() const;
    /// Tells the count's keeper how the room is set up now.
    void noteRoom();
    /// Sets the room up again as it was around a count taken up: full screen on the same screen (else the one the
    /// window is on), the speaker's window when a second screen is there, the browser view on the same port or
    /// the next free one. What the command line set up is kept.
    void restoreRoom(const Room& room);

    Services m_services;
    SettingsLocation m_location;
    CountFirstChime m_countChime;
    SoundCheck m_soundCheck;
    CountKeeper m_keeper;
    SettingsRecord m_record;
    std::unique_ptr<Form1> m_form1;
    // What every view of the count shows; it writes on to the main window.
    std::unique_ptr<ShownRows> m_shown;
    // Writes to the main window, so it goes first.
    std::unique_ptr<Count> m_count;
    std::unique_ptr<SpeakerScreen> m_speaker;
    std::unique_ptr<Form2> m_form2;
    // The browser view and its window, while it is on; it reads the count and the rows.
    std::unique_ptr<WebView> m_webView;
    // The port the browser view last had in this run, which W starts it on again (the phones know it).
    quint16 m_servePort = defaultServePort;
    /// The dialog let go when the main window closed, until its deferred delete comes.
    QPointer<Form2> m_closedForm2;
    /// From start() until the main window closes: the dialog may open and the room is noted.
    bool m_running = false;
};
