#pragma once
// La smorfia: the traditional meaning of each number of the draw, in our own short words.

#include <QString>

// The meaning of `n` (1..90), lower case and without accents; empty outside 1..90.
QString meaningOf(int n);

// The clip key that speaks the meaning of `n`: "smorfia<n>".
QString meaningClipKey(int n);
