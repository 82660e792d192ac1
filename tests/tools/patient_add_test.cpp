// The additional-information record: its layout against the template database, the legacy
// conversions on reading, the start-up check that creates the table or rebuilds an older
// layout with its rows, and the boxes of its failing operations.
#include "tools_fixture.h"

using namespace kvr;

namespace {

class PatientAddTest : public test::ToolsTest {
protected:
    QString text(const QString& sql) { return scalar(sql).toString(); }
    CPatientAdd get(int id) {
        OpenMemberDb();
        CPatientAdd r;
        db::Recordset rs(memberConn(), "SELECT * FROM TPatientAdd WHERE ID=?", {id});
        if (!rs.eof()) r.RecSetGet(rs);
        rs.close();
        CloseMemberDb();
        return r;
    }
};

// The layout of an older program version: no diagnosis given/not given, single
// chief complaint, malocclusion and lower-jaw relation, no guidance answers.
const char* const kOldLayout =
    "CREATE TABLE TPatientAdd (ID INTEGER NOT NULL PRIMARY KEY, FirstExamDay VARCHAR(10), "
    "BirthDay VARCHAR(10), Sex SMALLINT, ChiefComplaint SMALLINT, Height VARCHAR(10), "
    "SmokingHistory SMALLINT, MedicalHistory SMALLINT, DiseaseName VARCHAR(50), Ingestion SMALLINT, "
    "LowerPositionalRelation SMALLINT, Malocclusion SMALLINT, KvrDiagnosisLW SMALLINT, "
    "KvrDiagnosisCA SMALLINT, NewDiagnosisStage SMALLINT, NewDiagnosisGrade SMALLINT, "
    "AblativeTherapy VARCHAR(50), UpDateTime DATETIME)";

QString flagsWith(int length, std::initializer_list<int> positions) {
    QString s(length, '0');
    for (int p : positions)
        s[p - 1] = '1';
    return s;
}

// The edges of the conversions; the common cases go through the rebuild and the reading below.
TEST(PatientAddConversion, LegacySingleAnswersBecomeFlagStrings) {
    const struct {
        void (*convert)(qint16&, QString&);
        qint16 single;
        QString flags;
        qint16 singleAfter;
        QString flagsAfter;
    } cases[] = {
        {ConvertChiefComplaint, 10, "1", 0, flagsWith(10, {10})}, // the single answer wins over a short string
        {ConvertChiefComplaint, 11, "", 11, QString(10, '0')},    // out of range: only filled up
        {ConvertChiefComplaint, -9, "000000000011", -9, "000000000011"}, // longer strings stay
        {ConvertMalocclusion, 5, "", 0, "00001"},
        {ConvertMalocclusion, 6, "", 6, "00000"},
    };
    for (auto c : cases) {
        const qint16 single = c.single;
        c.convert(c.single, c.flags);
        EXPECT_EQ(c.single, c.singleAfter) << single;
        EXPECT_EQ(c.flags, c.flagsAfter) << single;
    }
    // The disease list gained its 12th entry: a 21-character string shifts from there.
    EXPECT_EQ(InsertDisease12(flagsWith(21, {11, 21})), flagsWith(22, {11, 22}));
    EXPECT_EQ(InsertDisease12(flagsWith(22, {12})), flagsWith(22, {12}));
}

TEST_F(PatientAddTest, LayoutMatchesTheTemplateTableAndTheCreatedTableHasItsDefaults) {
    const db::TableDef def = CPatientAdd::tableDef("TPatientAddCopy");
    const QList<db::ColumnInfo> shipped = direct()->columns("TPatientAdd");
    ASSERT_EQ(shipped.size(), 61);
    ASSERT_EQ(def.columns.size(), 61);
    for (int i = 0; i < 61; ++i) {
        EXPECT_EQ(def.columns[i].name, shipped[i].name) << i;
        EXPECT_EQ(def.columns[i].type, shipped[i].type) << shipped[i].name.toStdString();
        EXPECT_EQ(def.columns[i].size, shipped[i].size) << shipped[i].name.toStdString();
    }
    // A row given only its key gets the same defaults in both tables.
    OpenMemberDb();
    ThePatientAdd().CreateTable("TPatientAddCopy");
    CloseMemberDb();
    direct()->execute("INSERT INTO TPatientAdd (ID) VALUES (7)");
    direct()->execute("INSERT INTO TPatientAddCopy (ID) VALUES (7)");
    EXPECT_EQ(test::rowsText(direct(), {"SELECT * FROM TPatientAdd"}), test::rowsText(direct(), {"SELECT * FROM TPatientAddCopy"}));
    EXPECT_EQ(text("SELECT Sex||'|'||BrushTeethDay FROM TPatientAdd"), "-1|0");
}

TEST_F(PatientAddTest, EveryFieldReadsBackAsWritten) {
    // Distinct values per column, so that two swapped columns show.
    CPatientAdd r;
    int n = 0;
    for (const CPatientAdd::Column& c : CPatientAdd::columns()) {
        ++n;
        std::visit(
            [&](auto m) {
                auto& f = r.*m;
                using T = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<T, QString>)
                    f = c.clearedZeros ? flagsWith(c.clearedZeros, {1 + n % c.clearedZeros}) : "値" + QString::number(n);
                else if constexpr (std::is_same_v<T, QDateTime>)
                    f = QDateTime(QDate(2023, 4, 1), QTime(9, 30));
                else
                    f = T(100 + n);
            },
            c.field);
    }
    r.ID = 12;
    r.ChiefComplaint = 0; // kept as it is: not a legacy single answer
    r.Malocclusion = 0;
    test::storePatientAdd(r);
    const CPatientAdd back = get(12);
    for (const CPatientAdd::Column& c : CPatientAdd::columns())
        std::visit([&](auto m) { EXPECT_EQ(back.*m, r.*m) << c.name; }, c.field);
}

