// The import of the previous version's case patients into the member database: what each
// option deletes, what is copied and converted, the refusals before anything is deleted, the
// messages, the compaction and the import marker, the all-or-nothing copy; and its tab.
#include "support/previous_version_files.h"
#include "tools/ImportKVRChart.h"
#include "tools/ToolTabs.h"
#include "tools_fixture.h"

#include <QAbstractButton>
#include <QLabel>
#include <QRadioButton>

using namespace kvr;

namespace {

class ImportTest : public test::MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        prevPath = t.paths->app + "/VAZUZ2.MDB";
        defaultCompaction = ImportCompaction();
        defaultChooser = ImportFileChooser();
        ImportCompaction() = [this] {
            ++compactions;
            compactedWithMemberClosed = memberConn() == nullptr;
            return true;
        };
    }
    void TearDown() override {
        ImportFileChooser() = defaultChooser;
        ImportCompaction() = defaultCompaction;
        MemberDbTest::TearDown();
    }
    // Member case patients with examinations (keys 900000 + id * 100 + k).
    void addMemberPatients(std::initializer_list<int> ids) {
        for (int id : ids) {
            direct()->execute("INSERT INTO TPatient (ID, Name, BirthDay, Sex) VALUES (?, ?, '1970/01/01', 0)",
                              {id, "会員の患者" + QString::number(id)});
            for (int k = 0; k < 2; ++k)
                direct()->execute("INSERT INTO TExamData (ID, PatientID, ExamDate, CommentID) VALUES (?, ?, ?, 1)",
                                  {900000 + id * 100 + k, id, QDateTime(QDate(2023, 1, 1 + k), QTime(0, 0))});
        }
    }
    // The previous file with these patients, three examinations each.
    void previous(std::initializer_list<int> ids) {
        test::PreviousVersionFile f(prevPath);
        for (int id : ids) {
            f.addPatient(id);
            f.addExams(id, 3);
        }
    }
    QList<int> ints(const QString& sql) {
        QList<int> out;
        for (db::Recordset rs(direct(), sql); !rs.eof(); rs.moveNext())
            out << rs.value(0).toInt();
        return out;
    }
    QString text(const QString& sql) { return scalar(sql).toString(); }
    QString clinicName() { return text("SELECT ClinicName FROM TClinicCode WHERE ID=0"); }
    // Every row of the tables the import touches, as text.
    QString memberRows() {
        return test::rowsText(direct(), {"SELECT * FROM TPatient ORDER BY ID", "SELECT * FROM TExamData ORDER BY ID",
                                         "SELECT * FROM TNextAutoNumber", "SELECT * FROM TClinicCode"});
    }
    ImportOutcome runImport(ImportMode mode) {
        t.boxes->answer(MsgResult::Yes);
        return ImportKVRChart(prevPath, mode);
    }

    QString prevPath;
    std::function<QString(QWidget*, const QString&, const QString&, const QString&)> defaultChooser;
    std::function<bool()> defaultCompaction;
    int compactions = 0;
    bool compactedWithMemberClosed = false;
};

struct OptionCase {
    ImportMode mode;
    QList<int> patients;        // afterwards
    QList<int> memberExamsLeft; // patients of the member's own examination rows left
};

class ImportOptionTest : public ImportTest, public ::testing::WithParamInterface<OptionCase> {};

// Previous patients 1-3, 30 and 31, 98 (neither deleted nor copied), member patients 1-5 and 30.
TEST_P(ImportOptionTest, OptionDecidesWhichMemberCasePatientsRemain) {
    addMemberPatients({1, 2, 3, 4, 5, 30});
    previous({1, 2, 3, 30, 31, 98});
    const QStringList outside = {"SELECT * FROM TPatient WHERE ID>30 ORDER BY ID",
                                 "SELECT * FROM TExamData WHERE PatientID>30 ORDER BY ID"};
    const QString samples = test::rowsText(direct(), outside);
    ASSERT_EQ(runImport(GetParam().mode), ImportOutcome::Completed);
    EXPECT_EQ(ints("SELECT ID FROM TPatient ORDER BY ID"), GetParam().patients);
    EXPECT_EQ(ints("SELECT PatientID FROM TExamData WHERE ID BETWEEN 900000 AND 999999 ORDER BY ID"),
              GetParam().memberExamsLeft);
    // Patients 1-3 and 30 now hold the previous version's three rows each, and their names.
    EXPECT_EQ(ints("SELECT COUNT(*) FROM TExamData WHERE PatientID IN (1, 2, 3, 30)")[0], 12);
    EXPECT_EQ(text("SELECT Name FROM TPatient WHERE ID=2"), "患者2");
    EXPECT_EQ(test::rowsText(direct(), outside), samples);
}

