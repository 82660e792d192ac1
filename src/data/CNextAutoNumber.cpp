#include "CNextAutoNumber.h"

#include "DataObjects.h"
#include "RecordUtil.h"
#include "data/ADODBMain.h"
#include "platform/database.h"
#include "platform/services.h"
#include "shell/VazaMessage.h"

namespace kvr {

namespace {

struct CounterColumn {
    const char* table;
    const char* column;
    qint32 CNextAutoNumber::*field;
};

const CounterColumn kCounters[] = {
    {"TPatient", "Patient", &CNextAutoNumber::Patient},
    {"TAttend", "Attend", &CNextAutoNumber::Attend},
    {"TTreat", "Treat", &CNextAutoNumber::Treat},
    {"TComment", "Comment", &CNextAutoNumber::Comment},
    {"TSubExam", "SubExam", &CNextAutoNumber::SubExam},
    {"TMainExam", "MainExam", &CNextAutoNumber::MainExam},
    {"TCharge", "Charge", &CNextAutoNumber::Charge},
    {"TExamData", "ExamData", &CNextAutoNumber::ExamData},
    {"TPlan", "Plan", &CNextAutoNumber::Plan},
    {"TDoctor", "Doctor", &CNextAutoNumber::Doctor},
    {"TDisease", "Disease", &CNextAutoNumber::Disease},
    {"TTreatment", "Treatment", &CNextAutoNumber::Treatment},
};

} // namespace

void CNextAutoNumber::ClearBuffer() {
    for (const CounterColumn& c : kCounters)
        this->*c.field = 0;
}

void CNextAutoNumber::RecSetGet(const db::Recordset& rs) {
    for (const CounterColumn& c : kCounters)
        this->*c.field = rs.value(c.column).toInt();
}

void CNextAutoNumber::RecSetPut(db::Recordset& rs) const {
    for (const CounterColumn& c : kCounters)
        rs.setValue(c.column, this->*c.field);
}

qint32* CNextAutoNumber::counterOf(const QString& tableName) {
    for (const CounterColumn& c : kCounters)
        if (tableName == QLatin1String(c.table)) return &(this->*c.field);
    return nullptr;
}

namespace {

// An unknown table name is a program error: its box, message 9000, and the end.
[[noreturn]] void tableNameError() {
    msgBox("次番号マスタのテーブル指定エラー.", "エラー", MsgButtons::Ok, MsgIcon::Critical);
    ShowMessage(9000);
    endProgram(1);
}

} // namespace

qint32 GetNextNumber(const QString& tableName, bool commit) {
    if (!TheNextAutoNumber().counterOf(tableName)) tableNameError();
    MemberDbUse use;
    return GetNextNumberOn(memberConn(), tableName, commit);
}

qint32 GetNextNumberOn(const db::ConnectionPtr& conn, const QString& tableName, bool commit) {
    CNextAutoNumber& numbers = TheNextAutoNumber();
    if (!numbers.counterOf(tableName)) tableNameError();
    const QString sql = "SELECT * FROM TNextAutoNumber WHERE ID=0";
    {
        db::Recordset rs(conn, sql);
        if (rs.eof())
            numbers.ClearBuffer();
        else
            numbers.RecSetGet(rs);
    }
    qint32* counter = numbers.counterOf(tableName);
    const qint32 result = IdPrefix * 10000000 + *counter;
    *counter += 1;
    if (commit) {
        db::Recordset rs(conn, sql, {}, db::OpenMode::Write);
        if (!rs.eof()) {
            numbers.RecSetPut(rs);
            rs.update();
        } else {
            numbers.ClearBuffer();
        }
    }
    return result;
}

} // namespace kvr
