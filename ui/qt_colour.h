#pragma once
// The palette's colours as Qt colours.

#include "game/palette.h"

#include <QColor>

inline QColor qColour(Rgb c)
{
    return QColor(c.red, c.green, c.blue);
}
