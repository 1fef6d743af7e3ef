#pragma once
// The store's tables of the committee's facts (evening_facts.h): created with the file or added to
// one of an earlier version, and read back with the rest of an evening.

#include "evening/stored_evening.h"

class QSqlDatabase;
class QSqlQuery;

namespace facts
{
// Creates the tables in the transaction of `q`.
bool createTables(QSqlQuery &q);
// Reads the facts of evening `id` into `e`, after its games and cards; false at the first row out
// of place, `table` naming its table. A file written before the tables existed has none.
bool read(const QSqlDatabase &db, qint64 id, StoredEvening &e, QString *table);
// One fact written in the transaction of `q`.
bool insertSeal(QSqlQuery &q, qint64 evening, const StoredSeal &s);
bool insertVoid(QSqlQuery &q, qint64 evening, const StoredVoid &v);
bool insertDelivery(QSqlQuery &q, qint64 evening, const StoredDelivery &d);
// The facts of `e` written whole in place of those the file holds for it.
bool writeAll(QSqlQuery &q, const StoredEvening &e);
} // namespace facts
