#include "phones/qr_code.h"

#include <qrencode.h>

QrCode encodeQr(const QByteArray &text)
{
    QrCode code;
    // Each run of the text in its most compact mode (capitals and digits take less room).
    QRcode *made = QRcode_encodeString(text.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (!made) return code;
    code.size = made->width;
    code.dark.reserve(qsizetype(made->width) * made->width);
    // Bit 0 of each byte is the module's colour; the others say what the module is part of.
    for (int i = 0; i < made->width * made->width; ++i)
        code.dark << ((made->data[i] & 1) != 0);
    QRcode_free(made);
    return code;
}
