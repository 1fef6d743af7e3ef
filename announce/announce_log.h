#pragma once
// The announce layer's log, "tombola.announce": warnings on, debug off unless QT_LOGGING_RULES turns it on.
// Written here: a clip that could not be played and was passed over.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcAnnounce)
