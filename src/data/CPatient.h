// One patient (a row of TPatient).
#pragma once

#include <QDateTime>
#include <QString>

namespace kvr::db {
class Recordset;
}

namespace kvr {

class CPatient {
public:
    qint32 ID = 0;
    QString ClinicCode;
    QString KalteNumber;
    QString Ruby;
    QString Name;
    QString BirthDay; // "yyyy/mm/dd"
    qint16 Sex = 0;
    QString TEL;
    QString Post;
    QString Address1;
    QString Address2;
    QDateTime NextExamDate;
    QDateTime LastExamDate;
    quint8 Lock = 0;
    QString AppName;
    QDateTime UpDate;

    void ClearBuffer();
    // Text columns read as text (Null as the empty string).
    void RecSetGet(const db::Recordset& rs);
    void RecSetPut(db::Recordset& rs) const;

    // Converts an old-format member database into the current format (see CheckOldFormat).
    // Returns 0 when nothing was to be done or the conversion succeeded.
    int CheckTable();
    // True when the member database is of the old format: a "KVR-DB.MDB" lies in the
    // member folder and TPatient's "BirthDay" is not a text column or "Sex" not a
    // 16-bit integer column (or the database cannot be read).
    bool CheckOldFormat();
    // Copies patients 1-30 and their examinations from the old database at path into
    // the member database. False on any error.
    bool ImportOldDatabase(const QString& path);
};

// Where the old-format conversion builds the new member database (in the member folder)
// before renaming it over the old one.
QString ConversionStagingPath();

} // namespace kvr
