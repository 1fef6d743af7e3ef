#pragma once

// Maps the face names the window asks for onto the free faces a Debian machine installs:
// the script face of Corsivo, the board's bold sans and the narrow sans of the big number.
void installFaceSubstitutes();

// Qt draws a glyph larger than 64 pixels from its outline every time; the big number (72 points,
// 96 pixels, twice that on a doubled screen) and the figures of the room's board are larger. Lets
// Qt keep glyphs up to 256 pixels as images instead, unless QT_MAX_CACHED_GLYPH_SIZE says otherwise.
// Before the application object is made: Qt reads the limit once, at the first text it draws.
void cacheLargeGlyphs();
