#include "CPatientAdd.h"

#include "data/ADODBMain.h"
#include "data/RecordUtil.h"
#include "data/SchemaMaintenance.h"
#include "platform/services.h"

#include <utility>

namespace kvr {

namespace {

const QString kTable = QStringLiteral("TPatientAdd");

using C = CPatientAdd;
using Col = CPatientAdd::Column;

// A 16-bit choice or count column (cleared to -9).
Col num(const char* name, qint16 C::*f, int def) {
    return Col{name, f, 0, def, 0};
}
Col text(const char* name, QString C::*f, int size, int zeros = 0) {
    return Col{name, f, size, 0, zeros};
}

} // namespace

const QList<CPatientAdd::Column>& CPatientAdd::columns() {
    static const QList<Column> cols = {
        Col{"ID", &C::ID, 0, 0, 0},
        text("FirstExamDay", &C::FirstExamDay, 10),
        text("BirthDay", &C::BirthDay, 10),
        num("Sex", &C::Sex, -1),
        num("ChiefComplaint", &C::ChiefComplaint, -1),
        text("ChiefComplaint2", &C::ChiefComplaint2, 20, kChiefComplaints),
        text("Height", &C::Height, 10),
        text("Weight", &C::Weight, 10),
        num("SmokingHistory", &C::SmokingHistory, -1),
        text("PackDay", &C::PackDay, 10),
        text("SmokingYear", &C::SmokingYear, 10),
        num("MedicalHistory", &C::MedicalHistory, -1),
        text("DiseaseName", &C::DiseaseName, 50, kDiseases),
        num("Ingestion", &C::Ingestion, -1),
        text("MedicineName", &C::MedicineName, 50, kMedicines),
        num("FinalEducation", &C::FinalEducation, -1),
        num("MedicalExamHistYear", &C::MedicalExamHistYear, -1),
        num("PeriodontalTreatment", &C::PeriodontalTreatment, -1),
        num("PeriodontalDiseaseFamily", &C::PeriodontalDiseaseFamily, -1),
        num("BrushTeethDay", &C::BrushTeethDay, 0),
        num("AuxiliaryTool", &C::AuxiliaryTool, -1),
        num("MissingToothNum", &C::MissingToothNum, 0),
        num("DentalCariesNum", &C::DentalCariesNum, 0),
        num("TreatmentFinishedNum", &C::TreatmentFinishedNum, 0),
        num("LowerPositionalRelation", &C::LowerPositionalRelation, -1),
        num("LowerPositionalRelationR", &C::LowerPositionalRelationR, -1),
        num("LowerPositionalRelationL", &C::LowerPositionalRelationL, -1),
        num("Malocclusion", &C::Malocclusion, -1),
        text("Malocclusion2", &C::Malocclusion2, 20, kMalocclusions),
        num("TeethRow", &C::TeethRow, -1),
        num("SideMoveRightContactNum", &C::SideMoveRightContactNum, 0),
        num("SideMoveLeftContactNum", &C::SideMoveLeftContactNum, 0),
        num("FrontMoveContactNum", &C::FrontMoveContactNum, 0),
        num("OcclusalTrauma", &C::OcclusalTrauma, -1),
        text("PrematureContact", &C::PrematureContact, 50, kTeeth),
        text("BalancingSideInterference", &C::BalancingSideInterference, 50, kTeeth),
        text("Fremitus", &C::Fremitus, 50, kTeeth),
        num("Bruxism", &C::Bruxism, -1),
        num("MouthBreathing", &C::MouthBreathing, -1),
        num("FoodImpaction", &C::FoodImpaction, -1),
        num("OrthodonticTreatmentHistory", &C::OrthodonticTreatmentHistory, -1),
        num("BoneResorptionAll", &C::BoneResorptionAll, -1),
        text("BoneResorptionMaxPer", &C::BoneResorptionMaxPer, 10),
        text("BoneResorptionMaxTh", &C::BoneResorptionMaxTh, 50, kTeeth),
        num("KvrDiagnosis", &C::KvrDiagnosis, -1),
        num("KvrDiagnosisLW", &C::KvrDiagnosisLW, -1),
        num("KvrDiagnosisCA", &C::KvrDiagnosisCA, -1),
        num("NewDiagnosisStage", &C::NewDiagnosisStage, -1),
        num("NewDiagnosisGrade", &C::NewDiagnosisGrade, -1),
        num("PerioSurgeryTreatment", &C::PerioSurgeryTreatment, -1),
        text("AblativeTherapy", &C::AblativeTherapy, 50, kTeeth),
        text("TissueAdhesionTherapy", &C::TissueAdhesionTherapy, 50, kTeeth),
        text("PerioTissueRegenTherapy", &C::PerioTissueRegenTherapy, 50, kTeeth),
        text("PerioPlasticSurgery", &C::PerioPlasticSurgery, 50, kTeeth),
        num("YobiIntA", &C::YobiIntA, 0),
        num("YobiIntB", &C::YobiIntB, 0),
        num("YobiIntC", &C::YobiIntC, 0),
        text("YobiStrA", &C::YobiStrA, 50),
        text("YobiStrB", &C::YobiStrB, 50),
        text("YobiStrC", &C::YobiStrC, 50),
        Col{"UpDateTime", &C::UpDateTime, 0, 0, 0},
    };
    return cols;
}

// ------------------------------------------------------------------ conversions

QString PadFlags(const QString& flags, int length) {
    return flags.size() >= length ? flags : flags + QString(length - flags.size(), '0');
}

namespace {

void convertSingle(qint16& single, QString& flags, int boxes) {
    if (single >= 1 && single <= boxes) {
        flags = QString(boxes, '0');
        flags[single - 1] = '1';
        single = 0;
    } else {
        flags = PadFlags(flags, boxes);
    }
}

} // namespace

void ConvertChiefComplaint(qint16& single, QString& flags) {
    convertSingle(single, flags, CPatientAdd::kChiefComplaints);
}

void ConvertMalocclusion(qint16& single, QString& flags) {
    convertSingle(single, flags, CPatientAdd::kMalocclusions);
}

QString InsertDisease12(const QString& flags) {
    return flags.size() == 21 ? flags.left(11) + '0' + flags.mid(11) : flags;
}

// ------------------------------------------------------------------ record

void CPatientAdd::ClearBuffer() {
    for (const Column& c : columns()) {
        std::visit(
            [&](auto m) {
                auto& f = this->*m;
                using T = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<T, QString>)
                    f = QString(c.clearedZeros, '0');
                else if constexpr (std::is_same_v<T, qint16>)
                    f = qint16(kNotAnswered);
                else if constexpr (std::is_same_v<T, qint32>)
                    f = 0;
                else
                    f = QDateTime(now().date(), QTime(0, 0));
            },
            c.field);
    }
}

