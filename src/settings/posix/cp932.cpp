#include "settings/cp932.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

constexpr char codePage[] = "CP932";
constexpr char utf8[] = "UTF-8";
constexpr char replacementUtf8[] = "\xEF\xBF\xBD";

/// One conversion descriptor, closed on every way out.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (isOpen())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool isOpen() const { return m_cd != iconv_t(-1); }

    /// Converts as much as it can; on return `in` points at the first byte not converted.
    /// Returns 0 when all input was converted, otherwise the errno iconv reported.
    int convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft)
    {
        // glibc declares the input pointer non-const but never writes through it.
        char* inCursor = const_cast<char*>(in);
        const std::size_t result = iconv(m_cd, &inCursor, &inLeft, &out, &outLeft);
        in = inCursor;
        return result == std::size_t(-1) ? errno : 0;
    }

    void resetState() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t m_cd;
};

} // namespace

namespace Cp932 {

std::optional<QByteArray> encode(QStringView text)
{
    const QByteArray source = text.toUtf8();
    Converter converter(codePage, utf8);
    if (!converter.isOpen())
        return std::nullopt;
    // No character takes more bytes in code page 932 than in UTF-8, except that nothing takes more than two.
    QByteArray result(source.size() * 2 + 4, Qt::Uninitialized);
    const char* in = source.constData();
    std::size_t inLeft = std::size_t(source.size());
    char* out = result.data();
    std::size_t outLeft = std::size_t(result.size());
    if (converter.convert(in, inLeft, out, outLeft) != 0)
        return std::nullopt;
    result.truncate(result.size() - qsizetype(outLeft));
    // Some characters map to a byte that reads back as another character ("¥" becomes "\", "〜" becomes
    // "～"); writing them would change the text without a trace.
    bool valid = false;
    if (decode(result, &valid) != text || !valid)
        return std::nullopt;
    return result;
}

QString decode(QByteArrayView bytes, bool* allValid)
{
    bool valid = true;
    QByteArray target;
    Converter converter(utf8, codePage);
    if (!converter.isOpen()) {
        // Without the converter only ASCII can be read with confidence.
        for (const char byte : bytes) {
            if (static_cast<unsigned char>(byte) < 0x80) {
                target.append(byte);
            } else {
                target.append(replacementUtf8);
                valid = false;
            }
        }
    } else {
        // A code page 932 byte becomes at most three UTF-8 bytes, and so does a replaced byte.
        target.resize(bytes.size() * 3 + 4);
        const char* in = bytes.data();
        std::size_t inLeft = std::size_t(bytes.size());
        char* out = target.data();
        std::size_t outLeft = std::size_t(target.size());
        while (inLeft > 0) {
            const int error = converter.convert(in, inLeft, out, outLeft);
            if (error == 0)
                break;
            if (error == E2BIG) {
                // Not expected given the bound above; grow rather than lose text.
                const qsizetype used = out - target.data();
                target.resize(target.size() * 2);
                out = target.data() + used;
                outLeft = std::size_t(target.size() - used);
                continue;
            }
            // An invalid or cut-off sequence: replace its first byte only, so that a stray lead byte does not
            // swallow the comma, quote or line end that follows it.
            valid = false;
            if (outLeft < 3) {
                const qsizetype used = out - target.data();
                target.resize(target.size() + 16);
                out = target.data() + used;
                outLeft = std::size_t(target.size() - used);
            }
            std::memcpy(out, replacementUtf8, 3);
            out += 3;
            outLeft -= 3;
            ++in;
            --inLeft;
            converter.resetState();
        }
        target.truncate(out - target.data());
    }
    if (allValid)
        *allValid = valid;
    return QString::fromUtf8(target);
}

} // namespace Cp932
