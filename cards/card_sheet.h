#pragma once
// The printed sheet: three cards to a page, each a framed 3 x 9 grid with a footer line, drawn
// onto the abstract CardCanvas in twips; or, in large print, two to a page, each filling half of
// an A4 sheet with figures nearly twice as tall, the same footer and code below it.

#include "cards/card_code.h"
#include "cards/dealer.h"
#include "cards/full_series.h"
#include "cards/printer_port.h"
#include "game/game_state.h"
#include <QString>
#include <cstdint>

// Twips in one grid unit of the sheet.
constexpr float unita = 367.0f;

// Prints `cartella` with its top at grid row `alto` and footer number `numero_cartella`, then
// empties the card. A non-empty `codice` ends the footer as "   serie <codice>". Leaves the canvas
// with font size 20 and pen width 2.
void stampa_cartella(float &alto, std::int16_t &numero_cartella, Cartella &cartella, CardCanvas &c,
                     QString date, const QString &codice = QString());

// A card in large print with its top `top` twips down the page: the grid 10,200 twips wide and
// 5,700 tall, 36-point figures centred in their cells, the footer under it. Empties the card as
// stampa_cartella does.
void printLargeCard(double top, int number, Cartella &cartella, CardCanvas &c, const QString &date,
                    const QString &codice);
// Where the two large cards of a page start, in twips from its top.
inline constexpr double largeCardTops[2] = {300.0, 8100.0};

// What a print run prints, card by card.
struct SheetRun {
    int count = 0;       // cards to print
    int firstNumber = 1; // the footer number ("cartella N=") of the first card
    CardDealer dealer = CardDealer::Classic;
    std::function<quint32()> nextSeries; // the series of each new set of six
    // Told after each card; false stops the run there: the cards done so far end the document.
    std::function<bool(int done)> progress;
    bool largePrint = false; // two cards to a page in large figures
};

// A card dealt for a run, with its code, its columns sorted as printed.
struct DealtCard {
    CardCode code;
    Cartella card;
};

// Deals every card of `run` from `pool`, as printSheets() prints them, printing nothing: a run's
// cards are known (and kept) before anything of it goes to the printer.
QList<DealtCard> dealSheets(const SheetRun &run, Lista90 &pool);
// Prints `cards`, dealt for `run` by dealSheets(), as printSheets() does.
int printDealt(const SheetRun &run, const QList<DealtCard> &cards, std::int16_t &conta_cartelle,
               CardCanvas &canvas, const QString &date, QString *why);

// Prints `run` three cards a page (two in large print) and ends the document, dealing from `pool`
// (filled by each series' shuffle, mescola_serie) as it goes. With a full series the set is
// fullSeries(serie) and each card's numbers are emptied in the pool as it is printed. `printed` gets
// each card with its code as it is drawn. Leaves the run's 0-based counter of the last card in
// `conta_cartelle`. Returns how many cards reached the end of the document: all of them, those before
// a stop, or 0 with `why` in Italian as soon as the canvas refuses a new page or the end of the
// document.
int printSheets(const SheetRun &run, Lista90 &pool, std::int16_t &conta_cartelle, CardCanvas &canvas,
                const QString &date, QString *why,
                const std::function<void(const CardCode &, const Cartella &)> &printed = {});

// The print run of `num_cartelle` (1..30, else std::out_of_range) cards, three cards a page; ends
// the document. Every six cards `nextSeries` gives the series of a new set, whose shuffle
// (mescola_serie) fills `numeri_estratti`, the dealer's pool; each footer carries its card's code.
// With `dealer` FullSeries the set is fullSeries(serie) and each card's numbers are emptied in the
// pool as it is printed. Leaves the number of the last card printed, less one, in
// `conta_cartelle`. False, with `why` in Italian, as soon as the canvas refuses a new page or the
// end of the document.
bool stampa_cartelle(std::int16_t num_cartelle, Lista90 &numeri_estratti, std::int16_t &conta_cartelle,
                     const std::function<quint32()> &nextSeries, CardCanvas &canvas, const QString &date,
                     QString *why = nullptr, CardDealer dealer = CardDealer::Classic);
