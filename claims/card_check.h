#pragma once
// The check of a printed card by its code: the card rebuilt from the code, its numbers already drawn
// marked, how many are out in each row, the prizes it holds with their draws, and for a card of
// tonight what the ladder of prizes says of it. Texts only: the dialog that shows them knows no rule.

#include "cards/card_code.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>

class CardsInPlay;
class PrizeDesk;

struct CardCheckResult {
    CardCode code;
    Cartella card;
    CardResult result;
    QString title;                   // "Cartella 4 della serie 7KQ3M, dopo 12 numeri estratti"
    std::array<QString, 3> rowLines; // "riga 1: 3 numeri usciti"
    QString best;                    // "terno", "TOMBOLA!", "nessun premio"
    QStringList moments;             // "ambo alla 3ª estrazione (l'11)"
    QString notice;                  // a card not printed tonight, or declared void, says so
    QString verdict;                 // what the ladder gave, "Vince il TERNO alla 3ª estrazione."
    Prize fanfare = Prize::None;     // the prize to cheer, if any
};

// Checks the code `typed` against `drawn`, the numbers of the current game in draw order.
// `inPlay`: the cards printed tonight, the only ones that can win; null accepts every code.
// `desk`: the ladder a card of tonight is put to; with none, only a tombola is cheered. False, with
// `why` in Italian for the caller, when the code does not read.
bool checkCard(const QString &typed, const QList<int> &drawn, const CardsInPlay *inPlay, PrizeDesk *desk,
               CardCheckResult *found, QString *why);
