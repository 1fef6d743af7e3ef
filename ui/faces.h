#pragma once

// Maps the face names the window asks for onto the free faces a Debian machine installs:
// the script face of Corsivo, the board's bold sans and the narrow sans of the big number.
void installFaceSubstitutes();
