#pragma once

#include <QString>
#include <QStringView>

#include <optional>

/// The digits a number is written with: ASCII 0 to 9, never full-width or other digits.
constexpr bool isDecimalDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

/// The leading number of a time text, in minutes: blanks, tabs and line feeds are passed over, then an
/// optional sign, digits with at most one "." and an optional exponent are read up to the first character
/// that does not fit. A text without a leading number, or one whose number does not fit a double, reads as 0.
double parseNumber(const QString& text);

/// A plain decimal number filling the whole text, as the settings file holds one: sign, digits with at most
/// one ".", an optional exponent, nothing else; no blank anywhere. Nothing for any other text, or for a number
/// that does not fit a double.
std::optional<double> parseWholeNumber(QStringView text);

/// Plain decimal text that parseNumber reads back to the same value: "." as the point, no exponent, no
/// trailing zeros, no point for whole numbers ("10", "2.5", "-0.125").
QString renderNumber(double value);
