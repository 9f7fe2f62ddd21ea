#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

/// Code page 932 (Shift-JIS as Windows writes it), through the C library's converter.
namespace Cp932 {

/// The text in code page 932, or nothing when some character has no code page 932 form that reads back as
/// the same character (an emoji, "é", or "¥", which code page 932 would turn into a backslash).
std::optional<QByteArray> encode(QStringView text);

/// The text of code page 932 bytes; each byte that does not begin a valid character reads as U+FFFD, so
/// nothing fails. `allValid`, when given, tells whether every byte was valid.
QString decode(QByteArrayView bytes, bool* allValid = nullptr);

} // namespace Cp932
