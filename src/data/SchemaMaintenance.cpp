#include "SchemaMaintenance.h"

#include "CMaster.h"
#include "CNextAutoNumber.h"
#include "RecordUtil.h"
#include "data/ADODBMain.h"
#include "platform/services.h"
#include "shell/FileUtil.h"

#include <QFileInfo>
#include <QSet>

namespace kvr {

// ------------------------------------------------------------------ retry

QString MaintenanceErrorText(int number, const QString& description, const QString& label,
                             const QString& table) {
    return "<" + QString::number(number) + "> " + description + "\r\n\r\n" + label + table + "）";
}

int DropMemberTable(const QString& table) {
    MemberDbUse use;
    MaintenanceRetry retry("テーブル削除エラー（", table);
    return retry.run([&] {
        if (memberConn()->tableExists(table)) memberConn()->dropTable(table);
    })
               ? 0
               : 1;
}

int CreateMemberTable(const db::TableDef& def) {
    MemberDbUse use;
    MaintenanceRetry retry("テーブル作成エラー（", def.name);
    return retry.run([&] { memberConn()->createTable(def); }) ? 0 : 1;
}

MaintenanceRetry::MaintenanceRetry(QString label, QString table)
    : label_(std::move(label)), table_(std::move(table)) {}

bool MaintenanceRetry::run(const std::function<void()>& statement) {
    for (;;) {
        try {
            statement();
            return true;
        } catch (const RuntimeError& e) {
            ++errors_;
            if (errors_ <= kSilentRetries) {
                waitMs(kRetryWaitMs);
                continue;
            }
            MsgResult r = msgBox(MaintenanceErrorText(e.number, e.description, label_, table_), "エラー",
                                 MsgButtons::RetryCancel, MsgIcon::Exclamation);
            if (r != MsgResult::Retry) return false;
        }
    }
}

// ------------------------------------------------------------------ helpers

void CopyTableRows(const db::ConnectionPtr& conn, const QString& source, const QString& target) {
    QSet<QString> targetColumns;
    for (const db::ColumnInfo& c : conn->columns(target))
        targetColumns.insert(c.name.toLower());
    QStringList common;
    for (const db::ColumnInfo& c : conn->columns(source))
        if (targetColumns.contains(c.name.toLower())) common << "\"" + c.name + "\"";
    if (common.isEmpty()) throw RuntimeError(3265, "No common columns: " + source + " / " + target);
    const QString cols = common.join(",");
    conn->execute("INSERT INTO \"" + target + "\" (" + cols + ") SELECT " + cols + " FROM \"" + source +
                  "\"");
}

QString StageLabelOf(int stageCode) {
    switch (stageCode) {
    case 1:
        return "初診時";
    case 2:
        return "基本治療終了時";
    case 3:
        return "ＳＰＴ移行時";
    case 4:
        return "最新ＳＰＴ時";
    default:
        return QString();
    }
}

// ------------------------------------------------------------------ master list

namespace {

QString masterFilePath() {
    return deliveredFolder() + "/TMaster.txt";
}

db::TableDef masterTableDef(const QString& name) {
    return {name,
            {{"IDLG", db::adInteger, 0, 0},
             {"IDSG", db::adInteger, 0, 0},
             {"SeqNo", db::adInteger, 0, 0},
             {"SGName", db::adVarWChar, 100, QString("")},
             {"SGComment", db::adVarWChar, 100, QString("")},
             {"UpDate", db::adDate, 0, QVariant()}},
            QString()};
}

} // namespace

int CMaster::CheckTable() {
    if (!QFileInfo::exists(masterFilePath())) return 0;
    if (!ReadMasterFile(masterFilePath()).readable) {
        // A list in an unknown encoding would fill the table with garbled text.
        qWarning("TMaster.txt is neither UTF-8 nor CP932 text; the master table is kept as it is.");
        return 0;
    }
    bool rebuild = false;
    if (int st = CheckUpdate(rebuild)) return st;
    if (!rebuild) return 0;
    if (int st = DeleteTable("TMaster")) return st;
    if (int st = CreateTable("TMaster")) return st;
    return ImportTable("TMaster");
}

int CMaster::CheckUpdate(bool& rebuild) {
    rebuild = false;
    const QDate fileDate = ReadMasterFile(masterFilePath()).date;
    QDate dbDate = NoDate();
    MemberDbUse use;
    MaintenanceRetry retry("CheckUpdate（", "TMaster");
    const bool ok = retry.run([&] {
        dbDate = NoDate();
        if (!memberConn()->tableExists("TMaster")) return;
        db::Recordset rs(memberConn(), "SELECT * FROM TMaster WHERE IDLG=0 AND IDSG=0");
        if (!rs.eof()) dbDate = ParseMasterDate(textOf(rs, "SGName"));
    });
    if (!ok) return 1;
    rebuild = dbDate == NoDate() || fileDate != dbDate;
    return 0;
}

int CMaster::DeleteTable(const QString& table) {
    return DropMemberTable(table);
}

int CMaster::CreateTable(const QString& table) {
    return CreateMemberTable(masterTableDef(table));
}

int CMaster::ImportTable(const QString& table) {
    const MasterFile file = ReadMasterFile(masterFilePath());
    MemberDbUse use;
    db::ConnectionPtr conn = memberConn();
    MaintenanceRetry retry("テーブルへのインポートエラー（", table);
    db::Recordset rs;
    // One transaction: an import cancelled half-way leaves the table empty (and so
    // without its header row, which makes the next start import it again).
    if (!retry.run([&] { conn->beginTransaction(); })) return 1;
    bool ok = retry.run([&] { rs.open(conn, "SELECT * FROM \"" + table + "\"", {}, db::OpenMode::Write); });
    for (int i = 0; ok && i < file.lines.size(); ++i) {
        const MasterLine& line = file.lines[i];
        ok = retry.run([&] {
            rs.addNew();
            CMaster row;
            row.IDLG = line.IDLG;
            row.IDSG = line.IDSG;
            row.SeqNo = line.SeqNo;
            row.SGName = line.SGName;
            row.SGComment = line.SGComment;
            row.UpDate = now();
            row.RecSetPut(rs);
            rs.update();
        });
    }
    rs.close();
    if (ok) ok = retry.run([&] { conn->commit(); });
    if (!ok) {
        try {
            conn->rollback();
        } catch (const RuntimeError&) {
        }
        return 1;
    }
    return 0;
}

int CMaster::CopyTable(const QString& source, const QString& target) {
    MemberDbUse use;
    MaintenanceRetry retry("テーブル作成エラー（", target);
    return retry.run([&] { CopyTableRows(memberConn(), source, target); }) ? 0 : 1;
}

int CMaster::GetStatusTable(const QString& table) {
    MemberDbUse use;
    int status = 0;
    MaintenanceRetry retry("テーブルチェックエラー（", table);
    retry.run([&] { status = memberConn()->tableExists(table) ? 0 : -1; });
    return status;
}

// ------------------------------------------------------------------ sample patients

namespace {

// Copies the rows of query (on from) into table (on to), column by column where the
// target has the column. keyOf decides the key of each copied row (nullptr: keep it).
void copyRows(const db::ConnectionPtr& from, const QString& query, const db::ConnectionPtr& to,
              const QString& table, const std::function<QVariant(const QVariant&)>& keyOf) {
    db::Recordset src(from, query);
    db::Recordset dst(to, "SELECT * FROM " + table + " WHERE ID IS NULL", {}, db::OpenMode::Write);
    for (; !src.eof(); src.moveNext()) {
        dst.addNew();
        for (int i = 0; i < src.fieldCount(); ++i) {
            const QString name = src.fieldName(i);
            if (!dst.hasField(name)) continue;
            QVariant v = src.value(i);
            if (keyOf && name.compare("ID", Qt::CaseInsensitive) == 0) v = keyOf(v);
            dst.setValue(name, v);
        }
        dst.update();
    }
}

} // namespace

bool RefreshSamplePatients() {
    const QString marker = appFolder() + "/UpdateSample.txt";
    if (!QFileInfo::exists(marker)) return true;
    if (slot(Slot::Template).source.isEmpty()) setTemplateSource(deliveredFolder() + "/KVR-DB_ORG.MDB");
    OpenTemplateDb();
    OpenMemberDb();
    const bool ok = runWithRetryBox([] {
        db::ConnectionPtr mem = memberConn();
        db::ConnectionPtr tpl = templateConn();
        mem->beginTransaction();
        try {
            mem->execute("DELETE FROM TExamData WHERE PatientID IN (98,99)");
            mem->execute("DELETE FROM TPatient WHERE ID IN (98,99)");
            copyRows(tpl, "SELECT * FROM TPatient WHERE ID IN (98,99) ORDER BY ID", mem, "TPatient", nullptr);
            // The template's examination keys are kept unless the member database uses
            // one of them for another row; such a row gets a new key.
            copyRows(tpl, "SELECT * FROM TExamData WHERE PatientID IN (98,99) ORDER BY ID", mem, "TExamData",
                     [&mem](const QVariant& id) -> QVariant {
                         if (mem->scalar("SELECT count(*) FROM TExamData WHERE ID=?", {id}).toInt() == 0)
                             return id;
                         return GetNextNumberOn(mem, "TExamData");
                     });
            mem->commit();
        } catch (...) {
            mem->rollback();
            throw;
        }
    });
    CloseMemberDb();
    CloseTemplateDb();
    if (ok) DeleteFile(marker);
    return ok;
}

QString ExamItem3WorkCondition() {
    // Cells are three characters each: Data1 holds cells 0-47 (first pass of item 3 in
    // cells 0-31), Data2 cells 48-95 (second pass in 48-79, its first 96 characters).
    // Status words are six characters each in Bui. A cell reads as 128 (no value) from
    // "128", and from "384", "640" or "896" (the low eight bits); the second-pass test
    // looks for any of them, so it may select a row that needs nothing, never miss one.
    QStringList terms{"ifnull(length(Data1),0)<>144", "ifnull(length(Data2),0)<>144"};
    for (const char* empty : {"128", "384", "640", "896"})
        terms << QString("instr(substr(Data2,1,96),'%1')>0").arg(empty);
    for (int t = 0; t < 32; ++t)
        terms << QString("((CAST(substr(Bui,%1,6) AS INTEGER)&24576)<>0 AND substr(Data1,%2,3)<>'128')")
                     .arg(1 + 6 * t)
                     .arg(1 + 3 * t);
    return "SubExam=3 AND (" + terms.join(" OR ") + ")";
}

void EnsureExamIndexes(const db::ConnectionPtr& conn) {
    conn->execute("CREATE INDEX IF NOT EXISTS ExamDataPatientDateStage ON TExamData "
                  "(PatientID, ExamDate, CommentID)");
    conn->execute(
        "CREATE INDEX IF NOT EXISTS ExamDataPatientStage ON TExamData (PatientID, CommentID, ExamDate)");
    conn->execute("CREATE INDEX IF NOT EXISTS ExamDataStageLabel ON TExamData (CommentID, Comment)");
    conn->execute("CREATE INDEX IF NOT EXISTS ExamDataItem3Work ON TExamData (SubExam) WHERE " +
                  ExamItem3WorkCondition());
    // The patient-and-date index of older databases is covered by the first one above.
    conn->execute("DROP INDEX IF EXISTS ExamDataPatientDate");
}

} // namespace kvr
