#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

/// A display pattern in which every "nn" stands for the two-digit minute within the hour and every "ss" for
/// the two-digit second of a count; all other characters are copied as they stand.
class CountPattern {
public:
    CountPattern() = default;
    explicit CountPattern(const QString& pattern);

    /// One-line form: the heading, fill spaces up to the width of eight full-width characters, " nn分ss秒".
    static CountPattern oneLine(const QString& heading);
    /// Two-line form: the heading, CR LF, "nn 分 ss 秒".
    static CountPattern twoLine(const QString& heading);

    /// The pattern with count (seconds) filled in; a negative count renders as zero.
    QString render(qint64 count) const;

private:
    struct Field {
        qsizetype at; ///< where the two digits go in m_zero
        bool minutes; ///< minute within the hour, else second within the minute
    };

    // The pattern is split once, so that a tick only copies m_zero and writes the digits into it.
    QString m_zero; ///< the pattern rendered with a count of zero
    std::vector<Field> m_fields;
};

/// Rounds to the nearest whole number, an exact half going to the even neighbour; saturates at the ends of
/// the 64-bit range and reads NaN as 0.
qint64 roundHalfEven(double seconds);
