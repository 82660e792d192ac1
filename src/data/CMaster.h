// The master list of selectable entries (a row of TMaster) and the refresh of the
// table from the list file "TMaster.txt" in the program folder.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace kvr::db {
class Recordset;
}

namespace kvr {

// One data line of "TMaster.txt".
struct MasterLine {
    qint32 IDLG = 0;
    qint32 IDSG = 0;
    qint32 SeqNo = 0;
    QString SGName;
    QString SGComment;
};

// The parsed list file: its data lines (the header line included) and the header date.
struct MasterFile {
    QList<MasterLine> lines;
    QDate date;           // the no-date value when the file has no header line
    bool readable = true; // false: neither UTF-8 nor CP932 (the master table is kept)
};

// The date that stands for "no date" in the master and import routines.
QDate NoDate();

// Splits one line at commas: a field in double quotes is taken unchanged from between
// them (it may hold commas), other fields are trimmed; at most 11 fields.
QStringList SplitMasterLine(const QString& line);
// Parses the list text: comment lines (empty, or starting with "'") and lines of fewer
// than five fields are skipped; the line whose first three fields are 0 is the header.
MasterFile ParseMasterText(const QString& text);
// Reads and parses the file: UTF-8 (with or without byte-order mark) or the Windows
// Japanese encoding CP932. A file in neither is not readable.
MasterFile ReadMasterFile(const QString& path);
// The text of the file's bytes in those encodings; ok false when it is neither.
QString DecodeMasterBytes(const QByteArray& bytes, bool* ok);
// A date as written in the list ("yyyy/mm/dd", also "yyyy-mm-dd", "yyyy/m/d").
QDate ParseMasterDate(const QString& text);

class CMaster {
public:
    qint32 IDLG = 0;
    qint32 IDSG = 0;
    qint32 SeqNo = 0;
    QString SGName;
    QString SGComment;
    QDateTime UpDate;

    void ClearBuffer();
    // Both skip a failing column and go on with the next one.
    void RecSetGet(const db::Recordset& rs);
    void RecSetPut(db::Recordset& rs) const;

    // Table operations on the member database. Each returns 0 on success, nonzero when
    // it failed or the user cancelled its error box.
    int CheckTable();
    int CheckUpdate(bool& rebuild);
    int DeleteTable(const QString& table);
    int CreateTable(const QString& table);
    int ImportTable(const QString& table);
    int CopyTable(const QString& source, const QString& target);
    // 0 the table exists, -1 it does not.
    int GetStatusTable(const QString& table);
};

} // namespace kvr
