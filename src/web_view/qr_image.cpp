#include "web_view/qr_image.h"

#include <QPainter>

#include <qrencode.h>

#include <memory>

QImage qrImage(const QString& text, int moduleSize)
{
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.toUtf8().constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code)
        return {};
    constexpr int quietZone = 4;
    const int width = code->width;
    const int side = (width + 2 * quietZone) * moduleSize;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < width; ++y) {
        for (int x = 0; x < width; ++x) {
            // The low bit of each byte is the module's colour: 1 dark.
            if (code->data[y * width + x] & 1)
                painter.fillRect((x + quietZone) * moduleSize, (y + quietZone) * moduleSize, moduleSize, moduleSize,
                                 Qt::black);
        }
    }
    return image;
}
