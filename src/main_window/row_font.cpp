#include "main_window/row_font.h"

#include "platform/log_categories.h"
#include "settings/settings_record.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>

#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// What the rows show: the default headings, the fill spaces, the digits and the units.
constexpr char16_t halfWidth[] = u"0123456789 ";

QString fullWidthCharacters()
{
    QString characters;
    for (int k = 1; k <= 4; ++k) {
        for (const QChar c : defaultHeading(k)) {
            if (!characters.contains(c))
                characters += c;
        }
    }
    return characters + u"分秒\u3000"_s;
}

bool doubleWidthAt(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const QString halves = QString::fromUtf16(halfWidth);
    static const QString fulls = fullWidthCharacters();
    const double half = metrics.horizontalAdvance(halves.front());
    if (!(half > 0.0))
        return false;
    // Widths are fractional at the sizes the rows use; allow only rounding noise.
    const double tolerance = half * 1e-3;
    for (const QChar c : halves) {
        if (!metrics.inFont(c) || std::abs(metrics.horizontalAdvance(c) - half) > tolerance)
            return false;
    }
    for (const QChar c : fulls) {
        if (!metrics.inFont(c) || std::abs(metrics.horizontalAdvance(c) - 2.0 * half) > tolerance)
            return false;
    }
    return true;
}

} // namespace

bool hasDoubleWidthCharacters(const QFont& font)
{
    // Checked at a small and at a display size, so a face hinted to whole pixels at one size is caught.
    for (const double size : {12.0, 41.3}) {
        QFont sized = font;
        sized.setPointSizeF(size);
        if (!doubleWidthAt(sized))
            return false;
    }
    return true;
}

QStringList preferredRowFamilies()
{
    return {u"ＭＳ ゴシック"_s,    u"MS Gothic"_s,   u"Noto Sans Mono CJK JP"_s, u"Source Han Code JP"_s,
            u"IPAGothic"_s,        u"IPAゴシック"_s, u"TakaoGothic"_s,           u"VL Gothic"_s,
            u"Ricty Diminished"_s, u"Migu 1M"_s,     u"Droid Sans Japanese"_s};
}

QStringList rowFamilyCandidates()
{
    QStringList candidates = preferredRowFamilies();
    for (const QString& family : QFontDatabase::families(QFontDatabase::Japanese)) {
        if (!candidates.contains(family, Qt::CaseInsensitive))
            candidates << family;
    }
    return candidates;
}

namespace {

QString firstDoubleWidthFamily(const QStringList& candidates)
{
    // Membership in the list of installed faces, not hasFamily(): asking for a missing face by name makes the
    // font system resolve it as an alias, which costs start-up time.
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : candidates) {
        if (installed.contains(family, Qt::CaseInsensitive) && hasDoubleWidthCharacters(rowFont(family, 12.0)))
            return family;
    }
    return {};
}

} // namespace

QString chooseRowFamily(const QStringList& candidates)
{
    const QString family = firstDoubleWidthFamily(candidates);
    if (!family.isEmpty())
        return family;
    const QString fallback = QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family();
    // Without a Japanese face the headings are boxes; the user must learn why, once, where it can be read.
    static bool told = false;
    if (!std::exchange(told, true)) {
        qWarning("lectern: no Japanese font whose full-width characters are twice as wide as half-width ones is "
                 "installed (fonts-ipafont-gothic has one); the headings may show as boxes");
    }
    return fallback;
}

QString chooseRowFamily()
{
    // Listing every Japanese face asks each one for its writing systems, which costs start-up time; the
    // known faces are tried first and the full list only when none of them is installed and fits.
    QString family = firstDoubleWidthFamily(preferredRowFamilies());
    if (family.isEmpty())
        family = chooseRowFamily(rowFamilyCandidates());
    qCDebug(lcFont, "rows in %s", qUtf8Printable(family));
    return family;
}

QFont rowFont(const QString& family, double pointSize)
{
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}
