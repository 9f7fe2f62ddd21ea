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
/// (left release or R: restart, after asking; T: a rehearsal, after asking; Space: pause; arrows: adjust; N: skip;
/// B: the bell) and for the program's (right press or S: the settings dialog; D: the speaker's screen; W: the
/// browser view); F11 and Escape are its own.
class Form1 final : public QWidget, public Rows {
    Q_OBJECT
public:
    /// The restart and rehearsal prompts go through `dialogs`.
    Form1(SettingsRecord& settings, Dialogs& dialogs, QWidget* parent = nullptr);

    /// Lays the rows over the inner area and picks their type size and display form.
    void Form_Resize();
    /// The row visibility rule: both rows, upper only or lower only by the row mode; with no row mode selected
    /// the rows stay as they are.
    void showRows(SettingsRecord::RowMode mode);
    /// Fills the screen the window is on, or gives back the size and place it had before.
    void toggleFullScreen();

    /// The face both rows are written in, chosen once: when the window is first exposed, or when asked before.
    QString rowFamily();
    /// Shows the window as QWidget does. The rows' face, when not yet chosen, is chosen at the window's first
    /// exposure, just before its first paint: the choice measures the installed faces, which loads the font
    /// configuration, and made before, it would hold up the window's appearing.
    void setVisible(bool visible) override;
    /// Chooses the rows' face on the first exposure of the window.
    bool eventFilter(QObject* watched, QEvent* event) override;
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
    /// As the last layout pass chose.
    int fmtIndex() const override { return m_fmtIndex; }

public slots:
    /// The caption tells a rehearsal and a pause; in a pause the rows blink between their colours and dimmed ones.
    void showState(const CountState& state);
    /// Adds `notice` to the caption for a few seconds.
    void showNotice(const QString& notice);

signals:
    /// The right button or S: the settings dialog should be shown or brought to the front.
    void settingsRequested();
    /// A command for the count: a restart or a rehearsal once confirmed, the others at once. An arrow moves the
    /// count by 10 seconds, 60 with Shift.
    void commandRequested(const CountCommand& command);
    /// D: the speaker's window on the other screen should open, or close when open.
    void speakerScreenRequested();
    /// W: the browser view's server should start, or stop.
    void serveRequested();
    /// The layout pass chose the other display form: what is written in the rows should be written again in it.
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
    /// Asks whether to start the count afresh, and asks for the restart on OK.
    void askRestart();
    /// Asks whether to throw the count away for a rehearsal, and asks for the rehearsal on OK.
    void askRehearsal();
    void buttonPressed(Qt::MouseButton button);
    void buttonReleased(Qt::MouseButton button);
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
