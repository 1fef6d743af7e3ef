#pragma once
// How the caller had set up the evening, kept with it so that a program started again after a crash
// or a close brings the evening back as it was: the phones' address (its token, so that every
// phone's page reconnects by itself), whether the phones' server was on and how many cards a phone
// may ask for, the pace, the room's screen, and the winner waiting for the caller when it stopped.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

struct EveningSetup {
    QByteArray phonesToken; // the phones' token, 26 symbols of the card codes' alphabet; empty: none yet
    bool phonesOn = false;
    quint16 phonesPort = 0; // the port they reached it on; 0: none yet
    int cardsPerPhone = 0;  // 0 to 6
    int pace = 3000;        // the speed bar's value, 100 to 7000 (ms between numbers)
    bool audienceOpen = false;
    bool audienceFullScreen = false;
    QString waiting; // "AMBO alla 4ª estrazione: cartella 7KQ3M-4 Y" while a winner waits; else empty
    bool operator==(const EveningSetup &) const = default;

    // As kept in the store (JSON); reading refuses anything out of range.
    QString toText() const;
    static std::optional<EveningSetup> fromText(const QString &text);
};
