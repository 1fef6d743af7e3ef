#pragma once

// Maps the face names the window asks for onto the free faces a Debian machine installs:
// the script face of Corsivo, the board's bold sans and the narrow sans of the big number.
void installFaceSubstitutes();

// The big number (72 points, 96 pixels) is drawn from its outline at every paint: Qt 6.4 draws
// glyphs above 64 pixels blank when QT_MAX_CACHED_GLYPH_SIZE lets it keep them as images, so the
// limit stays where Qt sets it.
