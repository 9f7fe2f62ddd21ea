#include "settings/settings_file.h"

#include "settings/cp932.h"
#include "settings/number_rule.h"
#include "settings/settings_log.h"
#include "settings/settings_record.h"

#include <QStringDecoder>

#include <optional>

using namespace Qt::StringLiterals;

// Warnings only by default: a normal run prints nothing.
Q_LOGGING_CATEGORY(lcSettings, "lectern.settings", QtWarningMsg)

namespace {

constexpr char utf8Bom[] = "\xEF\xBB\xBF";
/// Stands in for a double quote inside a text item; it looks alike and has a code page 932 form.
constexpr char16_t quoteStandIn = u'\uFF02';
constexpr ColourValue largestColour = 0x00FFFFFFu;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

/// Reads the items of a settings file in order.
class ItemReader {
public:
    explicit ItemReader(QStringView text) : m_text(text) {}

    bool atEnd() const { return m_pos >= m_text.size(); }

    /// Marks where a line of the table begins; it always begins at the start of a line of the file. Blank
    /// lines before it are passed over, so that one inserted by hand does not push every later line into the
    /// fields of the line after.
    void beginTableLine()
    {
        for (;;) {
            qsizetype i = m_pos;
            while (i < m_text.size() && isBlank(at(i)))
                ++i;
            if (i < m_text.size() && !isLineEnd(at(i)))
                break;
            m_pos = i;
            if (atEnd())
                break;
            consumeSeparator();
        }
        m_tableLineStart = m_pos;
    }

    /// A line of the table that read goes on to the next line of the file, passing over any extra items; one
    /// that did not read leaves the reader at the line of the file after the one the table line began on, so
    /// a missing item in one line does not pull the next line's items into it.
    void endTableLine(bool read)
    {
        if (!read)
            m_pos = m_tableLineStart;
        if (!read || !m_atLineStart)
            skipPastLineEnd();
        m_atLineStart = true;
    }

    std::optional<QString> text()
    {
        const auto item = next(Kind::Text);
        if (!item || !item->closed)
            return std::nullopt;
        return item->text.toString();
    }

    std::optional<double> number()
    {
        const auto item = next(Kind::Number);
        if (!item || item->quoted)
            return std::nullopt;
        return parseWholeNumber(item->text);
    }

    std::optional<ColourValue> colour()
    {
        const auto item = next(Kind::Number);
        if (!item || item->quoted || item->text.isEmpty())
            return std::nullopt;
        ColourValue value = 0;
        for (const QChar c : item->text) {
            if (!isDecimalDigit(c.unicode()))
                return std::nullopt;
            value = value * 10 + ColourValue(c.unicode() - u'0');
            // Checked at every digit, so the sum never wraps however long the item is.
            if (value > largestColour)
                return std::nullopt;
        }
        return value;
    }

    std::optional<bool> flag()
    {
        const auto item = next(Kind::Number);
        if (!item || item->quoted)
            return std::nullopt;
        if (item->text.compare(u"#TRUE#", Qt::CaseInsensitive) == 0)
            return true;
        if (item->text.compare(u"#FALSE#", Qt::CaseInsensitive) == 0)
            return false;
        const auto value = parseWholeNumber(item->text);
        if (!value)
            return std::nullopt;
        return *value != 0.0;
    }

private:
    /// An unquoted number (or Boolean) also ends at a blank; unquoted text runs on to the comma.
    enum class Kind { Text, Number };
    struct Item {
        QStringView text;
        bool quoted = false;
        bool closed = true; ///< false for a quote left open at the end of its line
    };

    QChar at(qsizetype i) const { return m_text[i]; }

    void skipBlanks()
    {
        while (!atEnd() && isBlank(at(m_pos)))
            ++m_pos;
    }

    void skipPastLineEnd()
    {
        while (!atEnd() && !isLineEnd(at(m_pos)))
            ++m_pos;
        consumeSeparator();
    }

