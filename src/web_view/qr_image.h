#pragma once

#include <QImage>
#include <QString>

/// `text` as a QR code (error correction M) of `moduleSize` pixels a module, with the quiet zone of four modules
/// around it; a null image when the text does not fit in a QR code.
QImage qrImage(const QString& text, int moduleSize);