TEST_F(PatientAddTest, MissingTableIsCreatedAndAnOlderLayoutRebuiltWithEveryRowMigrated) {
    auto c = direct();
    c->execute("DROP TABLE TPatientAdd");
    EXPECT_EQ(ThePatientAdd().GetStatusTable(), -1);
    EXPECT_EQ(ThePatientAdd().CheckTable(), 0);
    EXPECT_EQ(ThePatientAdd().GetStatusTable(), 0);
    EXPECT_EQ(direct()->columns("TPatientAdd").size(), 61);
    // A current table is left as it is, legacy values too; reading converts them in memory only.
    c->execute("INSERT INTO TPatientAdd (ID, ChiefComplaint, ChiefComplaint2, DiseaseName, Malocclusion, "
               "Malocclusion2) VALUES (4, 4, '', '101', 6, '1')");
    EXPECT_EQ(ThePatientAdd().CheckTable(), 0);
    const CPatientAdd read = get(4);
    EXPECT_EQ(QStringList({QString::number(read.ChiefComplaint), read.ChiefComplaint2, read.DiseaseName,
                           QString::number(read.Malocclusion), read.Malocclusion2}),
              QStringList({"0", flagsWith(10, {4}), flagsWith(22, {1, 3}), "6", "10000"}));
    EXPECT_EQ(text("SELECT ChiefComplaint||'|'||DiseaseName||'|'||Malocclusion2 FROM TPatientAdd WHERE ID=4"),
              "4|101|1");

    c->execute("DROP TABLE TPatientAdd");
    c->execute(kOldLayout);
    c->execute("INSERT INTO TPatientAdd (ID, BirthDay, Sex, ChiefComplaint, Height, DiseaseName, "
               "LowerPositionalRelation, Malocclusion, KvrDiagnosisLW, KvrDiagnosisCA, NewDiagnosisStage, "
               "NewDiagnosisGrade, AblativeTherapy) VALUES "
               "(1, '1960/05/01', 1, 4, '170', ?, 3, 2, 1, 2, 3, 1, ?), "
               "(2, '', 0, -1, '', '', 2, 6, 1, -9, 2, 2, '')",
               {flagsWith(21, {1, 12}), flagsWith(32, {32})});
    c->close();
    EXPECT_EQ(ThePatientAdd().GetStatusTable(), 1);
    EXPECT_EQ(ThePatientAdd().CheckTable(), 0);
    EXPECT_EQ(ThePatientAdd().GetStatusTable(), 0);
    EXPECT_FALSE(direct()->tableExists("WorkTPatientAdd"));
    EXPECT_EQ(direct()->columns("TPatientAdd").size(), 61);
    const QString fields =
        "SELECT BirthDay||'|'||Sex||'|'||ChiefComplaint||'|'||ChiefComplaint2||'|'||Height||'|'||DiseaseName||'|'||"
        "LowerPositionalRelationR||LowerPositionalRelationL||'|'||Malocclusion||'|'||Malocclusion2||'|'||"
        "SideMoveRightContactNum||SideMoveLeftContactNum||FrontMoveContactNum||'|'||KvrDiagnosis||'|'||"
        "AblativeTherapy||'|'||MedicineName FROM TPatientAdd WHERE ID=";
    EXPECT_EQ(text(fields + "1"), "1960/05/01|1|0|" + flagsWith(10, {4}) + "|170|" + flagsWith(22, {1, 13}) +
                                      "|33|0|01000|-9-9-9|1|" + flagsWith(32, {32}) + "|");
    // Not every diagnosis answered: KvrDiagnosis keeps the column default.
    EXPECT_EQ(text(fields + "2"), "|0|-1|" + QString(10, '0') + "||" + QString(22, '0') + "|22|6|00000|-9-9-9|-1||");
    EXPECT_TRUE(t.boxes->shown.isEmpty());
}

