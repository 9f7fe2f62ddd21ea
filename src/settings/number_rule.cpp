#include "settings/number_rule.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

bool isSkipped(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

double parseNumber(const QString& text)
{
    // Collect the characters of the leading number as ASCII; skipped characters may stand anywhere in it,
    // as they do in a typed "1 0".
    std::string number;
    number.reserve(std::size_t(text.size()));
    bool sawDigit = false;
    bool sawPoint = false;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skip = [&] {
        while (i < n && isSkipped(text.at(i).unicode()))
            ++i;
    };
    skip();
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        number.push_back(char(text.at(i++).unicode()));
    for (;; ++i) {
        skip();
        if (i >= n)
            break;
        const char16_t c = text.at(i).unicode();
        if (isDigit(c)) {
            sawDigit = true;
        } else if (c == u'.' && !sawPoint) {
            sawPoint = true;
        } else {
            break;
        }
        number.push_back(char(c));
    }
    if (!sawDigit)
        return 0.0;
    // An exponent counts only when at least one digit follows its optional sign.
    if (i < n && (text.at(i) == u'e' || text.at(i) == u'E')) {
        std::string exponent = "e";
        qsizetype j = i + 1;
        auto skipAt = [&] {
            while (j < n && isSkipped(text.at(j).unicode()))
                ++j;
        };
        skipAt();
        if (j < n && (text.at(j) == u'+' || text.at(j) == u'-'))
            exponent.push_back(char(text.at(j++).unicode()));
        bool exponentDigit = false;
        for (;; ++j) {
            skipAt();
            if (j >= n || !isDigit(text.at(j).unicode()))
                break;
            exponentDigit = true;
            exponent.push_back(char(text.at(j).unicode()));
        }
        if (exponentDigit)
            number += exponent;
    }
    // strtod in the C locale would depend on LC_NUMERIC; from_chars never does.
    const char* first = number.data();
    if (*first == '+')
        ++first;
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow has no meaning as minutes and reads as no number.
        return 0.0;
    }
    if (error != std::errc() || !std::isfinite(value))
        return 0.0;
    return value;
}

QString renderNumber(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == 0.0)
        return QStringLiteral("0"); // also for -0, which would otherwise read "-0"
    // Fixed notation with the fewest digits that read back to the same double.
    char buffer[400];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error != std::errc())
        return QStringLiteral("0");
    return QString::fromLatin1(buffer, end - buffer);
}
