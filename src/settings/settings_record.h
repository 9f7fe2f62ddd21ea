#pragma once

#include "platform/colour_value.h"
#include "settings/talk_times.h"

#include <QObject>
#include <QString>

#include <array>

/// The heading of row pattern k (1 to 4) until a settings file or the user changes it.
QString defaultHeading(int k);

/// The one settings record of the running program. The settings dialog binds its controls to it both ways,
/// so every reader sees what the dialog shows at that moment, confirmed or not.
class SettingsRecord : public QObject {
    Q_OBJECT
public:
    /// The text fields, named after the dialog controls that show them.
    enum class Text { presenPeriod, discussPeriod, warnBefore, wavefile, Text1, Text2, Text3, Text4 };
    /// The eight colour swatches: pair k is (t<k>f text colour, t<k>b background colour).
    enum class Swatch { t1f, t1b, t2f, t2b, t3f, t3b, t4f, t4b };
    /// The row-mode option group; None when a settings file left all three flags false.
    enum class RowMode { None, Option1, Option2, Option3 };
    Q_ENUM(RowMode)

    static constexpr int textCount = 8;
    static constexpr int swatchCount = 8;

    explicit SettingsRecord(QObject* parent = nullptr);

    QString text(Text field) const { return m_texts[std::size_t(field)]; }
    void setText(Text field, const QString& value);

    ColourValue colour(Swatch swatch) const { return m_colours[std::size_t(swatch)]; }
    void setColour(Swatch swatch, ColourValue value);

    /// Heading of row pattern k (1 to 4): Text1 .. Text4.
    QString heading(int k) const;
    /// Text colour (t<k>f) and background colour (t<k>b) of colour pair k, 1 to 4.
    ColourValue foreground(int k) const;
    ColourValue background(int k) const;
    static Swatch foregroundSwatch(int k);
    static Swatch backgroundSwatch(int k);

    /// A time field read with the number rule, in minutes.
    double minutes(Text field) const;
    /// The three time fields read with the number rule.
    TalkTimes times() const;
    /// Writes the three times into their fields as plain decimal text (renderNumber).
    void setTimes(const TalkTimes& times);

    RowMode rowMode() const { return m_rowMode; }
    /// Flag n of the group (1 to 3): Option1, Option2, Option3.
    bool option(int n) const { return m_rowMode == optionMode(n); }
    /// Setting a flag true clears the other two; setting it false leaves the other two as they are.
    void setOption(int n, bool value);
    void setRowMode(RowMode mode);
    static RowMode optionMode(int n);

signals:
    void textChanged(SettingsRecord::Text field);
    void colourChanged(SettingsRecord::Swatch swatch);
    void rowModeChanged();

private:
    std::array<QString, textCount> m_texts;
    std::array<ColourValue, swatchCount> m_colours;
    RowMode m_rowMode = RowMode::Option1;
};
