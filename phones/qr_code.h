#pragma once
// A QR code of a text, as libqrencode makes it: a square of dark and light modules, without the
// quiet zone around it (whoever paints it leaves four light modules on every side).

#include <QByteArray>
#include <QList>

struct QrCode {
    int size = 0;     // modules on a side; 0 when the text could not be encoded
    QList<bool> dark; // row by row
    bool at(int x, int y) const { return dark.at(y * size + x); }
};

// Error correction M (15 % of the code may be unreadable), 8-bit data.
QrCode encodeQr(const QByteArray &text);
