// Fuzz entry for the settings-file reader: any bytes must be read without a crash, a hang or undefined
// behaviour, and whatever the reader puts into the record must survive being written and read back.
#include "settings/number_rule.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using Text = SettingsRecord::Text;

namespace {

[[noreturn]] void fail(const char* what, const QString& got, const QString& wanted)
{
    std::fprintf(stderr, "settings reader: %s: got \"%s\", wanted \"%s\"\n", what, got.toUtf8().constData(),
                 wanted.toUtf8().constData());
    std::abort();
}

/// The writer puts a look-alike in place of a double quote and a blank in place of a line end.
QString asWritten(QString text)
{
    return text.replace(u'"', QChar(0xFF02)).replace(u'\r', u' ').replace(u'\n', u' ');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    SettingsRecord record;
    readSettingsBytes(bytes, record);

    // The times are the defaults or came from an accepted first line, so they pass its rule.
    const TalkTimes times = record.times();
    if (!(times.presentation >= 0 && times.discussion >= 0 && times.warning >= 0 &&
          times.presentation >= times.warning))
        fail("times break the first-line rule", record.text(Text::presenPeriod), QString());
    for (const Text t : {Text::presenPeriod, Text::discussPeriod, Text::warnBefore}) {
        if (record.text(t) != renderNumber(record.minutes(t)))
            fail("time not in rendered form", record.text(t), renderNumber(record.minutes(t)));
    }

    const QByteArray written = settingsFileBytes(times, record);
    if (written.size() > maxSettingsFileBytes)
        return 0; // the writer refuses such a record rather than write a file the reader would ignore
    SettingsRecord back;
    back.setRowMode(SettingsRecord::RowMode::Option2); // so a sixth line that is not read would show
    readSettingsBytes(written, back);
    for (int i = 0; i < SettingsRecord::textCount; ++i) {
        const QString wanted = asWritten(record.text(Text(i)));
        if (back.text(Text(i)) != wanted)
            fail("text changed on the way back", back.text(Text(i)), wanted);
    }
    for (int i = 0; i < SettingsRecord::swatchCount; ++i) {
        const auto swatch = SettingsRecord::Swatch(i);
        if (back.colour(swatch) != record.colour(swatch))
            fail("colour changed on the way back", QString::number(back.colour(swatch)),
                 QString::number(record.colour(swatch)));
    }
    if (back.rowMode() != record.rowMode())
        fail("row mode changed on the way back", QString::number(int(back.rowMode())),
             QString::number(int(record.rowMode())));
    return 0;
}