INSTANTIATE_TEST_SUITE_P(Options, ImportOptionTest,
                         ::testing::Values(OptionCase{ReplaceAllCases, {1, 2, 3, 30, 98, 99}, {}},
                                           OptionCase{ReplaceSameNumbers, {1, 2, 3, 4, 5, 30, 98, 99}, {4, 4, 5, 5}}));

TEST_F(ImportTest, FilesThatCannotBeImportedAreRefusedBeforeAnyDeletion) {
    addMemberPatients({1, 2});
    const QString app = t.paths->app;
    QDir().mkpath(app + "/KVR2");
    test::PreviousVersionFile(app + "/member-key.MDB", kProgramPassword).close();
    test::PreviousVersionFile(app + "/no-exams.MDB").conn()->execute("DROP TABLE TExamData");
    const bool haveAccess = test::copyDateTestFile(app + "/DateTest.MDB");
    previous({1});
    const QByteArray whole = test::readFile(prevPath);
    QFile::remove(prevPath);
    test::writeUnreadableFiles(app, whole);
    test::writeFile(app + "/archive.MDB", QByteArray("PK\x03\x04", 4) + QByteArray(4000, '\0'));

    const QString notSpecified = "インポートする旧版KVR-ChartのDBファイルが指定されていません。";
    const QString notReadable = "指定されたファイルは旧版KVR-ChartのDBファイルとして読み込めません。";
    const QString noData = "指定されたファイルには旧版KVR-Chartのデータ（";
    const std::pair<QString, QString> cases[] = {
        {"", notSpecified},
        {"/VAZUZ2.MDB", notSpecified},
        {"/VAZUZ2.MDB ", notSpecified},
        {"/KVR2", notSpecified},
        {"/member-key.MDB", notReadable},
        {"/no-exams.MDB", noData + "TExamData）がありません。"},
        {"/DateTest.MDB", noData + "TPatient、TExamData）がありません。"},
        {"/archive.MDB", notReadable},
        {"/notes.MDB", notReadable}, // the unreadable files
        {"/empty.MDB", noData + "TPatient、TExamData）がありません。"},
        {"/half.MDB", notReadable},
        {"/plain.MDB", notReadable},
        {"/random.MDB", notReadable},
        {"/journaled.MDB", notReadable},
    };
    const QByteArray before = hashOf(memberPath());
    for (const auto& [name, textStart] : cases) {
        if (name == "/DateTest.MDB" && !haveAccess) continue;
        const QString path = name.isEmpty() ? name : app + name;
        SCOPED_TRACE(path.toStdString());
        t.boxes->clear();
        EXPECT_EQ(ImportKVRChart(path, ReplaceAllCases),
                  textStart == notSpecified ? ImportOutcome::NotSpecified : ImportOutcome::NotReadable);
        ASSERT_EQ(t.boxes->shown.size(), 1);
        EXPECT_TRUE(boxTexts(t)[0].startsWith("指定エラー: " + textStart)) << boxTexts(t)[0].toStdString();
        EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    }
    closeAllConnections();
    EXPECT_EQ(hashOf(memberPath()), before);
    EXPECT_EQ(compactions, 0);
    test::expectJournalKept(app, whole);
}

