#pragma once
// What the players' phones and the program say to each other, as JSON text messages over one
// WebSocket (the page's address plus "ws"). Qt Core only: the server, the relay, the tests and the
// fuzz target share it.
//
// The program sends:
//   {"t":"stato", ...PhoneState...}   the whole state: on connecting, on asking, and after any change
//                                     that is not one number drawn or taken back; the prize in play
//                                     as "premio" ("terno"), "premioParola" ("TERNO"), "premioNome"
//                                     ("il TERNO") and "premioRiga" (3; 0: the whole card), so that
//                                     the page keeps no prize table of its own
//   {"t":"numero","n":42,"k":12,"parole":"QUARANTADUE","smorfia":"..."}
//                                     number n drawn as the k-th of the game
//   {"t":"tolto","n":42,"k":12,"parole":"...","smorfia":"..."}
//                                     number n (the k-th) went back to the bag; the words are now
//                                     those of the number before it
//   {"t":"ripetuto","n":42,"parole":"...","smorfia":"..."}
//                                     the repeat of the last numbers says n again, in the pause
//   {"t":"cartelle","cartelle":[{"codice","numero","righe":[[9 numbers, 0 for blank] x 3],"nota"}],
//    "errori":["..."]}               the phone's cards, as the program reads their codes
//   {"t":"esito","codice":"...","testo":"...","vinto":true}
//                                     what the prize desk said of the phone's call
//   {"t":"errore","testo":"..."}     a request refused (too many, cards for phones off, ...)
// A phone sends, at most a few a second (more closes the connection):
//   {"t":"ciao","telefono":"<8-32 letters and digits>"}  who it is, for the cards dealt to it
//   {"t":"stato"}                                      the whole state again
//   {"t":"cartelle","codici":["7KQ3M-4 X", ...]}       its cards, at most kMostCodes
//   {"t":"chiama","codice":"7KQ3M-4 X"}                a card holds the prize in play
//   {"t":"dammi"}                                      a card dealt to this phone
// Anything else, or a message over kMostMessageBytes, closes that connection.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What a phone shows of the evening: the one snapshot that a new connection gets whole and that
// each change is compared with.
struct PhoneState {
    int game = 1;           // the evening's game
    QList<int> drawn;       // this game's numbers, in draw order
    QString words;          // the last number in words, "QUARANTADUE"
    QString meaning;        // its smorfia, when the caller shows it; else empty
    bool paused = false;    // the draw is stopped in the middle of a game
    QString checking;       // "Vincita da verificare: TERNO" while a win waits for the caller
    QString prize;          // the prize in play, "terno"; empty when every prize is won
    QString prizeWord;      // its word, "TERNO"
    QString prizeName;      // with its article, "il TERNO"
    int prizeRow = 0;       // the numbers out on one row that make it; 0: every number of the card
    QString playingFor;     // "Si gioca per: TERNO"
    QStringList wins;       // "AMBO alla 6ª: 7KQ3M-4 X", one per prize won
    QStringList passedOver; // the codes the caller passed over for the prize in play
    int cardsPerPhone = 0;  // how many cards a phone may ask for; 0: none
    QString seal;           // the sealed draw's seal of the game under way; empty before it
    QStringList seals;      // the games over with their seal and secret revealed
    bool operator==(const PhoneState &) const = default;
};

namespace phone_protocol
{

inline constexpr qsizetype kMostMessageBytes = 2048;
inline constexpr int kMostCodes = 12;
inline constexpr qsizetype kMostCodeLength = 24;

QByteArray wholeState(const PhoneState &state);
// The message that takes a phone from `before` to `after` when it is one number drawn or taken
// back and the rest is unchanged; else empty (send the whole state).
QByteArray delta(const PhoneState &before, const PhoneState &after);
QByteArray error(const QString &text);
// Number `number` said again by the repeat, with its words and the meaning the caller shows.
QByteArray repeated(int number, const QString &words, const QString &meaning);

// A message of a phone, read strictly.
struct Request {
    enum Kind { Invalid, Hello, State, Cards, Call, Deal };
    Kind kind = Invalid;
    QString phone;     // Hello
    QStringList codes; // Cards: each as typed; Call: one
};
Request parse(const QString &message);
// 8 to 32 ASCII letters and digits, as the page makes a phone's name for itself (it goes into the verbale).
bool isPhoneName(const QString &name);

} // namespace phone_protocol
