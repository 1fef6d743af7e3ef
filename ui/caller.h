#pragma once
// The caller's window with the game and the rules behind it, wired together: what the program, the
// benchmarks and the window tests build.

#include "cards/print_run.h"
#include "claims/claim_check.h"
#include "claims/prize_desk.h"
#include "claims/repeat.h"
#include "game/game.h"
#include "ui/form1.h"
#include "ui/prize_panel.h"

class PrinterPort;

class Caller
{
public:
    Caller(Ports ports, PrinterPort &printer);

    Form1 form;
    Game game;
    ClaimCheck claims;
    Repeat repeat;
    PrintRun printRun;
    // The ladder of prizes and the watch over the cards the print run printed.
    PrizeDesk prizes;
    PrizePanel prizePanel;
};
