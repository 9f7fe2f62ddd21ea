#include "settings/cp932.h"

#include "platform/windows/windows_api.h"

namespace {

constexpr UINT codePage = 932;

/// The character of a single byte: ASCII, and the half-width katakana in their fixed order. Windows gives the few
/// other single bytes (0x80, 0xA0, 0xFD to 0xFF) private characters of its own that no other reader of the file
/// shares, so they count as bytes with no character, as lead bytes do here.
std::optional<char16_t> singleByteCharacter(unsigned char byte)
{
    if (byte < 0x80)
        return char16_t(byte);
    if (byte >= 0xA1 && byte <= 0xDF)
        return char16_t(0xFF61 + (byte - 0xA1));
    return std::nullopt;
}

bool isLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

/// The character of a lead byte and the byte after it, or nothing when the two make none.
std::optional<char16_t> doubleByteCharacter(const char* pair)
{
    wchar_t character = 0;
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, pair, 2, &character, 1) != 1)
        return std::nullopt;
    return char16_t(character);
}

} // namespace

namespace Cp932 {

std::optional<QByteArray> encode(QStringView text)
{
    if (text.isEmpty())
        return QByteArray();
    const auto* source = reinterpret_cast<const wchar_t*>(text.utf16());
    const int sourceSize = int(text.size());
    // No best fit: "é" would otherwise quietly become "e".
    BOOL usedDefault = FALSE;
    const int size =
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, source, sourceSize, nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    QByteArray result(size, Qt::Uninitialized);
    if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, source, sourceSize, result.data(), size, nullptr,
                            &usedDefault) != size ||
        usedDefault)
        return std::nullopt;
    // Some characters map to a byte that reads back as another character; writing them would change the text
    // without a trace.
    bool valid = false;
    if (decode(result, &valid) != text || !valid)
        return std::nullopt;
    return result;
}

QString decode(QByteArrayView bytes, bool* allValid)
{
    QString text;
    text.reserve(bytes.size());
    bool valid = true;
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        std::optional<char16_t> character = singleByteCharacter(byte);
        if (!character && isLeadByte(byte) && at + 1 < bytes.size()) {
            character = doubleByteCharacter(bytes.data() + at);
            if (character)
                ++at;
        }
        if (!character) {
            // An invalid or cut-off sequence: its first byte only, so that a stray lead byte does not swallow the
            // comma, quote or line end that follows it.
            character = QChar::ReplacementCharacter;
            valid = false;
        }
        text += QChar(*character);
    }
    if (allValid)
        *allValid = valid;
    return text;
}

} // namespace Cp932
