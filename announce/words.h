#pragma once
// The Italian words of the numbers 1 to 90, and the case directive of the writing modes.

#include <QString>

// The word of n (1..90), lower case and without accents; std::out_of_range outside 1..90.
QString parola_del_numero(int n);

// Applies the case directive: ">" every letter upper case, "<" every letter lower case.
QString applica_maiuscole(const QString &parola, const QString &direttiva);

// "il 45", "l'8": a number with the article its name takes (uno, otto, undici, ottanta...).
QString numberWithArticle(int n);
