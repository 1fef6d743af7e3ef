#pragma once
// The Italian words of the numbers 1 to 90, and the case directive of the writing modes.

#include "game/lista90.h"
#include <QString>

// Fills entry n of the table with the word of n, lower case and without accents.
void riempi_numeri_in_lettere(Lista90 &numeri_in_lettere);

// Applies the case directive: ">" every letter upper case, "<" every letter lower case.
QString applica_maiuscole(const QString &parola, const QString &direttiva);
