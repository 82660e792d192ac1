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

// Every examination row carries the label of its stage code in Comment (a missing
// code counts as 0, a missing label as empty). The stale rows are found through the
// stage-and-label index, per code, without reading the others.
void repairStoredLabels(const db::ConnectionPtr& conn, const QStringList& labels) {
    const QDateTime stamp = now();
    const int known = int(labels.size());
    auto relabel = [&](const QString& where, QVariantList params, const QString& label) {
        params.prepend(stamp);
        params.prepend(label);
        conn->execute("UPDATE TExamData SET Comment=?, \"UpDate\"=? WHERE " + where, params);
    };
    // Each condition is a range of the (CommentID, Comment) index: the rows whose text is
    // before or after the label, or missing.
    for (int code = 0; code < known; ++code) {
        const QString& label = labels[code];
        QList<QPair<QString, QVariantList>> codes{{"CommentID=?", {code}}};
        if (code == 0) codes << qMakePair(QString("CommentID IS NULL"), QVariantList{});
        for (const auto& [codeTest, codeParams] : codes) {
            if (label.isEmpty()) {
                relabel(codeTest + " AND Comment>''", codeParams, label);
                continue;
            }
            relabel(codeTest + " AND Comment<?", codeParams + QVariantList{label}, label);
            relabel(codeTest + " AND Comment>?", codeParams + QVariantList{label}, label);
            relabel(codeTest + " AND Comment IS NULL", codeParams, label);
        }
    }
    relabel("CommentID<0 AND Comment>''", {}, QString());
    relabel("CommentID>=? AND Comment>''", {known}, QString());
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