// The counter lags behind a key the member database already has (a row of sample patient 98,
// which the import keeps): the fifth key drawn collides, and the copy fails.
TEST_F(ImportTest, NoOrAFailedCopyChangesNothingAndACompletedImportCompactsAndSetsTheMarker) {
    addMemberPatients({1, 2, 4});
    previous({1, 2, 3});
    direct()->execute("UPDATE TNextAutoNumber SET ExamData=10 WHERE ID=0");
    direct()->execute("UPDATE TExamData SET ID=10000014 WHERE ID=1");
    direct()->execute("UPDATE TClinicCode SET ClinicName='4', ClinicCode='999999' WHERE ID=0");
    const QString before = memberRows();
    ASSERT_TRUE(OpenMemberDbHold()); // as the entry screen holds it
    t.boxes->answer(MsgResult::No);
    EXPECT_EQ(ImportKVRChart(prevPath, ReplaceAllCases), ImportOutcome::Declined);
    test::expectBox(t, "インポートを開始します。\r\n\r\nよろしいですか？", "確認", MsgIcon::Exclamation);
    EXPECT_EQ(t.boxes->shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(t.boxes->shown[0].defaultButton, 0); // Yes, the first button
    EXPECT_EQ(memberRows(), before);

    t.boxes->clear();
    ASSERT_EQ(runImport(ReplaceAllCases), ImportOutcome::Failed);
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_TRUE(boxTexts(t)[1].startsWith("インポートエラー: 旧版KVR-Chartからのインポートができませんでした。"
                                          "KVR-Chart-DBのデータは変更していません。\r\n\r\n[Error:"))
        << boxTexts(t)[1].toStdString();
    EXPECT_EQ(t.boxes->shown[1].icon, MsgIcon::Critical);
    EXPECT_EQ(memberRows(), before);
    EXPECT_EQ(compactions, 0);
    EXPECT_EQ(foreignDb(), nullptr);

    // With the counter past the member's keys the same file imports.
    direct()->execute("UPDATE TNextAutoNumber SET ExamData=100 WHERE ID=0");
    QString nameAtCompletionBox;
    t.boxes->onShow = [&](const MsgBoxRequest& r) {
        if (r.title == "完了") nameAtCompletionBox = clinicName();
    };
    t.boxes->clear();
    ASSERT_EQ(runImport(ReplaceAllCases), ImportOutcome::Completed);
    test::expectBox(t, "旧版KVR-Chartからのインポートが完了しました。", "完了", MsgIcon::Information, 1);
    EXPECT_EQ(nameAtCompletionBox, "5");
    EXPECT_EQ(clinicName(), "1");
    EXPECT_EQ(text("SELECT ClinicCode FROM TClinicCode WHERE ID=0"), "123456");
    EXPECT_EQ(compactions, 1);
    EXPECT_TRUE(compactedWithMemberClosed);
    // The screen's hold is back; the previous file is closed.
    EXPECT_EQ(slot(Slot::Member).hold, 1);
    EXPECT_EQ(foreignDb(), nullptr);
}

// A previous file of unusual shape: the older files' column types (the birth date in a date
// column, the sex as yes/no), columns missing from both tables, patient numbers outside 1-30,
// dates far before and after today, and one patient with 10,000 rows. Exactly the rows
// numbered 30 or less arrive, every date as it was, the missing text columns read as empty.
TEST_F(ImportTest, AnUnusualPreviousFileImportsExactlyItsCaseRows) {
    {
        test::PreviousVersionFile f(prevPath);
        auto c = f.conn();
        c->beginTransaction();
        for (int id : {-1, 0, 1, 31, 1000})
            f.addPatient(id);
        f.addExams(1, 10000);
        f.addExams(31, 2);
        c->commit();
        c->execute("UPDATE TExamData SET ExamDate='1850-01-01 00:00:00' WHERE ID=500");
        c->execute("UPDATE TExamData SET ExamDate='2150-12-31 00:00:00' WHERE ID=501");
        c->execute("CREATE TABLE P2 (ID INTEGER, Name VARCHAR(100), BirthDay DATETIME, Sex BIT)");
        c->execute("INSERT INTO P2 SELECT ID, Name, NULL, 0 FROM TPatient");
        c->execute("UPDATE P2 SET BirthDay='1950-03-04 00:00:00', Sex=1 WHERE ID=1");
        c->execute("CREATE TABLE E2 AS SELECT ID, PatientID, ExamDate, Row, Examination, SubExam, CommentID, "
                   "Comment, Data1, Data2, Data3, Bui FROM TExamData");
        c->execute("DROP TABLE TPatient");
        c->execute("DROP TABLE TExamData");
        c->execute("ALTER TABLE P2 RENAME TO TPatient");
        c->execute("ALTER TABLE E2 RENAME TO TExamData");
    }
    ASSERT_EQ(runImport(ReplaceAllCases), ImportOutcome::Completed);
    EXPECT_EQ(ints("SELECT ID FROM TPatient ORDER BY ID"), (QList<int>{-1, 0, 1, 98, 99}));
    EXPECT_EQ(test::rowsText(direct(), {"SELECT ID, BirthDay, Sex, ifnull(KalteNumber, ''), ifnull(Ruby, ''), "
                                        "ifnull(TEL, ''), Name FROM TPatient WHERE ID IN (0, 1) ORDER BY ID"}),
              "0||0||||患者0\n1|1950/03/04|1||||患者1");
    EXPECT_EQ(text("SELECT count(*) FROM TExamData WHERE PatientID=1 AND ifnull(Data4, '')=''"), "10000");
    EXPECT_EQ(text("SELECT count(*) FROM TExamData WHERE PatientID=31"), "0");
    EXPECT_EQ(text("SELECT min(ExamDate) || '|' || max(ExamDate) FROM TExamData WHERE PatientID=1"),
              "1850-01-01 00:00:00|2150-12-31 00:00:00");
    EXPECT_EQ(text("PRAGMA integrity_check"), "ok");
}

TEST_F(ImportTest, PatientAndExaminationValuesSurviveTheTrip) {
    {
        test::PreviousVersionFile prev(prevPath);
        prev.addPatient(7, "山田　花子", "1948/02/29", 0);
        prev.conn()->execute("UPDATE TPatient SET Ruby='ヤマダ　ハナコ', TEL=NULL WHERE ID=7");
        prev.addExams(7, 5);
    }
    direct()->execute("UPDATE TNextAutoNumber SET ExamData=41 WHERE ID=0");
    ASSERT_EQ(runImport(ReplaceSameNumbers), ImportOutcome::Completed);

    // Every column as it was (Null text as the empty string), the UpDate now; the examinations
    // get new keys drawn one by one from the counter.
    const db::ConnectionPtr prev = db::Connection::open(prevPath, kPreviousVersionPassword);
    const QString patient = "SELECT ClinicCode, KalteNumber, Ruby, Name, BirthDay, Sex, TEL, Post, Address1, "
                            "Address2, NextExamDate, LastExamDate, Lock, AppName FROM TPatient WHERE ID=7";
    EXPECT_EQ(test::rowsText(direct(), {patient}), test::rowsText(prev, {patient}));
    EXPECT_EQ(text("SELECT typeof(TEL) FROM TPatient WHERE ID=7"), "text");
    EXPECT_EQ(scalar("SELECT \"UpDate\" FROM TPatient WHERE ID=7").toDateTime(), t.clock->current);
    EXPECT_EQ(ints("SELECT ID FROM TExamData WHERE PatientID=7 ORDER BY ID"),
              (QList<int>{10000041, 10000042, 10000043, 10000044, 10000045}));
    EXPECT_EQ(text("SELECT ExamData FROM TNextAutoNumber WHERE ID=0"), "46");
    const QString exams = "SELECT PatientID, ExamDate, Row, Examination, SubExam, PocketFree, StartTime, EndTime, "
                          "ChargeID, IsPrinted, CommentID, Comment, Data1, Data2, Data3, Data4, Bui FROM TExamData "
                          "WHERE PatientID=7 ORDER BY ExamDate";
    EXPECT_EQ(test::rowsText(direct(), {exams}), test::rowsText(prev, {exams}));
    EXPECT_TRUE(test::rowsText(direct(), {exams}).contains("|基本治療終了時|"));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TExamData WHERE PatientID=7 AND \"UpDate\"=?", {t.clock->current}).toInt(), 5);
}

