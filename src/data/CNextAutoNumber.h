// The next-number counters (the single row ID 0 of TNextAutoNumber) and GetNextNumber,
// which draws the key of a new row.
#pragma once

#include <QString>

#include <memory>

namespace kvr::db {
class Recordset;
class Connection;
} // namespace kvr::db

namespace kvr {

// Keys drawn by the program are IdPrefix * 10 000 000 + counter.
inline constexpr qint32 IdPrefix = 1;

class CNextAutoNumber {
public:
    qint32 Patient = 0;
    qint32 Attend = 0;
    qint32 Treat = 0;
    qint32 Comment = 0;
    qint32 SubExam = 0;
    qint32 MainExam = 0;
    qint32 Charge = 0;
    qint32 ExamData = 0;
    qint32 Plan = 0;
    qint32 Doctor = 0;
    qint32 Disease = 0;
    qint32 Treatment = 0;

    void ClearBuffer();
    void RecSetGet(const db::Recordset& rs);
    // Writes the twelve counters (the ID column is the caller's).
    void RecSetPut(db::Recordset& rs) const;

    // The counter that serves a table ("TPatient", "TExamData", ...); null for a name
    // outside the list (exact, case-sensitive match).
    qint32* counterOf(const QString& tableName);
};

// The next key for a new row of tableName, drawn from TheNextAutoNumber(). With commit
// false the counter in the database is left unchanged. Database errors are raised to
// the caller. An unknown table name shows its error box and ends the program.
qint32 GetNextNumber(const QString& tableName, bool commit = true);
// The same on a connection the caller already has open (inside its transaction).
qint32 GetNextNumberOn(const std::shared_ptr<db::Connection>& conn, const QString& tableName,
                       bool commit = true);

} // namespace kvr