    /// Takes the comma or line end (CR LF, CR or LF) at the reading position, if any.
    void consumeSeparator()
    {
        if (atEnd()) {
            m_atLineStart = true;
            return;
        }
        const QChar c = at(m_pos);
        if (c == u',') {
            ++m_pos;
            m_atLineStart = false;
        } else if (c == u'\r') {
            ++m_pos;
            if (!atEnd() && at(m_pos) == u'\n')
                ++m_pos;
            m_atLineStart = true;
        } else if (c == u'\n') {
            ++m_pos;
            m_atLineStart = true;
        }
    }

    /// The next item, or nothing at the end of the data.
    std::optional<Item> next(Kind kind)
    {
        skipBlanks();
        if (atEnd())
            return std::nullopt;
        Item item;
        if (at(m_pos) == u'"') {
            item.quoted = true;
            const qsizetype start = ++m_pos;
            while (!atEnd() && at(m_pos) != u'"' && !isLineEnd(at(m_pos)))
                ++m_pos;
            item.text = m_text.sliced(start, m_pos - start);
            if (!atEnd() && at(m_pos) == u'"') {
                ++m_pos;
                while (!atEnd() && at(m_pos) != u',' && !isLineEnd(at(m_pos)))
                    ++m_pos;
            } else {
                item.closed = false;
            }
            consumeSeparator();
            return item;
        }
        const qsizetype start = m_pos;
        while (!atEnd() && at(m_pos) != u',' && !isLineEnd(at(m_pos)) && !(kind == Kind::Number && isBlank(at(m_pos))))
            ++m_pos;
        item.text = m_text.sliced(start, m_pos - start);
        if (kind == Kind::Number && !atEnd() && isBlank(at(m_pos))) {
            skipBlanks();
            // A comma or line end after the blanks still closes this item; anything else is the next item,
            // which the blank has already separated from this one.
            if (atEnd() || at(m_pos) == u',' || isLineEnd(at(m_pos)))
                consumeSeparator();
            else
                m_atLineStart = false;
            return item;
        }
        consumeSeparator();
        return item;
    }

    QStringView m_text;
    qsizetype m_pos = 0;
    qsizetype m_tableLineStart = 0;
    bool m_atLineStart = true;
};

/// The first line of the table: the three times and the wave path.
std::optional<std::pair<TalkTimes, QString>> readTimesLine(ItemReader& items)
{
    TalkTimes times;
    for (double* time : {&times.presentation, &times.discussion, &times.warning}) {
        const auto value = items.number();
        if (!value)
            return std::nullopt;
        *time = *value;
    }
    auto path = items.text();
    if (!path)
        return std::nullopt;
    return std::pair{times, std::move(*path)};
}

struct PairLine {
    QString heading;
    ColourValue foreground = 0;
    ColourValue background = 0;
};

std::optional<PairLine> readPairLine(ItemReader& items)
{
    PairLine line;
    auto heading = items.text();
    if (!heading)
        return std::nullopt;
    line.heading = std::move(*heading);
    const auto foreground = items.colour();
    if (!foreground)
        return std::nullopt;
    const auto background = items.colour();
    if (!background)
        return std::nullopt;
    line.foreground = *foreground;
    line.background = *background;
    return line;
}

QString decodeSettings(QByteArrayView bytes)
{
    const QByteArrayView bom(utf8Bom);
    if (bytes.startsWith(bom))
        return QString::fromUtf8(bytes.sliced(bom.size()));
    bool valid = false;
    QString text = Cp932::decode(bytes, &valid);
    if (valid)
        return text;
    QStringDecoder fromUtf8(QStringConverter::Utf8);
    QString asUtf8 = fromUtf8(bytes);
    if (!fromUtf8.hasError())
        return asUtf8;
    return text;
}

QString quoted(QString text)
{
    text.replace(u'"', quoteStandIn);
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return u'"' + text + u'"';
}

QString flagItem(bool value)
{
    return value ? u"#TRUE#"_s : u"#FALSE#"_s;
}

} // namespace

