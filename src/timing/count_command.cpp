#include "timing/count_command.h"

#include <algorithm>
#include <cmath>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// An optional sign, then digits with at most one point among or around them, and at least one digit.
bool plainDecimal(QByteArrayView text)
{
    if (text.startsWith('+') || text.startsWith('-'))
        text = text.sliced(1);
    bool point = false;
    bool digit = false;
    for (const char c : text) {
        if (isDigit(c))
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

} // namespace

const CountCommandSpelling* countCommandSpelling(QByteArrayView name)
{
    const auto found = std::find_if(countCommandSpellings.cbegin(), countCommandSpellings.cend(),
                                    [name](const CountCommandSpelling& s) { return name == s.text; });
    return found == countCommandSpellings.cend() ? nullptr : &*found;
}

std::optional<double> adjustmentSeconds(QByteArrayView text)
{
    if (!plainDecimal(text))
        return std::nullopt;
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    // Too many digits read as infinity, which the bound turns away with the rest.
    if (!ok || !(std::fabs(seconds) <= largestAdjustSeconds))
        return std::nullopt;
    return seconds;
}

std::optional<CountCommand> parseCountCommand(QByteArrayView name, QByteArrayView argument)
{
    const CountCommandSpelling* spelling = countCommandSpelling(name);
    if (!spelling)
        return std::nullopt;
    if (!spelling->takesSeconds)
        return argument.isEmpty() ? std::optional(CountCommand{spelling->name, 0.0}) : std::nullopt;
    const std::optional<double> seconds = adjustmentSeconds(argument);
    return seconds ? std::optional(CountCommand{spelling->name, *seconds}) : std::nullopt;
}

std::optional<CountCommand> parseCountCommand(QByteArrayView text)
{
    const qsizetype equals = text.indexOf('=');
    if (equals < 0) {
        const CountCommandSpelling* spelling = countCommandSpelling(text);
        // "adjust" alone says nothing of how far.
        return spelling && !spelling->takesSeconds ? parseCountCommand(text, {}) : std::nullopt;
    }
    const CountCommandSpelling* spelling = countCommandSpelling(text.first(equals));
    if (!spelling || !spelling->takesSeconds)
        return std::nullopt;
    return parseCountCommand(text.first(equals), text.sliced(equals + 1));
}

QByteArray countCommandText(const CountCommand& command)
{
    const auto spelling = std::find_if(countCommandSpellings.cbegin(), countCommandSpellings.cend(),
                                       [&command](const CountCommandSpelling& s) { return s.name == command.name; });
    QByteArray text(spelling->text);
    if (!spelling->takesSeconds)
        return text;
    QByteArray seconds = QByteArray::number(command.seconds, 'f', 6);
    while (seconds.endsWith('0'))
        seconds.chop(1);
    if (seconds.endsWith('.'))
        seconds.chop(1);
    return text + '=' + seconds;
}
