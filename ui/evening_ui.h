#pragma once
// The evening in the caller's window: what the store had to say at start-up and the question to
// resume an evening left open, the mark while the evening is not kept, the evening's choice of
// dealer, closing the evening (in the prizes' list, F6) and its verbale.

#include <QString>

class AudienceController;
class Caller;
class EveningRecord;
class PhoneRelay;
class PrinterPort;

void installEvening(Caller &caller, EveningRecord &record, PrinterPort &printer);
// After the window is up: `storeNotice` told, then an evening left open offered to resume, or a
// new one begun.
void startEvening(Caller &caller, EveningRecord &record, const QString &storeNotice);

// The caller's set-up kept with the evening as it changes (the pace, the room's screen, the phones'
// server with its address and cards per phone) and brought back when the evening is resumed.
void keepSetup(Caller &caller, EveningRecord &record, AudienceController &audience, PhoneRelay &phones);
