// One case's additional clinical information (a row of TPatientAdd) and the
// maintenance of that table: creation, the rebuild of an older layout through a work
// table and the migration of the rows' values.
//
// Choice fields hold the master-list code (IDSG) of the chosen entry, -9 when none was
// chosen; count fields the typed number or -9; flag strings one "0"/"1" character per
// check box (ChiefComplaint2 10, DiseaseName 22, MedicineName 12, Malocclusion2 5);
// tooth strings 32 characters in chart order (upper right 8..1, upper left 1..8, lower
// right 8..1, lower left 1..8). BirthDay and FirstExamDay are "yyyy/mm/dd" text.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <variant>

namespace kvr::db {
class Recordset;
struct TableDef;
} // namespace kvr::db

namespace kvr {

class CPatientAdd {
public:
    qint32 ID = 0;
    QString FirstExamDay;
    QString BirthDay;
    qint16 Sex = 0;
    qint16 ChiefComplaint = 0;
    QString ChiefComplaint2;
    QString Height;
    QString Weight;
    qint16 SmokingHistory = 0;
    QString PackDay;
    QString SmokingYear;
    qint16 MedicalHistory = 0;
    QString DiseaseName;
    qint16 Ingestion = 0;
    QString MedicineName;
    qint16 FinalEducation = 0;
    qint16 MedicalExamHistYear = 0;
    qint16 PeriodontalTreatment = 0;
    qint16 PeriodontalDiseaseFamily = 0;
    qint16 BrushTeethDay = 0;
    qint16 AuxiliaryTool = 0;
    qint16 MissingToothNum = 0;
    qint16 DentalCariesNum = 0;
    qint16 TreatmentFinishedNum = 0;
    qint16 LowerPositionalRelation = 0;
    qint16 LowerPositionalRelationR = 0;
    qint16 LowerPositionalRelationL = 0;
    qint16 Malocclusion = 0;
    QString Malocclusion2;
    qint16 TeethRow = 0;
    qint16 SideMoveRightContactNum = 0;
    qint16 SideMoveLeftContactNum = 0;
    qint16 FrontMoveContactNum = 0;
    qint16 OcclusalTrauma = 0;
    QString PrematureContact;
    QString BalancingSideInterference;
    QString Fremitus;
    qint16 Bruxism = 0;
    qint16 MouthBreathing = 0;
    qint16 FoodImpaction = 0;
    qint16 OrthodonticTreatmentHistory = 0;
    qint16 BoneResorptionAll = 0;
    QString BoneResorptionMaxPer;
    QString BoneResorptionMaxTh;
    qint16 KvrDiagnosis = 0;
    qint16 KvrDiagnosisLW = 0;
    qint16 KvrDiagnosisCA = 0;
    qint16 NewDiagnosisStage = 0;
    qint16 NewDiagnosisGrade = 0;
    qint16 PerioSurgeryTreatment = 0;
    QString AblativeTherapy;
    QString TissueAdhesionTherapy;
    QString PerioTissueRegenTherapy;
    QString PerioPlasticSurgery;
    qint16 YobiIntA = 0;
    qint16 YobiIntB = 0;
    qint16 YobiIntC = 0;
    QString YobiStrA;
    QString YobiStrB;
    QString YobiStrC;
    QDateTime UpDateTime;

    static constexpr int kNotAnswered = -9;
    static constexpr int kChiefComplaints = 10;
    static constexpr int kDiseases = 22;
    static constexpr int kMedicines = 12;
    static constexpr int kMalocclusions = 5;
    static constexpr int kTeeth = 32;

    // Every field its cleared value: choices and counts -9, flag strings all "0",
    // spare numbers -9, texts empty, UpDateTime today (midnight).
    void ClearBuffer();
    // Reads the current row, then brings a legacy row up to date in memory: a single
    // chief complaint (1-10) or malocclusion (1-5) becomes its flag string, short flag
    // strings are filled up with "0".
    void RecSetGet(const db::Recordset& rs);
    // Writes all 61 fields unchanged into the current row.
    void RecSetPut(db::Recordset& rs) const;

    // Start-up check: creates a missing table, rebuilds one of the older layout (without
    // KvrDiagnosis) with all its rows. The rebuild runs in one transaction. 0 = success.
    int CheckTable();
    // -1 missing, 1 older layout, 0 current (also when the check failed or was cancelled).
    int GetStatusTable();
    int CreateTable(const QString& table);
    // A missing table counts as dropped.
    int DeleteTable(const QString& table);
    int CopyTable(const QString& source, const QString& target);
    // Migrates the values of every row of TPatientAdd from the older layout.
    int ConvertTable();

    // The table's layout under the given name.
    static db::TableDef tableDef(const QString& name);

    // One column: its field, type, size and the default of the created table.
    using Member = std::variant<qint32 CPatientAdd::*, qint16 CPatientAdd::*, QString CPatientAdd::*,
                                QDateTime CPatientAdd::*>;
    struct Column {
        const char* name;
        Member field;
        int size = 0;          // characters of a text column
        int columnDefault = 0; // numbers; text columns default to the empty string
        int clearedZeros = 0;  // flag strings: cleared to this many "0" characters
    };
    static const QList<Column>& columns();
};

// Legacy conversions of the record's flag strings, shared by reading and migration.
// A single chief complaint 1-10 becomes the flag string with that position set and the
// single value 0; otherwise the string is filled up to ten characters.
void ConvertChiefComplaint(qint16& single, QString& flags);
void ConvertMalocclusion(qint16& single, QString& flags);
// Fills a flag string up to length with "0" on the right (longer strings stay).
QString PadFlags(const QString& flags, int length);
// A disease string of the 21-entry list gets "0" as the new 12th entry.
QString InsertDisease12(const QString& flags);

// The date a stored date text stands for: year, month and day separated by "/" or "-",
// with or without leading zeros ("1975/03/01", "1975/3/1", "1975-03-01"). Invalid when
// the text is no date.
QDate DateOfText(const QString& text);

// The program-wide record of the additional information.
CPatientAdd& ThePatientAdd();
void ResetPatientAdd();

} // namespace kvr
