#pragma once
// The verbale of an evening: a report in Italian for the organiser and, for an association's
// tombola, the official present. The club, date, place, organiser and official present, the
// register of the cards (by run and series, the void and the sold, the takings), start and end, when the
// evening was interrupted and resumed, the cards in play run by run, each game's numbers in draw order with
// their times and the draw's seal and secret, the unsold cards declared void, the prizes with their draw,
// winners, how they were confirmed and what each was paid, a game left unfinished, the claims refused, the
// numbers taken back, the prizes handed over, the evening's totals, and lines to sign.
//
// Made of pieces that a page never splits (a heading kept with what follows it, a paragraph, a row
// of a table with its header repeated on a new page), laid out as a printed form by the window's
// side (verbalePdf); as HTML whole for a look at it.

#include "evening/stored_evening.h"

#include <QList>
#include <QString>
#include <QStringList>

// The club that ran the evening, as the caller set it (either may be empty).
struct ClubInfo {
    QString name;
    QString contact;
};

// Who signs the verbale and where the evening was held, as the caller wrote them in the dialog
// that makes it (any may be empty: a line to fill is printed instead).
struct VerbaleSigners {
    QString place;
    QString organiser;
    QString delegate; // the official present for the mayor
};

struct VerbaleBlock {
    QString html;              // a heading or a paragraph; empty for a row
    QStringList cells;         // a row of a table: each cell's rich text
    QList<int> columns;        // a row's columns, in percent of the width
    QStringList header;        // a row's table header, repeated at a page's top; may be empty
    bool keepWithNext = false; // a heading: it goes to the next page with what follows it
    bool isRow() const { return !cells.isEmpty(); }
    // A row as a table of its own, its columns as wide as its table's: `head` for the header.
    QString rowHtml(bool head = false) const;
};

QList<VerbaleBlock> verbaleBlocks(const StoredEvening &evening, const ClubInfo &club = {},
                                  const VerbaleSigners &signers = {});
// The blocks as one HTML document.
QString verbaleHtml(const StoredEvening &evening, const ClubInfo &club = {},
                    const VerbaleSigners &signers = {});

// "Consegna dei premi": a line per prize won in the evening (the game, the prize, the card, what it
// is worth, the winner's name to fill or as recorded, a line to sign), the proof of delivery.
QList<VerbaleBlock> deliveryBlocks(const StoredEvening &evening, const ClubInfo &club = {});
// "consegna-premi-2026-12-09.pdf".
QString deliveryFileName(const StoredEvening &evening);

// One prize won in the evening, as the list of deliveries shows it.
struct PrizeToDeliver {
    int game = 0;
    int index = 0; // among the game's wins, in the order confirmed
    Prize prize = Prize::None;
    QString card;       // the winner's card or claim
    qint64 amount = -1; // in cents; -1 without a prize plan
    const StoredDelivery *delivered = nullptr;
};
QList<PrizeToDeliver> prizesToDeliver(const StoredEvening &evening);

// "verbale-2026-12-09.pdf": the file name offered when it is saved.
QString verbaleFileName(const StoredEvening &evening);
