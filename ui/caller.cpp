#include "ui/caller.h"

#include "cards/card_code.h"
#include "ui/qt_platform.h"

Caller::Caller(Ports ports, PrinterPort &printer)
    : game(form, ports), claims(game), repeat(game),
      printRun(printer, [&random = ports.random] { return newSeries(random); }),
      prizes(game, printRun.cardsInPlay()), prizePanel(form, game, prizes)
{
    clickAcceleratorsAtOnce();
    form.attach(game, claims, repeat, printRun);
    claims.setPrizeDesk(&prizes);
}
