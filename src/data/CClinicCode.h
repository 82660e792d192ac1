// The owner's codes (the single row ID 0 of TClinicCode).
#pragma once

#include <QDateTime>
#include <QString>

namespace kvr::db {
class Recordset;
}

namespace kvr {

class CClinicCode {
public:
    qint32 ID = 0;
    QString ClinicCode;
    QString ClinicCodeSub;
    QString ClinicName;
    QDateTime UpDateTime;

    void ClearBuffer();
    // Null text columns read as the empty string.
    void RecSetGet(const db::Recordset& rs);
    void RecSetPut(db::Recordset& rs) const;
};

// Reads the row into TheClinicCode(); adds it from cleared fields when it is missing.
bool LoadClinicCode();
// Stores code as the clinic code (with the rest of TheClinicCode()); adds the row when
// it is missing.
bool SaveClinicCode(const QString& code);

} // namespace kvr
