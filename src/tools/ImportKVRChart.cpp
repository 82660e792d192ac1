#include "ImportKVRChart.h"

#include "data/ADODBMain.h"
#include "data/CClinicCode.h"
#include "data/CNextAutoNumber.h"
#include "data/Compaction.h"
#include "data/DataObjects.h"
#include "platform/services.h"
#include "shell/AppState.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

namespace kvr {

namespace {

constexpr int kLastCasePatient = 30;

// The patient columns copied unchanged (BirthDay and Sex are converted, UpDate is now).
const QStringList kPatientColumns = {"ID",       "ClinicCode", "KalteNumber",  "Ruby",         "Name",
                                     "TEL",      "Post",       "Address1",     "Address2",     "NextExamDate",
                                     "LastExamDate", "Lock",   "AppName"};
// The examination columns copied unchanged (ID is new, UpDate is now).
const QStringList kExamColumns = {"PatientID", "ExamDate",   "Row",       "Examination", "SubExam", "Data1",
                                  "Data2",     "Data3",      "Data4",     "Bui",         "PocketFree",
                                  "StartTime", "EndTime",    "ChargeID",  "IsPrinted",   "CommentID",
                                  "Comment"};
const QStringList kTextColumns = {"ClinicCode", "KalteNumber", "Ruby", "Name",  "TEL",   "Post",  "Address1",
                                  "Address2",   "AppName",     "Data1", "Data2", "Data3", "Data4", "Bui",
                                  "Comment"};

bool isCasePatient(const QVariant& id) {
    bool ok = false;
    const int n = id.toInt(&ok);
    return id.isValid() && !id.isNull() && ok && n <= kLastCasePatient;
}

// The rows of a table whose key column holds a case patient number.
PreviousTable caseRows(PreviousTable table, const QString& keyColumn) {
    const int key = table.indexOf(keyColumn);
    if (key < 0)
        throw RuntimeError(kPreviousTableMissing, "列 " + keyColumn + " が見つかりません。");
    std::vector<QVariantList> kept;
    for (QVariantList& row : table.rows)
        if (isCasePatient(row[key])) kept.push_back(std::move(row));
    table.rows = std::move(kept);
    return table;
}

// A birth date as the text "yyyy/mm/dd": the previous version kept it in a date column
// in its older files and as text in its later ones.
QString birthDayText(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return QString();
    if (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate) {
        const QDate d = v.toDate();
        return d.isValid() ? d.toString("yyyy/MM/dd") : QString();
    }
    return v.toString();
}

QVariant sexValue(const QVariant& v) {
    if (v.typeId() == QMetaType::Bool) return v.toBool() ? 1 : 0;
    return v.isValid() && !v.isNull() ? v.toInt() : 0;
}

// The value to store: Null text becomes the empty string, as the program never leaves
// text columns Null.
QVariant stored(const QString& column, const QVariant& v) {
    if ((!v.isValid() || v.isNull()) && kTextColumns.contains(column)) return QString("");
    return v;
}

QString insertSql(const QString& table, const QStringList& columns) {
    QStringList quoted, marks;
    for (const QString& c : columns) {
        quoted << "\"" + c + "\"";
        marks << "?";
    }
    return "INSERT INTO \"" + table + "\" (" + quoted.join(",") + ") VALUES (" + marks.join(",") + ")";
}

void copyPatients(const db::ConnectionPtr& conn, const PreviousTable& patients) {
    QStringList columns;
    for (const QString& c : kPatientColumns)
        if (patients.indexOf(c) >= 0) columns << c;
    columns << "BirthDay" << "Sex" << "UpDate";
    const QString sql = insertSql("TPatient", columns);
    const QDateTime stamp = now();
    for (size_t r = 0; r < patients.rows.size(); ++r) {
        QVariantList params;
        for (const QString& c : columns.mid(0, columns.size() - 3))
            params << stored(c, patients.value(int(r), c));
        params << birthDayText(patients.value(int(r), "BirthDay")) << sexValue(patients.value(int(r), "Sex"))
               << stamp;
        conn->execute(sql, params);
    }
}

// The keys of count new examination rows, as count draws from the "TExamData" counter give
// them inside the transaction: consecutive numbers, the counter advanced by count. Without
// the counter row every draw gives the same first number and nothing is stored, so a
// second row collides, as it would row by row.
QList<qint32> drawExamKeys(const db::ConnectionPtr& conn, int count) {
    QList<qint32> keys;
    if (count == 0) return keys;
    const qint32 first = GetNextNumberOn(conn, "TExamData", false);
    const bool counterRow = conn->scalar("SELECT COUNT(*) FROM TNextAutoNumber WHERE ID=0").toInt() > 0;
    for (int i = 0; i < count; ++i)
        keys << (counterRow ? first + i : first);
    if (counterRow) {
        const qint32 next = first - IdPrefix * 10000000 + count;
        conn->execute("UPDATE TNextAutoNumber SET ExamData=? WHERE ID=0", {next});
        TheNextAutoNumber().ExamData = next;
    }
    return keys;
}

void copyExams(const db::ConnectionPtr& conn, const PreviousTable& exams) {
    QStringList columns;
    for (const QString& c : kExamColumns)
        if (exams.indexOf(c) >= 0) columns << c;
    const QString sql = insertSql("TExamData", QStringList(columns) << "ID" << "UpDate");
    const QDateTime stamp = now();
    const QList<qint32> keys = drawExamKeys(conn, int(exams.rows.size()));
    for (size_t r = 0; r < exams.rows.size(); ++r) {
        QVariantList params;
        for (const QString& c : columns)
            params << stored(c, exams.value(int(r), c));
        params << keys[qsizetype(r)] << stamp;
        conn->execute(sql, params);
    }
}

void deleteBefore(const db::ConnectionPtr& conn, const PreviousTable& patients, ImportMode mode) {
    if (mode == ReplaceAllCases) {
        conn->execute("DELETE FROM TExamData WHERE PatientID<=?", {kLastCasePatient});
        conn->execute("DELETE FROM TPatient WHERE ID<=?", {kLastCasePatient});
        return;
    }
    for (size_t r = 0; r < patients.rows.size(); ++r) {
        const QVariant id = patients.value(int(r), "ID");
        conn->execute("DELETE FROM TExamData WHERE PatientID=?", {id});
        conn->execute("DELETE FROM TPatient WHERE ID=?", {id});
    }
}

// Boxes are shown with the normal pointer.
MsgResult box(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) {
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    return msgBox(text, title, buttons, icon);
}

void showFailure(const RuntimeError& e) {
    box("旧版KVR-Chartからのインポートができませんでした。KVR-Chart-DBのデータは変更していません。\r\n\r\n" +
            errorBoxText(e.number, e.description),
        "インポートエラー", MsgButtons::Ok, MsgIcon::Critical);
}

} // namespace

QString PreviousVersionStartFolder() {
    // This program's folder lies in the folder that holds installed programs; the
    // previous version was installed beside it in "KVR2".
    QDir parent(deliveredFolder());
    if (deliveredFolder().isEmpty() || !parent.cdUp()) return QDir::rootPath();
    return QDir::cleanPath(parent.absolutePath() + "/KVR2");
}

QString DefaultPreviousVersionPath() {
    return PreviousVersionStartFolder() + "/VAZUZ2.MDB";
}

PreviousData ReadPreviousData(PreviousVersionDb& source) {
    PreviousData d;
    d.patients = caseRows(source.readTable("TPatient"), "ID");
    d.exams = caseRows(source.readTable("TExamData"), "PatientID");
    return d;
}

void CopyPreviousData(const db::ConnectionPtr& conn, const PreviousData& data, ImportMode mode) {
    conn->beginTransaction();
    try {
        deleteBefore(conn, data.patients, mode);
        copyPatients(conn, data.patients);
        copyExams(conn, data.exams);
        conn->commit();
    } catch (const RuntimeError&) {
        try {
            conn->rollback();
        } catch (const RuntimeError&) {
            // An unfinished transaction is rolled back when the connection closes.
        }
        throw;
    }
}

QString CheckPreviousVersionFile(const QString& path) {
    QStringList tables;
    try {
        tables = openPreviousVersionDb(path)->tables();
    } catch (const RuntimeError& e) {
        return "指定されたファイルは旧版KVR-ChartのDBファイルとして読み込めません。\r\n\r\n" + path + "\r\n" +
               e.description;
    }
    QStringList missing;
    for (const QString& t : {QStringLiteral("TPatient"), QStringLiteral("TExamData")})
        if (!tables.contains(t, Qt::CaseInsensitive)) missing << t;
    if (missing.isEmpty()) return QString();
    return "指定されたファイルには旧版KVR-Chartのデータ（" + missing.join("、") +
           "）がありません。\r\n\r\n" + path;
}

std::function<bool()>& ImportCompaction() {
    static std::function<bool()> compact = [] { return CompactMemberDb(); };
    return compact;
}

ImportOutcome ImportKVRChart(const QString& path, ImportMode mode) {
    // 1. The file must exist; a file of neither kind is refused before anything is opened.
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        box("インポートする旧版KVR-ChartのDBファイルが指定されていません。", "指定エラー", MsgButtons::Ok,
            MsgIcon::Critical);
        return ImportOutcome::NotSpecified;
    }
    const QString refusal = CheckPreviousVersionFile(path);
    if (!refusal.isEmpty()) {
        box(refusal, "指定エラー", MsgButtons::Ok, MsgIcon::Critical);
        return ImportOutcome::NotReadable;
    }
    // 2. The question, Yes as the first button.
    if (box("インポートを開始します。\r\n\r\nよろしいですか？", "確認", MsgButtons::YesNo, MsgIcon::Exclamation) !=
        MsgResult::Yes)
        return ImportOutcome::Declined;