QString settingsPath(const QString& folder)
{
    const QString name = QString::fromUtf16(settingsFileName);
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

void readSettings(const FileAccess& files, const QString& path, SettingsRecord& record)
{
    const auto bytes = files.readOrdinaryFile(path, maxSettingsFileBytes);
    if (!bytes) {
        // No file is the normal first start; a file that is there but cannot be read is told of by the file access.
        qCDebug(lcSettings, "no settings read from %s", qUtf8Printable(path));
        return;
    }
    readSettingsBytes(*bytes, record);
}

void readSettingsBytes(QByteArrayView bytes, SettingsRecord& record)
{
    if (bytes.size() > maxSettingsFileBytes)
        return;
    const QString text = decodeSettings(bytes);
    ItemReader items(text);

    items.beginTableLine();
    const auto timesLine = readTimesLine(items);
    items.endTableLine(timesLine.has_value());
    // Negative times, or a warning before the presentation has begun, are refused together with their path.
    if (timesLine) {
        const auto& [times, wavePath] = *timesLine;
        if (times.presentation >= 0 && times.discussion >= 0 && times.warning >= 0 &&
            times.presentation >= times.warning) {
            record.setTimes(times);
            record.setText(SettingsRecord::Text::wavefile, wavePath);
        }
    }

    for (int k = 1; k <= 4; ++k) {
        items.beginTableLine();
        const auto pair = readPairLine(items);
        items.endTableLine(pair.has_value());
        if (!pair)
            continue;
        record.setText(SettingsRecord::Text(int(SettingsRecord::Text::Text1) + k - 1), pair->heading);
        record.setColour(SettingsRecord::foregroundSwatch(k), pair->foreground);
        record.setColour(SettingsRecord::backgroundSwatch(k), pair->background);
    }

    // The row mode is optional: a five-line file keeps the one the record has. A blank line here reads as an
    // empty first item, which is no Boolean, so it too leaves the row mode alone.
    if (items.atEnd())
        return;
    std::optional<bool> flags[3];
    for (auto& flag : flags) {
        flag = items.flag();
        if (!flag)
            return;
    }
    // Applied in order through the option group, so the last true flag wins and all false selects none.
    for (int n = 1; n <= 3; ++n)
        record.setOption(n, *flags[n - 1]);
}

QByteArray settingsFileBytes(const TalkTimes& times, const SettingsRecord& record)
{
    const QString lineEnd = u"\r\n"_s;
    QString text;
    text += renderNumber(times.presentation) + u',' + renderNumber(times.discussion) + u',' +
            renderNumber(times.warning) + u',' + quoted(record.text(SettingsRecord::Text::wavefile)) + lineEnd;
    for (int k = 1; k <= 4; ++k) {
        text += quoted(record.heading(k)) + u',' + QString::number(record.foreground(k)) + u',' +
                QString::number(record.background(k)) + lineEnd;
    }
    text +=
        flagItem(record.option(1)) + u',' + flagItem(record.option(2)) + u',' + flagItem(record.option(3)) + lineEnd;
    if (auto bytes = Cp932::encode(text))
        return *bytes;
    return QByteArray(utf8Bom) + text.toUtf8();
}

FileAccess::WriteResult writeSettings(FileAccess& files, const QString& path, const TalkTimes& times,
                                      const SettingsRecord& record)
{
    const QByteArray bytes = settingsFileBytes(times, record);
    // The reader refuses a file this large, so writing it would lose every setting at the next start.
    FileAccess::WriteResult result;
    if (path.isEmpty()) {
        result.error = u"保存先がありません。ホームフォルダー（HOME）も XDG_CONFIG_HOME も使えません。"_s;
    } else if (bytes.size() > maxSettingsFileBytes) {
        result.error = u"設定ファイルが %1 バイトを超えるため保存できません。見出しかファイル名が長すぎます。"_s.arg(
            maxSettingsFileBytes);
    } else {
        result = files.writeWhole(path, bytes);
    }
    if (!result.ok)
        qCWarning(lcSettings, "settings not saved to %s: %s", qUtf8Printable(path), qUtf8Printable(result.error));
    return result;
}
