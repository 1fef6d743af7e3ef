#pragma once
// The print run behind the card panel: the count check of each path, the printer or a PDF file,
// the date, and what to tell the user. Knows no widget and no message box: a message is handed back
// for the window to show.

#include "cards/cards_in_play.h"
#include "cards/full_series.h"
#include "cards/printer_port.h"
#include "game/game_state.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

// A message for the user, shown in a modal box with one OK button; an empty title shows the
// application's.
struct Notice {
    enum class Kind { Plain, Question, Error };
    QString text;
    QString title;
    Kind kind = Kind::Plain;
};

class PrintRun
{
public:
    // `newSeries` gives the series of each new set of six cards.
    PrintRun(PrinterPort &printer, std::function<quint32()> newSeries);

    // A count the run can print: above 0.5 (so it rounds to a card at least) and at most 30.
    static bool countValid(double value);

    // Enter in the count box holding `value`: the refusal of that path, or nothing when the count
    // is good (then `num_cartelle` is set and the run follows as a click would).
    std::optional<Notice> checkOnEnter(double value, PrintRecord record) const;

    // A click of "OK" (or of "..." with `toPdf`) with `value` in the count box; `dealer` deals the
    // sets. `chooseFile` asks for the PDF file (empty: the user gave up). Nothing starts while a run
    // is under way or while `drawing`. Returns what the user must be told, if anything.
    std::optional<Notice> print(double value, bool toPdf, bool drawing, CardDealer dealer, PrintRecord record,
                                const std::function<QString()> &chooseFile);

    bool isPrinting() const { return m_printing; }
    // Every card of every run that reached the printer or its file whole.
    const CardsInPlay &cardsInPlay() const { return m_inPlay; }
    CardsInPlay &cardsInPlay() { return m_inPlay; }
    void setDocumentName(const QString &name) { m_documentName = name; }

private:
    PrinterPort &m_printer;
    std::function<quint32()> m_newSeries;
    QString m_documentName = QStringLiteral("Cartelle della tombola");
    bool m_printing = false;
    CardsInPlay m_inPlay;
};
