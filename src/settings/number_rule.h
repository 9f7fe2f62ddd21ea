#pragma once

#include <QString>

/// The leading number of a time text, in minutes: blanks, tabs and line feeds are passed over, then an
/// optional sign, digits with at most one "." and an optional exponent are read up to the first character
/// that does not fit. A text without a leading number, or one whose number does not fit a double, reads as 0.
double parseNumber(const QString& text);

/// Plain decimal text that parseNumber reads back to the same value: "." as the point, no exponent, no
/// trailing zeros, no point for whole numbers ("10", "2.5", "-0.125").
QString renderNumber(double value);