// The tab: the preset file beside the program folder, the file dialog of "ファイル指定" setting
// the path shown and the foreign source, and "インポート実行" with the chosen option.
TEST_F(ImportTest, TabChoosesTheFileAndImportsItWithTheChosenOption) {
    const std::unique_ptr<ToolTabPage> page(CreateImportOldPage());
    page->show();
    auto* shown = page->findChild<QLabel*>("LblImpKVRChart");
    auto* choose = page->findChild<QAbstractButton*>("CmdPathImpKVRChart");
    auto* start = page->findChild<QAbstractButton*>("CmdImpKVRChart");
    ASSERT_TRUE(shown && choose && start);
    QDir parent(t.paths->app);
    ASSERT_TRUE(parent.cdUp());
    const QString preset = parent.absolutePath() + "/KVR2/VAZUZ2.MDB";
    EXPECT_EQ(shown->text(), preset);
    EXPECT_TRUE(page->findChild<QRadioButton*>("OptBefore(0)")->isChecked());

    QStringList calls; // title, proposed path and filter of each dialog
    QString answer;    // cancelled
    ImportFileChooser() = [&](QWidget*, const QString& title, const QString& proposed, const QString& filter) {
        calls << title << proposed << filter.left(13);
        return answer;
    };
    choose->click();
    EXPECT_EQ(calls, QStringList({"旧版KVR-ChartのDBファイルを選択して下さい", preset, "データベース (*.mdb"}));
    EXPECT_EQ(shown->text(), preset);

    direct()->execute("INSERT INTO TPatient (ID, Name) VALUES (5, '会員の患者')");
    answer = prevPath = t.paths->app + "/選んだファイル.MDB";
    {
        test::PreviousVersionFile prev(prevPath);
        prev.addPatient(1, "山田　花子");
        prev.addExams(1, 2);
    }
    choose->click();
    EXPECT_EQ(shown->text(), answer);
    EXPECT_EQ(shown->accessibleName(),
              "インポートする旧版KVR-ChartのDBファイル：" + answer); // heard too
    EXPECT_EQ(slot(Slot::Foreign).source, answer);
    page->findChild<QRadioButton*>("OptBefore(1)")->click();
    t.boxes->clear();
    t.boxes->answer(MsgResult::Yes);
    start->click();
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_EQ(t.boxes->shown[1].title, "完了");
    EXPECT_TRUE(page->isEnabled());
    EXPECT_EQ(text("SELECT Name FROM TPatient WHERE ID=1"), "山田　花子");
    EXPECT_EQ(text("SELECT Name FROM TPatient WHERE ID=5"), "会員の患者"); // option 1 keeps it
}

} // namespace
