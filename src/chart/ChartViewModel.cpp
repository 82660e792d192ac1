#include "chart/ChartViewModel.h"

#include "data/ADODBMain.h"
#include "data/RecordUtil.h"
#include "exam/CExamData.h"
#include "platform/database.h"

namespace kvr {

namespace {

QDate dateOf(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return {};
    if (v.typeId() == QMetaType::QString) return db::dateFromDb(v.toString()).date();
    return v.toDateTime().date();
}

} // namespace

void LoadChartPatient(const db::ConnectionPtr& conn, int patientId, ChartPatientData& data) {
    data.patientId = patientId;
    data.caseNumber.clear();
    data.entries.clear();
    for (ChartStageData& s : data.stages) {
        s.clear();
        s.StageName.clear();
        s.ExamDate = QDateTime();
    }
    {
        db::Recordset rs(conn, "SELECT Address1 FROM TPatient WHERE ID=?", {patientId});
        if (!rs.eof()) data.caseNumber = rs.value("Address1").toString();
    }
    QList<std::pair<int, QString>> types;
    {
        db::Recordset rs(conn, "SELECT ID, CommentDR FROM TComType WHERE ID>0 AND DR<>0 ORDER BY ID");
        for (; !rs.eof() && types.size() < 4; rs.moveNext())
            types.append({rs.value("ID").toInt(), rs.value("CommentDR").toString()});
    }
    for (int k = 0; k < types.size(); ++k) {
        const auto& [id, name] = types[k];
        db::Recordset rs(conn,
                         "SELECT ExamDate FROM TExamData WHERE PatientID=? AND CommentID=? "
                         "GROUP BY ExamDate ORDER BY ExamDate",
                         {patientId, id});
        for (; !rs.eof(); rs.moveNext())
            data.entries << dateOf(rs.value("ExamDate")).toString(QStringLiteral("yyyy/MM/dd")) + "  " + name;
        LoadChartStage(conn, patientId, id, data.stages[k]);
        data.stages[k].StageName = name;
    }
}

bool LoadChartPatient(int patientId, ChartPatientData& data) {
    data.patientId = patientId;
    MemberDbUse use;
    return runWithRetryBox([&] { LoadChartPatient(memberConn(), patientId, data); });
}

int PrioritySlot(const ChartStages& stages, int pair) {
    const int preferred = pair == 0 ? 0 : 3;
    const int other = pair == 0 ? 1 : 2;
    return stages[preferred].HasData || !stages[other].HasData ? preferred : other;
}

std::array<std::uint16_t, 32> PairToothStatus(const ChartStages& stages, int pair) {
    const ChartStageData& s = stages[PrioritySlot(stages, pair)];
    if (s.HasData) return s.ToothStatus;
    return {};
}

QString MobilityText(const ChartStages& stages, int pair, int tooth) {
    auto side = [&](int slot) {
        const std::uint8_t v = stages[slot].Mobility[tooth];
        return stages[slot].HasData && v != kNoValue ? QString::number(v) : QString();
    };
    const QString a = side(firstSlotOfPair(pair)), b = side(firstSlotOfPair(pair) + 1);
    if (a.isEmpty() && b.isEmpty()) return {};
    return a + QStringLiteral("→") + b;
}

QString MobilityHeading(int pair) {
    return pair == 0 ? QStringLiteral("初→基") : QStringLiteral("S→最");
}

QString PriorityNote(int pair) {
    return pair == 0 ? QStringLiteral("＊根分岐部病変 および 歯の情報表示は、初診時が優先されます。")
                     : QStringLiteral("＊根分岐部病変 および 歯の情報表示は、最新ＳＰＴ時 が優先されます。");
}

bool ChartSheetPrintable(const ChartStages& stages) {
    for (const ChartStageData& s : stages)
        if (s.HasData) return true;
    return false;
}

bool DataSheetPrintable(const ChartStages& stages) {
    return stages[0].HasData || stages[1].HasData;
}

} // namespace kvr
