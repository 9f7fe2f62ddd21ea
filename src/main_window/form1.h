#pragma once

#include "settings/settings_record.h"
#include "timing/count.h"
#include "timing/rows.h"

#include <QString>
#include <QTimer>
#include <QWidget>

class Dialogs;
class RowPair;

/// The main window, captioned with the program's name: two display rows that fill it at one type size, drawn as the
/// count writes them and dimmed in a pause. It turns the mouse and the keys into requests for the count's commands
/// (left release or R: restart, after asking; right press or S: the settings dialog; T: a rehearsal, after asking;
/// Space: pause; arrows: adjust; N: skip; B: the bell; D: the speaker's screen; W: the browser view); F11 and Escape
/// are its own.
class Form1 final : public QWidget, public Rows {
    Q_OBJECT
public:
    /// Mouse button numbers as the commands take them.
    enum Button { NoButton = 0, LeftButton = 1, RightButton = 2, MiddleButton = 4 };

    /// The restart and rehearsal prompts go through `dialogs`.
    Form1(SettingsRecord& settings, Dialogs& dialogs, QWidget* parent = nullptr);

    /// Lays the rows over the inner area and picks their type size and display form.
    void Form_Resize();
    /// The row visibility rule: both rows, upper only or lower only by the row mode; with no row mode selected
    /// the rows stay as they are.
    void showRows(SettingsRecord::RowMode mode);
    /// Fills the screen the window is on, or gives back the size and place it had before.
    void toggleFullScreen();

    /// A button went down on the window or a row: the right button asks for the settings dialog.
    void mouseDown(int button);
    /// A button came up on the window or a row: the left button offers to restart the count.
    void mouseUp(int button);
    static int buttonNumber(Qt::MouseButton button);

    /// 0 one-line form, 1 two-line form, as the last layout pass chose.
    int fmtIndex() const { return m_fmtIndex; }
    /// The face both rows are written in, chosen once when the window is made.
    QString rowFamily() const { return m_rowFamily; }
    /// The inner area in points, 1/72 inch at the screen's logical resolution.
    double innerWidthPoints() const;
    double innerHeightPoints() const;
    /// The rows, for a window that shows the same.
    const RowPair& rows() const { return *m_rows; }

    void setUpperText(const QString& text) override;
    void setLowerText(const QString& text) override;
    void setUpperColours(ColourValue foreground, ColourValue background) override;
    void setLowerColours(ColourValue foreground, ColourValue background) override;
    void setCaption(const QString& caption) override;
    bool isMinimised() const override;

public slots:
    /// The caption tells a rehearsal and a pause; in a pause the rows blink between their colours and dimmed ones.
    void showState(const CountState& state);
    /// Adds `notice` to the caption for a few seconds.
    void showNotice(const QString& notice);

signals:
    /// The right button was pressed: the settings dialog should be shown or brought to the front.
    void settingsRequested();
    /// The restart was asked for and confirmed.
    void restartRequested();
    /// The rehearsal was asked for and confirmed.
    void rehearsalRequested();
    void pauseRequested();
    /// Seconds to move the count by: ±10, or ±60 with Shift.
    void adjustRequested(double seconds);
    void skipRequested();
    void bellRequested();
    /// D: the speaker's window on the other screen should open, or close when open.
    void speakerScreenRequested();
    /// W: the browser view's server should start, or stop.
    void serveRequested();
    /// The layout pass chose the other display form.
    void fmtIndexChanged(int fmtIndex);
    /// The window was closed; the program ends.
    void closed();
    /// Minimised or restored (or made full screen): the caption may have to change.
    void windowStateChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showCaption();

    int pixelsX(double points) const;
    int pixelsY(double points) const;

    SettingsRecord& m_settings;
    Dialogs& m_dialogs;
    QString m_rowFamily;
    RowPair* m_rows;
    /// The upper row as the count wrote it; a pause shows it under another heading.
    QString m_upperText;
    QString m_caption;
    QString m_notice;
    QTimer m_noticeEnd;
    Qt::WindowStates m_stateBeforeFullScreen;
    int m_fmtIndex = 0;
    bool m_rehearsal = false;
    bool m_paused = false;
};
