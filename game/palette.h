#pragma once
// The colours of the caller's window, in one place: the window, the board and the controls that
// the game recolours. Plain RGB, so the game layer needs no Qt GUI.

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    constexpr bool operator==(const Rgb &) const = default;
};

namespace Palette
{
// The window, most buttons and labels, the big number and the drawn board cells.
inline constexpr Rgb lightCyan{192, 255, 255};
// Cells not drawn, locked claim boxes.
inline constexpr Rgb white{255, 255, 255};
// The boxes of the prize under check.
inline constexpr Rgb lightYellow{255, 255, 192};
// A claimed number found among the drawn ones, and one that is not (or is claimed twice).
inline constexpr Rgb lightGreen{192, 255, 192};
inline constexpr Rgb lightRed{255, 170, 170};
// The big number while the last numbers are repeated.
inline constexpr Rgb red{255, 0, 0};
// The blocks of the board, top to bottom row; green is also the card panel's.
inline constexpr Rgb green{128, 255, 128};
inline constexpr Rgb orange{255, 192, 128};
inline constexpr Rgb blue{128, 128, 255};
inline constexpr Rgb blockRows[3] = {green, orange, blue};
// Texts: what went wrong, and a claim found valid.
inline constexpr Rgb errorText{176, 0, 0};
inline constexpr Rgb validText{0, 96, 0};
// The claim panel and the frame of the board.
inline constexpr Rgb pink{255, 192, 192};
inline constexpr Rgb yellow{255, 255, 128};
} // namespace Palette
