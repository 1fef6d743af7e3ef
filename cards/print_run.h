#pragma once
// The print runs of an evening: the card panel's (1 to 30 cards, before the first number) and the
// window's card control's (any number, whenever the draw is stopped), to the default printer or a
// PDF file, with the date and what to tell the user. Deals from a pool of its own, so a run never
// touches the game's numbers; numbers its cards through the evening. Knows no widget and no
// message box: a message is handed back for the window to show.

#include "cards/cards_in_play.h"
#include "cards/full_series.h"
#include "cards/printer_port.h"
#include "game/game_state.h"

#include <QDateTime>
#include <QObject>
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

// A run whose cards reached the printer or their file: they are in play from now on.
struct PrintedRun {
    QDateTime at;
    QString destination; // the printer's name, or the PDF file's path
    bool toPdf = false;
    CardDealer dealer = CardDealer::Classic;
    QList<CardInPlay> cards;
    bool stopped = false; // stopped by the user: these are the cards done before the stop
};

// The destination of a card dealt to a player's phone rather than printed: "telefono <name>".
// Where a card dealt to a phone went: "telefono PHONE12345", and " da 192.168.1.20" after it for a
// phone on the local network (its address); phoneOf() reads both back, empty for a printed run.
QString phoneDestination(const QString &phone, const QString &address = {});
struct PhoneHolder {
    QString phone;
    QString address;
};
PhoneHolder phoneOf(const QString &destination);
bool isPhoneDestination(const QString &destination);

class PrintRun : public QObject
{
    Q_OBJECT

public:
    // The most cards one run of the card control prints.
    static constexpr int kMostCards = 1200;

    // `newSeries` gives the series of each new set of six cards.
    PrintRun(PrinterPort &printer, std::function<quint32()> newSeries, QObject *parent = nullptr);

    // A count the card panel can print: above 0.5 (so it rounds to a card at least) and at most 30.
    static bool countValid(double value);

    // Enter in the count box holding `value`: the refusal of that path, or nothing when the count
    // is good (then `num_cartelle` is set and the run follows as a click would).
    std::optional<Notice> checkOnEnter(double value, PrintRecord record) const;

    // A click of "OK" (or of "..." with `toPdf`) with `value` in the count box; `dealer` deals the
    // sets. `chooseFile` asks for the PDF file (empty: the user gave up). Nothing starts while a run
    // is under way or while `drawing`. Returns what the user must be told, if anything.
    std::optional<Notice> print(double value, bool toPdf, bool drawing, CardDealer dealer, PrintRecord record,
                                const std::function<QString()> &chooseFile);
    // The card control: `count` cards (1 to kMostCards), telling `progress` after each card how many
    // are done; false from it stops the run, and the cards done so far end the document and play.
    std::optional<Notice> printMany(int count, bool toPdf, bool drawing, CardDealer dealer,
                                    PrintRecord record, const std::function<QString()> &chooseFile,
                                    const std::function<bool(int done)> &progress);

    // A card for a player's phone: the next card of a series dealt to phones one by one, in play
    // and numbered as a printed one from now, told as a run of its own whose destination names
    // the phone. None while a run prints.
    std::optional<CardInPlay> dealToPhone(const QString &phone, const QString &address, CardDealer dealer);

    bool isPrinting() const { return m_printing; }
    // Every card of every run that reached the printer or its file whole.
    const CardsInPlay &cardsInPlay() const { return m_inPlay; }
    CardsInPlay &cardsInPlay() { return m_inPlay; }
    void setDocumentName(const QString &name) { m_documentName = name; }
    // The runs from now on in large print, two cards to a page; the same codes, numbers and rules.
    void setLargePrint(bool large) { m_largePrint = large; }
    bool largePrint() const { return m_largePrint; }
    // What the last run that printed did, for a short confirmation: "Stampate 6 cartelle, serie 4ZPTK".
    QString lastSummary() const { return m_summary; }

signals:
    // A run's cards are dealt (`run.cards`, all of them) and nothing of it has gone to the printer
    // or its file yet: the evening keeps them now, so that a card on paper is always kept.
    void runDealt(const PrintedRun &run);
    // A run reached the printer or its file; emitted before whoever started it hears of it. After
    // runDealt, `run.cards` may be fewer than were dealt: the run was stopped.
    void runPrinted(const PrintedRun &run);
    // A run dealt did not reach the printer or its file: no card of it plays (`run.cards` empty,
    // `run.stopped`).
    void runFailed(const PrintedRun &run);

private:
    std::optional<Notice> run(int count, bool toPdf, CardDealer dealer, PrintRecord record,
                              const std::function<QString()> &chooseFile,
                              const std::function<bool(int done)> &progress);

    PrinterPort &m_printer;
    std::function<quint32()> m_newSeries;
    QString m_documentName = QStringLiteral("Cartelle della tombola");
    bool m_printing = false;
    bool m_largePrint = false;
    // The dealer's own pool.
    Lista90 m_pool;
    CardsInPlay m_inPlay;
    QString m_summary;
    // The series whose cards go to phones, and the place of the next one.
    struct PhoneSet {
        quint32 series = 0;
        int next = cardsPerSet + 1;
        CardDealer dealer = CardDealer::Classic;
    } m_phoneSet;
};
