#pragma once
// The printed sheet: three cards to a page, each a framed 3 x 9 grid with a footer line, drawn
// onto the abstract CardCanvas in twips.

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
