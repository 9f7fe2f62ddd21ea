#include "settings/settings_record.h"

#include "settings/number_rule.h"

using namespace Qt::StringLiterals;

namespace {

constexpr const char16_t* defaultHeadings[] = {u"講演の開始から", u"発表時間終了まで", u"質疑応答終了まで",
                                               u"講演時間の超過は"};

} // namespace

QString defaultHeading(int k)
{
    Q_ASSERT_X(k >= 1 && k <= 4, "defaultHeading", "the heading is 1 to 4");
    return QString::fromUtf16(defaultHeadings[k - 1]);
}

SettingsRecord::SettingsRecord(QObject* parent)
    : QObject(parent),
      m_texts{u"10"_s,           u"5"_s,           u"2"_s, QString(), defaultHeading(1), defaultHeading(2),
              defaultHeading(3), defaultHeading(4)},
      m_colours{0x00FFFF00u, 0x00000000u, 0x0000FFFFu, 0x00000000u, 0x0000FF00u, 0x00000000u, 0x0000FFFFu, 0x000000D0u}
{}

void SettingsRecord::setText(Text field, const QString& value)
{
    QString& slot = m_texts[std::size_t(field)];
    if (slot == value)
        return;
    slot = value;
    emit textChanged(field);
}

void SettingsRecord::setColour(Swatch swatch, ColourValue value)
{
    value &= 0x00FFFFFFu; // the top byte of a colour value is always zero
    ColourValue& slot = m_colours[std::size_t(swatch)];
    if (slot == value)
        return;
    slot = value;
    emit colourChanged(swatch);
}

QString SettingsRecord::heading(int k) const
{
    Q_ASSERT_X(k >= 1 && k <= 4, "SettingsRecord::heading", "the heading is 1 to 4");
    return m_texts[std::size_t(Text::Text1) + std::size_t(k - 1)];
}

SettingsRecord::Swatch SettingsRecord::foregroundSwatch(int k)
{
    Q_ASSERT_X(k >= 1 && k <= 4, "SettingsRecord::foregroundSwatch", "the pair is 1 to 4");
    return Swatch(2 * (k - 1));
}

SettingsRecord::Swatch SettingsRecord::backgroundSwatch(int k)
{
    Q_ASSERT_X(k >= 1 && k <= 4, "SettingsRecord::backgroundSwatch", "the pair is 1 to 4");
    return Swatch(2 * (k - 1) + 1);
}

ColourValue SettingsRecord::foreground(int k) const
{
    return colour(foregroundSwatch(k));
}

ColourValue SettingsRecord::background(int k) const
{
    return colour(backgroundSwatch(k));
}

double SettingsRecord::minutes(Text field) const
{
    return parseNumber(text(field));
}

TalkTimes SettingsRecord::times() const
{
    return {minutes(Text::presenPeriod), minutes(Text::discussPeriod), minutes(Text::warnBefore)};
}

void SettingsRecord::setTimes(const TalkTimes& times)
{
    setText(Text::presenPeriod, renderNumber(times.presentation));
    setText(Text::discussPeriod, renderNumber(times.discussion));
    setText(Text::warnBefore, renderNumber(times.warning));
}

SettingsRecord::RowMode SettingsRecord::optionMode(int n)
{
    Q_ASSERT_X(n >= 1 && n <= 3, "SettingsRecord::optionMode", "the option is 1 to 3");
    return RowMode(n);
}

void SettingsRecord::setOption(int n, bool value)
{
    if (value)
        setRowMode(optionMode(n));
    else if (option(n))
        setRowMode(RowMode::None);
}

void SettingsRecord::setRowMode(RowMode mode)
{
    if (m_rowMode == mode)
        return;
    m_rowMode = mode;
    emit rowModeChanged();
}