void CPatientAdd::RecSetGet(const db::Recordset& rs) {
    for (const Column& c : columns()) {
        const QString name = QString::fromLatin1(c.name);
        std::visit(
            [&](auto m) {
                auto& f = this->*m;
                using T = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<T, QString>)
                    f = textOf(rs, name);
                else if constexpr (std::is_same_v<T, QDateTime>)
                    f = rs.value(name).toDateTime();
                else
                    f = T(rs.value(name).toInt());
            },
            c.field);
    }
    ConvertChiefComplaint(ChiefComplaint, ChiefComplaint2);
    DiseaseName = PadFlags(DiseaseName, kDiseases);
    ConvertMalocclusion(Malocclusion, Malocclusion2);
}

void CPatientAdd::RecSetPut(db::Recordset& rs) const {
    for (const Column& c : columns()) {
        const QString name = QString::fromLatin1(c.name);
        std::visit(
            [&](auto m) {
                const auto& f = this->*m;
                using T = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<T, QDateTime>)
                    rs.setValue(name, dateValue(f));
                else if constexpr (std::is_same_v<T, QString>)
                    rs.setValue(name, f);
                else
                    rs.setValue(name, int(f));
            },
            c.field);
    }
}

// ------------------------------------------------------------------ table

db::TableDef CPatientAdd::tableDef(const QString& name) {
    db::TableDef def;
    def.name = name;
    def.primaryKey = "ID";
    for (const Column& c : columns()) {
        db::ColumnDef col;
        col.name = QString::fromLatin1(c.name);
        std::visit(
            [&](auto m) {
                using T = std::decay_t<decltype(std::declval<CPatientAdd&>().*m)>;
                if constexpr (std::is_same_v<T, QString>) {
                    col.type = db::adVarWChar;
                    col.size = c.size;
                    col.defaultValue = QString("");
                } else if constexpr (std::is_same_v<T, QDateTime>) {
                    col.type = db::adDate;
                } else {
                    col.type = std::is_same_v<T, qint32> ? db::adInteger : db::adSmallInt;
                    col.defaultValue = c.columnDefault;
                }
            },
            c.field);
        def.columns << col;
    }
    return def;
}

int CPatientAdd::GetStatusTable() {
    MemberDbUse use;
    int status = 0;
    MaintenanceRetry retry("テーブルチェックエラー（", kTable);
    const bool ok = retry.run([&] {
        db::ConnectionPtr conn = memberConn();
        if (!conn) throw RuntimeError(3704, "database is closed");
        if (!conn->tableExists(kTable)) {
            status = -1;
            return;
        }
        status = 1;
        for (const db::ColumnInfo& c : conn->columns(kTable))
            if (c.name.compare("KvrDiagnosis", Qt::CaseInsensitive) == 0) status = 0;
    });
    return ok ? status : 0;
}

