#pragma once
// The claims layer's log, "tombola.claims": warnings on, debug off unless QT_LOGGING_RULES turns it on.
// Written here: a repeated number that could not be said.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcClaims)
