// Start-up repair of the treatment stage table, of the stage labels stored with the
// examinations and of two item definitions.
#include "ExamSession.h"

#include "data/ADODBMain.h"
#include "data/RecordUtil.h"
#include "data/SchemaMaintenance.h"
#include "platform/database.h"

namespace kvr {

namespace {

const char* const kLatestSpt = "最新ＳＰＴ時";

void addStageRow(const db::ConnectionPtr& conn, int code, const QString& label) {
    conn->execute(
        "INSERT INTO TComType (ID, Comment, CommentDR, CommentDH, DR, DH) VALUES (?, ?, ?, ?, ?, ?)",
        {code, label, label, label, true, true});
}

void repairStageTable(const db::ConnectionPtr& conn) {
    if (!conn->scalar("SELECT count(*) FROM TComType WHERE ID=0").toInt()) addStageRow(conn, 0, QString());
    bool rowFourRight = false;
    {
        db::Recordset rs(conn, "SELECT * FROM TComType WHERE ID=4");
        rowFourRight =
            !rs.eof() && textOf(rs, "CommentDR") == kLatestSpt && textOf(rs, "CommentDH") == kLatestSpt;
    }
    if (rowFourRight) return;
    conn->execute("DELETE FROM TComType");
    for (int code = 0; code <= 4; ++code)
        addStageRow(conn, code, StageLabelOf(code));
}

// Every examination row carries the label of its stage code in Comment.
void repairStoredLabels(const db::ConnectionPtr& conn, const QStringList& labels) {
    QList<qint32> stale;
    QList<QString> wanted;
    {
        db::Recordset rs(conn, "SELECT ID, CommentID, Comment FROM TExamData");
        for (; !rs.eof(); rs.moveNext()) {
            const int code = rs.value("CommentID").toInt();
            const QString label = code >= 0 && code < labels.size() ? labels[code] : QString();
            if (textOf(rs, "Comment") != label) {
                stale << rs.value("ID").toInt();
                wanted << label;
            }
        }
    }
    const QDateTime stamp = now();
    for (int i = 0; i < stale.size(); ++i)
        conn->execute("UPDATE TExamData SET Comment=?, \"UpDate\"=? WHERE ID=?",
                      {wanted[i], stamp, stale[i]});
}

void repairItems(const db::ConnectionPtr& conn) {
    conn->execute("UPDATE TSubExam SET GradPart2=6 WHERE ID=2 AND GradPart2=7");
    conn->execute("UPDATE TSubExam SET Status=? WHERE ID=3 AND (Status IS NULL OR Status<>?)",
                  {0x1000, 0x1000});
}

} // namespace

bool RepairItemDefinitions() {
    return InMemberTransaction(repairItems);
}

bool RepairStageTypes() {
    return InMemberTransaction(repairStageTable);
}

bool RepairStageTexts() {
    const QStringList labels = LoadStageLabels();
    return InMemberTransaction([&](const db::ConnectionPtr& conn) { repairStoredLabels(conn, labels); });
}

bool RepairStageTables() {
    MemberDbUse use; // one open for the three steps
    return RepairItemDefinitions() && RepairStageTypes() && RepairStageTexts();
}

} // namespace kvr