int CPatientAdd::CreateTable(const QString& table) {
    return CreateMemberTable(tableDef(table));
}

int CPatientAdd::DeleteTable(const QString& table) {
    return DropMemberTable(table);
}

int CPatientAdd::CopyTable(const QString& source, const QString& target) {
    MemberDbUse use;
    MaintenanceRetry retry("テーブル作成エラー（", kTable);
    return retry.run([&] { CopyTableRows(memberConn(), source, target); }) ? 0 : 1;
}

int CPatientAdd::ConvertTable() {
    MemberDbUse use;
    MaintenanceRetry retry("テーブルへのインポートエラー（", kTable);
    db::Recordset rs;
    bool ok = retry.run([&] { rs.open(memberConn(), "SELECT * FROM TPatientAdd", {}, db::OpenMode::Write); });
    while (ok && !rs.eof()) {
        ok = retry.run([&] {
            RecSetGet(rs);
            ChiefComplaint = qint16(rs.value("ChiefComplaint").toInt());
            ConvertChiefComplaint(ChiefComplaint, ChiefComplaint2);
            DiseaseName = PadFlags(InsertDisease12(textOf(rs, "DiseaseName")), kDiseases);
            LowerPositionalRelationR = LowerPositionalRelation;
            LowerPositionalRelationL = LowerPositionalRelation;
            Malocclusion = qint16(rs.value("Malocclusion").toInt());
            ConvertMalocclusion(Malocclusion, Malocclusion2);
            SideMoveRightContactNum = SideMoveLeftContactNum = FrontMoveContactNum = qint16(kNotAnswered);
            if (KvrDiagnosisLW >= 1 && KvrDiagnosisCA >= 1 && NewDiagnosisStage >= 1 &&
                NewDiagnosisGrade >= 1)
                KvrDiagnosis = 1;
            RecSetPut(rs);
            rs.update();
        });
        if (ok) rs.moveNext();
    }
    rs.close();
    return ok ? 0 : 1;
}

namespace {

// Holds the member connection for one scope unless a caller already holds it: the
// rebuild's transaction lives on that one connection.
class HeldMemberDb {
public:
    HeldMemberDb() : mine_(slot(Slot::Member).hold != 1) {
        if (mine_) OpenMemberDbHold();
    }
    ~HeldMemberDb() {
        if (mine_) CloseMemberDbForce();
    }
    HeldMemberDb(const HeldMemberDb&) = delete;
    HeldMemberDb& operator=(const HeldMemberDb&) = delete;

private:
    bool mine_;
};

} // namespace

int CPatientAdd::CheckTable() {
    HeldMemberDb held;
    const int status = GetStatusTable();
    if (status == 0) return 0;
    if (status < 0) return CreateTable(kTable);

    db::ConnectionPtr conn = memberConn();
    if (!conn) return 1;
    MaintenanceRetry retry("テーブルチェックエラー（", kTable);
    if (!retry.run([&] { conn->beginTransaction(); })) return 1;
    auto rollback = [&] {
        try {
            conn->rollback();
        } catch (const RuntimeError&) {
        }
    };
    // Killed or cancelled anywhere below, the database keeps the old table with all its
    // rows: nothing is left only in the work table.
    const QString work = "Work" + kTable;
    int st = DeleteTable(work);
    if (!st) st = CreateTable(work);
    if (!st) st = CopyTable(kTable, work);
    if (!st) st = DeleteTable(kTable);
    if (!st) st = CreateTable(kTable);
    if (!st) st = CopyTable(work, kTable);
    if (st) {
        rollback();
        return st;
    }
    DeleteTable(work); // a work table left over is dropped by the next rebuild
    st = ConvertTable();
    if (st || !conn->inTransaction()) {
        rollback();
        return st ? st : 1;
    }
    if (!retry.run([&] { conn->commit(); })) {
        rollback();
        return 1;
    }
    return 0;
}

QDate DateOfText(const QString& text) {
    for (const char* format : {"yyyy/M/d", "yyyy-M-d"}) {
        const QDate d = QDate::fromString(text.trimmed(), QString::fromLatin1(format));
        if (d.isValid()) return d;
    }
    return QDate();
}

// ------------------------------------------------------------------ program-wide record

namespace {
CPatientAdd& instance() {
    static CPatientAdd record;
    return record;
}
} // namespace

CPatientAdd& ThePatientAdd() {
    return instance();
}

void ResetPatientAdd() {
    instance() = CPatientAdd();
}

} // namespace kvr
