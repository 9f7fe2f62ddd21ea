#pragma once

#include "main_window/layout.h"
#include "platform/colour_value.h"
#include "settings/settings_record.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class QWidget;
class RowLabel;

/// The two display rows over the whole of a window: laid out at one type size by the layout rule, drawn in the
/// colours the count gives them and dimmed every other half second in a pause. The main window and the speaker's
/// window each hold one, so both look alike by construction.
class RowPair final : public QObject {
    Q_OBJECT
public:
    /// Makes the rows, named Label1 and Label2, as children of `host`, in the face `family` (empty: the face comes
    /// later through setFamily, before the rows are first drawn).
    RowPair(QWidget* host, const QString& family, const QString& upperText, const QString& lowerText,
            ColourValue foreground, ColourValue background);

    RowLabel* upper() const { return m_upper; }
    /// Both rows in the face `family`, at the type size they have.
    void setFamily(const QString& family);
    RowLabel* lower() const { return m_lower; }

    /// Lays the rows over the host's inner area and gives them the type size chosen; with `fmtIndex` at 0 or 1,
    /// the size at which text in that form fits, for rows written in another window's form.
    RowLayout layOut(bool bothRows, int fmtIndex = -1);
    /// Both rows, upper only or lower only by the row mode; with no row mode the rows stay as they are.
    void showRows(SettingsRecord::RowMode mode);
    /// The same rows shown as `other` shows.
    void showRowsAs(const RowPair& other);

    void setUpperText(const QString& text);
    void setLowerText(const QString& text);
    void setUpperColours(ColourValue foreground, ColourValue background);
    void setLowerColours(ColourValue foreground, ColourValue background);
    /// In a pause the rows blink between their colours and dimmed ones, dimmed from the moment it begins.
    void setPaused(bool paused);
    /// Dimmed or not as `other` is now, for a pair that follows another's blink instead of keeping its own.
    void dimAs(const RowPair& other);

signals:
    /// The rows went dimmed or back to their colours.
    void dimmedChanged();

private:
    void showColours();
    int pixelsX(double points) const;
    int pixelsY(double points) const;

    QWidget* m_host;
    QString m_family;
    RowLabel* m_upper;
    RowLabel* m_lower;
    // The colours the count gave the rows; in a pause they are shown dimmed every other half second.
    std::array<ColourValue, 4> m_colours;
    bool m_paused = false;
    bool m_dimmed = false;
    QTimer m_blink;
};
