#pragma once

#include "settings/settings_record.h"

#include <QStringList>
#include <QTest>

#include <array>

/// Every field of a settings record as a plain value, to compare whole records at once.
struct RecordSnapshot {
    std::array<QString, SettingsRecord::textCount> texts;
    std::array<ColourValue, SettingsRecord::swatchCount> colours{};
    SettingsRecord::RowMode rowMode = SettingsRecord::RowMode::Option1;

    static RecordSnapshot of(const SettingsRecord& record)
    {
        RecordSnapshot s;
        for (int i = 0; i < SettingsRecord::textCount; ++i)
            s.texts[std::size_t(i)] = record.text(SettingsRecord::Text(i));
        for (int i = 0; i < SettingsRecord::swatchCount; ++i)
            s.colours[std::size_t(i)] = record.colour(SettingsRecord::Swatch(i));
        s.rowMode = record.rowMode();
        return s;
    }
    static RecordSnapshot defaults() { return of(SettingsRecord()); }

    void applyTo(SettingsRecord& record) const
    {
        for (int i = 0; i < SettingsRecord::textCount; ++i)
            record.setText(SettingsRecord::Text(i), texts[std::size_t(i)]);
        for (int i = 0; i < SettingsRecord::swatchCount; ++i)
            record.setColour(SettingsRecord::Swatch(i), colours[std::size_t(i)]);
        record.setRowMode(rowMode);
    }

    RecordSnapshot with(SettingsRecord::Text field, const QString& value) const
    {
        RecordSnapshot s = *this;
        s.texts[std::size_t(field)] = value;
        return s;
    }
    RecordSnapshot with(SettingsRecord::Swatch swatch, ColourValue value) const
    {
        RecordSnapshot s = *this;
        s.colours[std::size_t(swatch)] = value;
        return s;
    }
    RecordSnapshot with(SettingsRecord::RowMode mode) const
    {
        RecordSnapshot s = *this;
        s.rowMode = mode;
        return s;
    }
    /// Line 1 of the file: the three times and the wave path.
    RecordSnapshot withTimes(const QString& presentation, const QString& discussion, const QString& warning,
                             const QString& wavePath) const
    {
        return with(SettingsRecord::Text::presenPeriod, presentation)
            .with(SettingsRecord::Text::discussPeriod, discussion)
            .with(SettingsRecord::Text::warnBefore, warning)
            .with(SettingsRecord::Text::wavefile, wavePath);
    }
    /// Line k + 1 of the file: heading k and colour pair k.
    RecordSnapshot withPair(int k, const QString& heading, ColourValue foreground, ColourValue background) const
    {
        return with(SettingsRecord::Text(int(SettingsRecord::Text::Text1) + k - 1), heading)
            .with(SettingsRecord::foregroundSwatch(k), foreground)
            .with(SettingsRecord::backgroundSwatch(k), background);
    }

    bool operator==(const RecordSnapshot&) const = default;

    QString describe() const
    {
        QStringList parts;
        for (const QString& t : texts)
            parts << u'"' + t + u'"';
        for (const ColourValue c : colours)
            parts << QString::number(c);
        parts << QStringLiteral("mode %1").arg(int(rowMode));
        return parts.join(u", ");
    }
};

namespace QTest {
/// Shows both records in a failed comparison.
template <> inline char* toString(const RecordSnapshot& s)
{
    return qstrdup(s.describe().toUtf8().constData());
}
} // namespace QTest