TEST_F(PatientAddTest, FailingOperationsNameThemselvesInTheRetryBox) {
    // Each operation's failure, with the database held as the start-up check holds it.
    auto held = [](const std::function<int()>& operation) {
        OpenMemberDbHold();
        const int r = operation();
        CloseMemberDbForce();
        return r;
    };
    const std::pair<std::function<int()>, QString> cases[] = {
        {[] { return ThePatientAdd().CreateTable("TPatientAdd"); }, "テーブル作成エラー（TPatientAdd）"},
        {[&] {
             direct()->execute("INSERT INTO TPatientAdd (ID) VALUES (1), (2)");
             return held([] {
                 db::Recordset reading(memberConn(), "SELECT * FROM TPatientAdd");
                 return ThePatientAdd().DeleteTable("TPatientAdd");
             });
         },
         "テーブル削除エラー（TPatientAdd）"},
        {[&] {
             direct()->execute("DROP TABLE TPatientAdd");
             direct()->execute(kOldLayout);
             return held([] {
                 memberConn()->beginTransaction();
                 const int r = ThePatientAdd().CheckTable();
                 memberConn()->rollback();
                 return r;
             });
         },
         "テーブルチェックエラー（TPatientAdd）"},
        {[&] {
             direct()->execute("ALTER TABLE TPatientAdd RENAME TO TPatientAddAway");
             const int r = ThePatientAdd().ConvertTable();
             direct()->execute("ALTER TABLE TPatientAddAway RENAME TO TPatientAdd");
             return r;
         },
         "テーブルへのインポートエラー（TPatientAdd）"},
    };
    for (const auto& [operation, line] : cases) {
        SCOPED_TRACE(line.toStdString());
        t.boxes->clear();
        t.boxes->answer(MsgResult::Cancel);
        EXPECT_NE(operation(), 0);
        ASSERT_EQ(t.boxes->shown.size(), 1);
        const MsgBoxRequest& b = t.boxes->shown[0];
        EXPECT_TRUE(b.title == "エラー" && b.text.startsWith("<") && b.text.endsWith("\r\n\r\n" + line)) << b.text.toStdString();
        EXPECT_EQ(b.buttons, MsgButtons::RetryCancel);
        EXPECT_EQ(b.icon, MsgIcon::Exclamation);
    }
}

} // namespace
