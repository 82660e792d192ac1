// Previous-version database files built by the tests: an SQLCipher file keyed with the
// previous version's password holding TPatient and TExamData with the previous
// version's columns, and a real Jet 4 file with Japanese text made from the shared
// DateTest file by rewriting the bytes of two of its text values.
#pragma once

#include "platform/database.h"
#include "platform/passwords.h"

#include <QFile>
#include <QString>

namespace kvr::test {

class PreviousVersionFile {
public:
    explicit PreviousVersionFile(const QString& path, const QString& password = kPreviousVersionPassword)
        : conn_(db::Connection::create(path, password)) {
        conn_->execute(R"(CREATE TABLE "TPatient" (
  "ID" INTEGER NOT NULL, "ClinicCode" VARCHAR(50), "KalteNumber" VARCHAR(50), "Ruby" VARCHAR(100),
  "Name" VARCHAR(100), "BirthDay" VARCHAR(10), "Sex" SMALLINT, "TEL" VARCHAR(50), "Post" VARCHAR(20),
  "Address1" VARCHAR(200), "Address2" VARCHAR(200), "NextExamDate" DATETIME, "LastExamDate" DATETIME,
  "Lock" TINYINT, "AppName" VARCHAR(100), "UpDate" DATETIME, PRIMARY KEY ("ID")))");
        conn_->execute(R"(CREATE TABLE "TExamData" (
  "ID" INTEGER NOT NULL, "PatientID" INTEGER, "ExamDate" DATETIME, "Row" INTEGER, "Examination" INTEGER,
  "SubExam" INTEGER, "PocketFree" SMALLINT, "StartTime" DATETIME, "EndTime" DATETIME, "ChargeID" INTEGER,
  "IsPrinted" BIT, "UpDate" DATETIME, "CommentID" SMALLINT, "Comment" VARCHAR(100), "Data1" VARCHAR(144),
  "Data2" VARCHAR(144), "Data3" VARCHAR(144), "Data4" VARCHAR(144), "Bui" VARCHAR(192),
  PRIMARY KEY ("ID")))");
    }

    // A patient "患者<id>" (reading "カンジャ<id>"), chart number "P-<id>".
    void addPatient(int id, const QString& name = {}, const QString& birthDay = "1960/04/01", int sex = 1) {
        conn_->execute("INSERT INTO TPatient (ID, ClinicCode, KalteNumber, Ruby, Name, BirthDay, Sex, TEL, "
                       "Post, Address1, Address2, NextExamDate, LastExamDate, Lock, AppName, \"UpDate\") "
                       "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                       {id, "654321", "P-" + QString::number(id), "カンジャ" + QString::number(id),
                        name.isEmpty() ? "患者" + QString::number(id) : name, birthDay, sex, "03-1234-5678",
                        "100-0001", "東京都千代田区", "一丁目", QDateTime(QDate(2020, 5, 1), QTime(9, 0)),
                        QDateTime(QDate(2020, 4, 1), QTime(10, 30)), 0, "KVR-Chart",
                        QDateTime(QDate(2020, 4, 1), QTime(11, 0))});
    }

    // count examination rows of a patient, one a day from 2020-01-01, the stages 1-4 in turn.
    void addExams(int patientId, int count) {
        const QString cells = QString("  2").repeated(144 / 3);
        for (int i = 0; i < count; ++i) {
            const QDateTime day(QDate(2020, 1, 1).addDays(i), QTime(0, 0));
            conn_->execute("INSERT INTO TExamData (ID, PatientID, ExamDate, Row, Examination, SubExam, "
                           "PocketFree, StartTime, EndTime, ChargeID, IsPrinted, \"UpDate\", CommentID, Comment, "
                           "Data1, Data2, Data3, Data4, Bui) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                           {nextExamId_++, patientId, day, i % 12, 1, i % 4, 0, day.addSecs(9 * 3600),
                            day.addSecs(10 * 3600), 1, i % 2 == 0, day, i % 4 + 1,
                            QStringList{"初診時", "基本治療終了時", "ＳＰＴ移行時", "最新ＳＰＴ時"}[i % 4], cells,
                            cells, cells, cells, QString("     0").repeated(32)});
        }
    }

    db::ConnectionPtr conn() const { return conn_; }
    void close() { conn_->close(); }

private:
    db::ConnectionPtr conn_;
    int nextExamId_ = 500;
};

// The folder of shared test data that is not ours (read-only; copy before use).
inline QString sharedTestData(const QString& name) {
    return QString(KVR_SHARED_TESTDATA) + "/" + name;
}

// Copies the DateTest Access file to path; with japanese, two of its text values are
// rewritten in place with the same number of bytes:
//   "Pre-1900 years" (row 3, both text columns, stored compressed) becomes "山田　花子ヤマダ"
//   stored as plain UCS-2; "Year 1999" (row 2, short text) becomes "No. 歯周" stored
//   compressed with a switch to two-byte characters.
inline bool copyDateTestFile(const QString& path, bool japanese = false) {
    QFile in(sharedTestData("DateTestDatabase.mdb"));
    if (!in.open(QIODevice::ReadOnly)) return false;
    QByteArray bytes = in.readAll();
    if (japanese) {
        const QByteArray pre = QByteArray("\xff\xfePre-1900 years", 16);
        QByteArray ucs2;
        for (QChar c : QString("山田　花子ヤマダ"))
            ucs2 += char(c.unicode() & 0xff), ucs2 += char(c.unicode() >> 8);
        if (bytes.count(pre) != 2) return false;
        bytes.replace(pre, ucs2);
        const QByteArray year = QByteArray("\xff\xfeYear 1999", 11);
        QByteArray mixed = QByteArray("\xff\xfeNo. \x00", 7);
        for (QChar c : QString("歯周"))
            mixed += char(c.unicode() & 0xff), mixed += char(c.unicode() >> 8);
        if (bytes.count(year) != 1) return false;
        bytes.replace(year, mixed);
    }
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    return out.write(bytes) == bytes.size();
}

} // namespace kvr::test
