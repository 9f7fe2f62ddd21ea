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

bool isNeverSkipped(char16_t)
{
    return false;
}

/// A decimal number found at the start of a text, as ASCII for from_chars.
struct ScannedNumber {
    std::string ascii; ///< sign, digits, point and exponent, without the characters passed over
    qsizetype end = 0; ///< where the number ends in the text
};

/// The decimal number at the start of `text`: an optional sign, digits with at most one ".", and an exponent
/// that counts only when at least one digit follows its optional sign. Characters for which `skipped` holds are
/// passed over anywhere in it, as they are in a typed "1 0". Nothing when no digit comes before the exponent.
std::optional<ScannedNumber> scanNumber(QStringView text, bool (*skipped)(char16_t))
{
    ScannedNumber out;
    out.ascii.reserve(std::size_t(text.size()));
    const qsizetype n = text.size();
    auto skip = [&](qsizetype& at) {
        while (at < n && skipped(text[at].unicode()))
            ++at;
    };
    qsizetype i = 0;
    skip(i);
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        out.ascii.push_back(char(text[i++].unicode()));
    bool sawDigit = false;
    bool sawPoint = false;
    for (;; ++i) {
        skip(i);
        if (i >= n)
            break;
        const char16_t c = text[i].unicode();
        if (isDecimalDigit(c)) {
            sawDigit = true;
        } else if (c == u'.' && !sawPoint) {
            sawPoint = true;
        } else {
            break;
        }
        out.ascii.push_back(char(c));
    }
    if (!sawDigit)
        return std::nullopt;
    out.end = i;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        std::string exponent = "e";
        qsizetype j = i + 1;
        skip(j);
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            exponent.push_back(char(text[j++].unicode()));
        bool exponentDigit = false;
        for (;; ++j) {
            skip(j);
            if (j >= n || !isDecimalDigit(text[j].unicode()))
                break;
            exponentDigit = true;
            exponent.push_back(char(text[j].unicode()));
        }
        if (exponentDigit) {
            out.ascii += exponent;
            out.end = j;
        }
    }
    return out;
}

/// The value of a scanned number. from_chars, unlike strtod, never depends on LC_NUMERIC.
std::from_chars_result convert(const std::string& ascii, double& value)
{
    const char* first = ascii.data();
    if (*first == '+')
        ++first;
    return std::from_chars(first, ascii.data() + ascii.size(), value);
}

} // namespace

double parseNumber(const QString& text)
{
    const auto number = scanNumber(text, isSkipped);
    if (!number)
        return 0.0;
    double value = 0.0;
    const auto [end, error] = convert(number->ascii, value);
    if (error == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow has no meaning as minutes and reads as no number.
        return 0.0;
    }
    if (error != std::errc() || !std::isfinite(value))
        return 0.0;
    return value;
}

std::optional<double> parseWholeNumber(QStringView text)
{
    const auto number = scanNumber(text, isNeverSkipped);
    if (!number || number->end != text.size())
        return std::nullopt;
    double value = 0.0;
    const auto [end, error] = convert(number->ascii, value);
    if (error != std::errc() || end != number->ascii.data() + number->ascii.size() || !std::isfinite(value))
        return std::nullopt;
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
