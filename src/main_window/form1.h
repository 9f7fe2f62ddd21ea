#pragma once

#include "settings/settings_record.h"
#include "timing/rehearsal_clock.h"
#include "timing/rows.h"
#include "timing/talk_clock.h"

#include <QString>
#include <QWidget>

class ChimeDevice;
class Clock;
class Dialogs;
class RowLabel;
class Ticker;

/// The main window, captioned with the program's name: two display rows that fill it at one type size, the count that
/// writes them, and the two mouse commands (left release offers a restart, right press asks for the settings dialog).
class Form1 final : public QWidget, public Rows {
    Q_OBJECT
public:
    /// Mouse button numbers as the commands take them.
    enum Button { NoButton = 0, LeftButton = 1, RightButton = 2, MiddleButton = 4 };

    /// The restart prompt goes through `dialogs`.
    Form1(SettingsRecord& settings, Clock& clock, Ticker& ticker, ChimeDevice& device, Dialogs& dialogs,
          QWidget* parent = nullptr);
    ~Form1() override;

    /// Lays the rows over the inner area and picks their type size and display form.
    void Form_Resize();
    /// The row visibility rule: both rows, upper only or lower only by the row mode; with no row mode selected
    /// the rows stay as they are.
    void showRows(SettingsRecord::RowMode mode);
    /// Starts a new count with the settings as they stand; a rehearsal under way ends.
    void resettimer();
    /// Plays the current settings through as a rehearsal: the presentation and the discussion in about 25 s,
    /// then 5 s of overtime, with the colours and the bells at their places; then a new count starts.
    void startRehearsal();
    bool isRehearsing() const { return m_clock.isRehearsing(); }
    /// Fills the screen the window is on, or gives back the size and place it had before.
    void toggleFullScreen();

    /// A button went down on the window or a row: the right button asks for the settings dialog.
    void mouseDown(int button);
    /// A button came up on the window or a row: the left button offers to restart the count.
    void mouseUp(int button);
    static int buttonNumber(Qt::MouseButton button);

    /// 0 one-line form, 1 two-line form, as the last layout pass chose.
    int fmtIndex() const { return m_talk.fmtIndex(); }
    /// The face both rows are written in, chosen once when the window is made.
    QString rowFamily() const { return m_rowFamily; }
    /// The inner area in points, 1/72 inch at the screen's logical resolution.
    double innerWidthPoints() const;
    double innerHeightPoints() const;

    void setUpperText(const QString& text) override;
    void setLowerText(const QString& text) override;
    void setUpperColours(ColourValue foreground, ColourValue background) override;
    void setLowerColours(ColourValue foreground, ColourValue background) override;
    void setCaption(const QString& caption) override;
    QString caption() const override;
    QString upperText() const override;
    bool isMinimised() const override;

signals:
    /// The right button was pressed: the settings dialog should be shown or brought to the front.
    void settingsRequested();
    /// The window was closed; the program ends.
    void closed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void finishRehearsal();

    int pixelsX(double points) const;
    int pixelsY(double points) const;

    SettingsRecord& m_settings;
    ChimeDevice& m_device;
    Dialogs& m_dialogs;
    QString m_rowFamily;
    RowLabel* m_label1;
    RowLabel* m_label2;
    QString m_caption;
    Qt::WindowStates m_stateBeforeFullScreen;
    bool m_rehearsalEndQueued = false;
    RehearsalClock m_clock;
    TalkClock m_talk;
};
