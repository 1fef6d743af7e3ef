#pragma once
// The cards layer's log, "tombola.cards": warnings on, debug off unless QT_LOGGING_RULES turns it on.
// Written here: a print job that could not start.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCards)
