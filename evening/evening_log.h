#pragma once
// The evening layer's log: "tombola.evening", warnings on, debug off unless QT_LOGGING_RULES turns it
// on. Every failure the evening or its store swallows (a write refused, a row that would not read)
// is written here with what failed.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcEvening)