    // 3. Both databases held open.
    const bool memberWasHeld = slot(Slot::Member).hold == 1;
    setForeignSource(path);
    if (!OpenForeignDbHold()) return ImportOutcome::OpenFailed;
    if (!OpenMemberDbHold()) {
        CloseForeignDbForce();
        return ImportOutcome::OpenFailed;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);

    // 4-6. Everything read first, then deleted and copied in one transaction.
    try {
        const PreviousData data = ReadPreviousData(*foreignDb());
        CopyPreviousData(memberConn(), data, mode);
    } catch (const RuntimeError& e) {
        CloseForeignDbForce();
        CloseMemberDb();
        showFailure(e);
        return ImportOutcome::Failed;
    }

    // 7. Release both databases.
    CloseForeignDbForce();
    CloseMemberDb();

    // 8. Compaction needs the member file closed; a screen that held it gets it back.
    CloseMemberDbForce();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    ImportCompaction()();
    if (memberWasHeld) OpenMemberDbHold();

    // 9. The marker counts up, then reads "1".
    LoadClinicCode();
    CClinicCode& clinic = TheClinicCode();
    clinic.ClinicName = QString::number(clinic.ClinicName.toInt() + 1);
    SaveClinicCode(app().MemberNo);
    box("旧版KVR-Chartからのインポートが完了しました。", "完了", MsgButtons::Ok, MsgIcon::Information);
    clinic.ClinicName = "1";
    SaveClinicCode(app().MemberNo);
    return ImportOutcome::Completed;
}

} // namespace kvr
