#pragma once

#include "platform/colour_value.h"
#include "timing/rows.h"

#include <QObject>
#include <QString>

/// The two rows as the count last wrote them.
struct RowsView {
    QString upperText;
    QString lowerText;
    ColourValue upperForeground = 0;
    ColourValue upperBackground = 0;
    ColourValue lowerForeground = 0;
    ColourValue lowerBackground = 0;

    bool operator==(const RowsView&) const = default;
};

/// Every view of the count reads the rows from here: each write goes on to the main window and is kept, and the
/// other views (a second screen, a browser) hear of it once per pass of the event loop, however many rows and
/// colours one tick wrote. The caption stays the main window's.
class ShownRows final : public QObject, public Rows {
    Q_OBJECT
public:
    explicit ShownRows(Rows& window, QObject* parent = nullptr);

    const RowsView& view() const { return m_view; }

    void setUpperText(const QString& text) override;
    void setLowerText(const QString& text) override;
    void setUpperColours(ColourValue foreground, ColourValue background) override;
    void setLowerColours(ColourValue foreground, ColourValue background) override;
    void setCaption(const QString& caption) override { m_window.setCaption(caption); }
    bool isMinimised() const override { return m_window.isMinimised(); }
    int fmtIndex() const override { return m_window.fmtIndex(); }

signals:
    /// The rows changed since the last time; view() holds them.
    void changed();

private:
    void changeDue();

    Rows& m_window;
    RowsView m_view;
    bool m_changeDue = false;
};
