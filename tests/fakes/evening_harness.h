#pragma once
// The game with its prize desk and the evening's record on a real store: on the file `path`, or in
// a folder of its own that goes with the harness. Cards print on a recording canvas.

#include "claims/prize_desk.h"
#include "evening/evening_record.h"
#include "evening/evening_store.h"
#include "fakes/game_harness.h"
#include "fakes/recording_canvas.h"

#include <QTemporaryDir>
#include <memory>

struct EveningHarness : GameHarness {
    QTemporaryDir dir;
    PrizeDesk desk{game, printRun.cardsInPlay()};
    EveningStore store;
    QString notice; // what opening the store had to say
    std::unique_ptr<EveningRecord> evening;

    explicit EveningHarness(const QString &path = {}, std::uint32_t seed = 7) : GameHarness(seed)
    {
        claims.setPrizeDesk(&desk);
        printer.make = [] { return std::make_unique<RecordingCanvas>(); };
        store.open(path.isEmpty() ? dir.filePath(QStringLiteral("serate.sqlite")) : path, &notice);
        evening = std::make_unique<EveningRecord>(store, game, printRun, desk);
    }
    void print(int count, CardDealer dealer = CardDealer::Classic)
    {
        printRun.printMany(count, false, game.isDrawing(), dealer, record(), {}, {});
    }
};
