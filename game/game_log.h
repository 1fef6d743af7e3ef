#pragma once
// The game layer's log, "tombola.game": warnings on, debug off unless QT_LOGGING_RULES turns it on.
// Written here: a step of the draw or of the set-up that failed and was passed over.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcGame)
