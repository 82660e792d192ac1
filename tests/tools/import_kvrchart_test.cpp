// The import of the previous version's case patients into the member database: what
// each option deletes, what is copied and converted, the refusals before anything is
// deleted, the messages, the compaction and the import marker, and the all-or-nothing
// copy when a row cannot be written; and its tab: the file shown, the file dialog of
// "ファイル指定", and "インポート実行" importing the shown file with the chosen option.
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
        page.reset();
        ImportFileChooser() = defaultChooser;
        ImportCompaction() = defaultCompaction;
        MemberDbTest::TearDown();
    }
    // The import tab, shown.
    void showPage() {
        page.reset(CreateImportOldPage());
        page->show();
    }
    template <class T> T* control(const QString& name) {
        T* w = page->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QString pathShown() { return control<QLabel>("LblImpKVRChart")->text(); }

    // Member case patients with examinations (n rows each, keys 900000 + id * 100 + k).
    void addMemberPatients(std::initializer_list<int> ids, int exams = 2) {
        auto c = direct();
        for (int id : ids) {
            c->execute("INSERT INTO TPatient (ID, Name, BirthDay, Sex) VALUES (?, ?, '1970/01/01', 0)",
                       {id, "会員の患者" + QString::number(id)});
            for (int k = 0; k < exams; ++k)
                c->execute("INSERT INTO TExamData (ID, PatientID, ExamDate, CommentID) VALUES (?, ?, ?, 1)",
                           {900000 + id * 100 + k, id, QDateTime(QDate(2023, 1, 1 + k), QTime(0, 0))});
        }
    }
    std::unique_ptr<test::PreviousVersionFile> previous(std::initializer_list<int> ids, int exams = 3) {
        auto f = std::make_unique<test::PreviousVersionFile>(prevPath);
        for (int id : ids) {
            f->addPatient(id);
            f->addExams(id, exams);
        }
        return f;
    }
    QList<int> ints(const QString& sql) {
        QList<int> out;
        db::Recordset rs(direct(), sql);
        for (; !rs.eof(); rs.moveNext())
            out << rs.value(0).toInt();
        return out;
    }
    QString clinicName() { return scalar("SELECT ClinicName FROM TClinicCode WHERE ID=0").toString(); }
    // Every row of the tables the import touches, as text.
    QString memberRows() {
        return test::rowsText(direct(), {"SELECT * FROM TPatient ORDER BY ID", "SELECT * FROM TExamData ORDER BY ID",
                                         "SELECT * FROM TNextAutoNumber", "SELECT * FROM TClinicCode"});
    }
    ImportOutcome runImport(ImportMode mode, const QString& path) {
        t.boxes->answer(MsgResult::Yes);
        return ImportKVRChart(path, mode);
    }

    QString prevPath;
    std::unique_ptr<ToolTabPage> page;
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
    const OptionCase& c = GetParam();
    addMemberPatients({1, 2, 3, 4, 5, 30});
    previous({1, 2, 3, 30, 31, 98})->close();
    const QString samples = test::rowsText(direct(), {"SELECT * FROM TPatient WHERE ID>30 ORDER BY ID",
                                                      "SELECT * FROM TExamData WHERE PatientID>30 ORDER BY ID"});
    ASSERT_EQ(runImport(c.mode, prevPath), ImportOutcome::Completed);
    EXPECT_EQ(ints("SELECT ID FROM TPatient ORDER BY ID"), c.patients);
    EXPECT_EQ(ints("SELECT PatientID FROM TExamData WHERE ID BETWEEN 900000 AND 999999 ORDER BY ID"),
              c.memberExamsLeft);
    // Patients 1-3 and 30 now hold the previous version's three rows each, and their names.
    EXPECT_EQ(ints("SELECT COUNT(*) FROM TExamData WHERE PatientID IN (1, 2, 3, 30)")[0], 12);
    EXPECT_EQ(scalar("SELECT Name FROM TPatient WHERE ID=2").toString(), "患者2");
    EXPECT_EQ(test::rowsText(direct(), {"SELECT * FROM TPatient WHERE ID>30 ORDER BY ID",
                                        "SELECT * FROM TExamData WHERE PatientID>30 ORDER BY ID"}),
              samples);
}

INSTANTIATE_TEST_SUITE_P(Options, ImportOptionTest,
                         ::testing::Values(OptionCase{ReplaceAllCases, {1, 2, 3, 30, 98, 99}, {}},
                                           OptionCase{ReplaceSameNumbers, {1, 2, 3, 4, 5, 30, 98, 99}, {4, 4, 5, 5}}));

TEST_F(ImportTest, FilesThatCannotBeImportedAreRefusedBeforeAnyDeletion) {
    addMemberPatients({1, 2});
    QDir().mkpath(t.paths->app + "/KVR2");
    test::PreviousVersionFile(t.paths->app + "/member-key.MDB", kProgramPassword).close();
    {
        test::PreviousVersionFile noExams(t.paths->app + "/no-exams.MDB");
        noExams.conn()->execute("DROP TABLE TExamData");
    }
    const QString dateTest = t.paths->app + "/DateTest.MDB";
    const bool haveAccess = test::copyDateTestFile(dateTest);
    previous({1})->close();
    QFile whole(prevPath);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray wholeBytes = whole.readAll();
    whole.remove();
    const QStringList unreadable = test::writeUnreadableFiles(t.paths->app, wholeBytes);
    test::writeFile(t.paths->app + "/archive.MDB", QByteArray("PK\x03\x04", 4) + QByteArray(4000, '\0'));

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
        const QString path = name.isEmpty() ? name : t.paths->app + name;
        if (path == dateTest && !haveAccess) continue;
        SCOPED_TRACE(path.toStdString());
        t.boxes->clear();
        EXPECT_EQ(ImportKVRChart(path, ReplaceAllCases),
                  textStart == notSpecified ? ImportOutcome::NotSpecified : ImportOutcome::NotReadable);
        ASSERT_EQ(t.boxes->shown.size(), 1);
        EXPECT_TRUE(test::boxTexts(t)[0].startsWith("指定エラー: " + textStart)) << test::boxTexts(t)[0].toStdString();
        EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    }
    closeAllConnections();
    EXPECT_EQ(hashOf(memberPath()), before);
    EXPECT_EQ(compactions, 0);
    const QString journaled = unreadable.last();
    EXPECT_EQ(hashOf(journaled), QCryptographicHash::hash(wholeBytes, QCryptographicHash::Sha256));
    EXPECT_EQ(hashOf(journaled + "-journal"), QCryptographicHash::hash(QByteArray(512, 'j'), QCryptographicHash::Sha256));
}

TEST_F(ImportTest, NoToTheQuestionChangesNothingAndACompletedImportCompactsAndSetsTheMarker) {
    previous({1, 2})->close();
    direct()->execute("UPDATE TClinicCode SET ClinicName='4', ClinicCode='999999' WHERE ID=0");
    const QString before = memberRows();
    t.boxes->answer(MsgResult::No);
    EXPECT_EQ(ImportKVRChart(prevPath, ReplaceAllCases), ImportOutcome::Declined);
    test::expectBox(t, "インポートを開始します。\r\n\r\nよろしいですか？", "確認", MsgIcon::Exclamation);
    EXPECT_EQ(t.boxes->shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(t.boxes->shown[0].defaultButton, 0); // Yes, the first button
    EXPECT_EQ(memberRows(), before);
    EXPECT_EQ(compactions, 0);

    QString nameAtCompletionBox;
    t.boxes->onShow = [&](const MsgBoxRequest& r) {
        if (r.title == "完了") nameAtCompletionBox = clinicName();
    };
    t.boxes->clear();
    ASSERT_TRUE(OpenMemberDbHold()); // as the entry screen holds it
    ASSERT_EQ(runImport(ReplaceAllCases, prevPath), ImportOutcome::Completed);
    test::expectBox(t, "旧版KVR-Chartからのインポートが完了しました。", "完了", MsgIcon::Information, 1);
    EXPECT_EQ(nameAtCompletionBox, "5");
    EXPECT_EQ(clinicName(), "1");
    EXPECT_EQ(scalar("SELECT ClinicCode FROM TClinicCode WHERE ID=0").toString(), "123456");
    EXPECT_EQ(compactions, 1);
    EXPECT_TRUE(compactedWithMemberClosed);
    // The screen's hold is back; the previous file is closed.
    EXPECT_EQ(slot(Slot::Member).hold, 1);
    EXPECT_EQ(foreignDb(), nullptr);
}

// A previous file of unusual shape: columns missing from both tables, patient numbers
// outside 1-30, dates far before and after today, and one patient with 10,000 rows.
// Exactly the rows numbered 30 or less arrive, every date as it was, the missing text
// columns read as empty, and nothing else of the member changes.
TEST_F(ImportTest, AnUnusualPreviousFileImportsExactlyItsCaseRows) {
    {
        auto f = previous({});
        auto c = f->conn();
        c->beginTransaction();
        for (int id : {-1, 0, 1, 31, 1000})
            f->addPatient(id);
        f->addExams(1, 10000);
        f->addExams(31, 2);
        c->commit();
        c->execute("UPDATE TExamData SET ExamDate='1850-01-01 00:00:00' WHERE ID=500");
        c->execute("UPDATE TExamData SET ExamDate='2150-12-31 00:00:00' WHERE ID=501");
        c->execute("CREATE TABLE P2 AS SELECT ID, ClinicCode, KalteNumber, Name, BirthDay, Sex, Post, Address1, "
                   "Address2, NextExamDate, LastExamDate, Lock, AppName, \"UpDate\" FROM TPatient");
        c->execute("DROP TABLE TPatient");
        c->execute("ALTER TABLE P2 RENAME TO TPatient");
        c->execute("CREATE TABLE E2 AS SELECT ID, PatientID, ExamDate, Row, Examination, SubExam, CommentID, "
                   "Comment, Data1, Data2, Data3, Bui FROM TExamData");
        c->execute("DROP TABLE TExamData");
        c->execute("ALTER TABLE E2 RENAME TO TExamData");
        f->close();
    }
    ASSERT_EQ(runImport(ReplaceAllCases, prevPath), ImportOutcome::Completed);
    EXPECT_EQ(ints("SELECT ID FROM TPatient ORDER BY ID"), (QList<int>{-1, 0, 1, 98, 99}));
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE PatientID=1").toInt(), 10000);
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE PatientID=31").toInt(), 0);
    EXPECT_EQ(scalar("SELECT min(ExamDate) || '|' || max(ExamDate) FROM TExamData WHERE PatientID=1").toString(),
              "1850-01-01 00:00:00|2150-12-31 00:00:00");
    EXPECT_EQ(scalar("SELECT ifnull(Ruby, '') || '|' || ifnull(TEL, '') || '|' || Name FROM TPatient WHERE ID=1")
                  .toString(),
              "||患者1");
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE PatientID=1 AND ifnull(Data4, '')=''").toInt(), 10000);
    EXPECT_EQ(scalar("PRAGMA integrity_check").toString(), "ok");
}

TEST_F(ImportTest, PatientAndExaminationValuesSurviveTheTrip) {
    {
        test::PreviousVersionFile prev(prevPath);
        prev.addPatient(7, "山田　花子", "1948/02/29", 0);
        prev.conn()->execute("UPDATE TPatient SET Ruby='ヤマダ　ハナコ', TEL=NULL WHERE ID=7");
        prev.addExams(7, 5);
    }
    direct()->execute("UPDATE TNextAutoNumber SET ExamData=41 WHERE ID=0");
    ASSERT_EQ(runImport(ReplaceSameNumbers, prevPath), ImportOutcome::Completed);

    // Every column as it was (Null text as the empty string), the patient's UpDate now;
    // the examinations get new keys drawn one by one from the counter.
    const QString patientColumns = "SELECT ClinicCode, KalteNumber, Ruby, Name, BirthDay, Sex, TEL, Post, "
                                   "Address1, Address2, NextExamDate, LastExamDate, Lock, AppName FROM TPatient";
    EXPECT_EQ(test::rowsText(direct(), {patientColumns + " WHERE ID=7"}),
              test::rowsText(db::Connection::open(prevPath, kPreviousVersionPassword), {patientColumns}));
    EXPECT_EQ(scalar("SELECT typeof(TEL) FROM TPatient WHERE ID=7").toString(), "text");
    EXPECT_EQ(scalar("SELECT \"UpDate\" FROM TPatient WHERE ID=7").toDateTime(), t.clock->current);
    EXPECT_EQ(ints("SELECT ID FROM TExamData WHERE PatientID=7 ORDER BY ID"),
              (QList<int>{10000041, 10000042, 10000043, 10000044, 10000045}));
    EXPECT_EQ(scalar("SELECT ExamData FROM TNextAutoNumber WHERE ID=0").toInt(), 46);
    const QString examColumns = "SELECT PatientID, ExamDate, Row, Examination, SubExam, PocketFree, StartTime, EndTime, "
                                "ChargeID, IsPrinted, CommentID, Comment, Data1, Data2, Data3, Data4, Bui FROM TExamData "
                                "WHERE PatientID=7 ORDER BY ExamDate";
    EXPECT_EQ(test::rowsText(direct(), {examColumns}),
              test::rowsText(db::Connection::open(prevPath, kPreviousVersionPassword), {examColumns}));
    EXPECT_TRUE(test::rowsText(direct(), {examColumns}).contains("|基本治療終了時|"));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TExamData WHERE PatientID=7 AND \"UpDate\"=?", {t.clock->current}).toInt(),
              5);
}

TEST_F(ImportTest, BirthDayAndSexOfOlderPreviousFilesAreConverted) {
    {
        test::PreviousVersionFile prev(prevPath);
        // Older files keep the birth date in a date column and the sex as a yes/no column.
        prev.conn()->execute("DROP TABLE TPatient");
        prev.conn()->execute("CREATE TABLE TPatient (ID INTEGER, Name VARCHAR(100), BirthDay DATETIME, Sex BIT)");
        prev.conn()->execute("INSERT INTO TPatient VALUES (1, '佐藤', '1950-03-04 00:00:00', 1), "
                             "(2, '鈴木', NULL, 0)");
    }
    ASSERT_EQ(runImport(ReplaceAllCases, prevPath), ImportOutcome::Completed);
    const struct {
        int id;
        QString birthDay;
        int sex;
    } expected[] = {{1, "1950/03/04", 1}, {2, "", 0}};
    for (const auto& e : expected) {
        EXPECT_EQ(scalar("SELECT BirthDay FROM TPatient WHERE ID=?", {e.id}).toString(), e.birthDay);
        EXPECT_EQ(scalar("SELECT Sex FROM TPatient WHERE ID=?", {e.id}).toInt(), e.sex);
        EXPECT_EQ(scalar("SELECT KalteNumber FROM TPatient WHERE ID=?", {e.id}).toString(), "");
    }
}

TEST_F(ImportTest, AFailedCopyLeavesTheMemberDatabaseAsItWas) {
    addMemberPatients({1, 2, 4});
    previous({1, 2, 3})->close();
    // The counter lags behind a key the member database already has (a row of sample
    // patient 98, which the import keeps): the fifth key drawn collides.
    direct()->execute("UPDATE TNextAutoNumber SET ExamData=10 WHERE ID=0");
    direct()->execute("UPDATE TExamData SET ID=10000014 WHERE ID=1");
    direct()->execute("UPDATE TClinicCode SET ClinicName='' WHERE ID=0");
    const QString before = memberRows();

    ASSERT_EQ(runImport(ReplaceAllCases, prevPath), ImportOutcome::Failed);
    ASSERT_EQ(t.boxes->shown.size(), 2);
    const MsgBoxRequest& failure = t.boxes->shown[1];
    EXPECT_TRUE(failure.text.startsWith("旧版KVR-Chartからのインポートができませんでした。KVR-Chart-DBのデータ"
                                        "は変更していません。\r\n\r\n[Error:"))
        << failure.text.toStdString();
    EXPECT_EQ(failure.title, "インポートエラー");
    EXPECT_EQ(failure.icon, MsgIcon::Critical);
    EXPECT_EQ(memberRows(), before);
    EXPECT_EQ(clinicName(), "");
    EXPECT_EQ(compactions, 0);
    EXPECT_EQ(foreignDb(), nullptr);

    // With the counter past the member's keys the same file imports.
    direct()->execute("UPDATE TNextAutoNumber SET ExamData=100 WHERE ID=0");
    t.boxes->clear();
    EXPECT_EQ(runImport(ReplaceAllCases, prevPath), ImportOutcome::Completed);
    EXPECT_EQ(clinicName(), "1");
}

TEST_F(ImportTest, TabPresetFileLiesBesideTheProgramFolderAndTheDialogSetsThePathAndTheForeignSource) {
    showPage();
    QDir parent(t.paths->app);
    ASSERT_TRUE(parent.cdUp());
    EXPECT_EQ(pathShown(), parent.absolutePath() + "/KVR2/VAZUZ2.MDB");
    EXPECT_TRUE(control<QRadioButton>("OptBefore(0)")->isChecked());

    struct Call {
        QString title, proposed, filter;
    };
    QList<Call> calls;
    QString answer = "/media/usb/旧版/VAZUZ2.MDB";
    ImportFileChooser() = [&](QWidget*, const QString& title, const QString& proposed, const QString& filter) {
        calls.append({title, proposed, filter});
        return answer;
    };
    control<QAbstractButton>("CmdPathImpKVRChart")->click();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].title, "旧版KVR-ChartのDBファイルを選択して下さい");
    EXPECT_EQ(calls[0].proposed, parent.absolutePath() + "/KVR2/VAZUZ2.MDB");
    EXPECT_TRUE(calls[0].filter.startsWith("データベース (*.mdb")) << calls[0].filter.toStdString();
    EXPECT_EQ(pathShown(), answer);
    EXPECT_EQ(control<QLabel>("LblImpKVRChart")->accessibleName(),
              "インポートする旧版KVR-ChartのDBファイル：" + answer); // heard too
    EXPECT_EQ(slot(Slot::Foreign).source, answer);

    answer.clear(); // cancelled
    control<QAbstractButton>("CmdPathImpKVRChart")->click();
    EXPECT_EQ(pathShown(), "/media/usb/旧版/VAZUZ2.MDB");
}

TEST_F(ImportTest, TabImportButtonImportsTheChosenFileWithTheChosenOption) {
    showPage();
    // The preset file is missing: refused with nothing changed.
    control<QAbstractButton>("CmdImpKVRChart")->click();
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].title, "指定エラー");

    direct()->execute("INSERT INTO TPatient (ID, Name) VALUES (5, '会員の患者')");
    prevPath = t.paths->app + "/選んだファイル.MDB";
    {
        test::PreviousVersionFile prev(prevPath);
        prev.addPatient(1, "山田　花子");
        prev.addExams(1, 2);
    }
    ImportFileChooser() = [&](QWidget*, const QString&, const QString&, const QString&) { return prevPath; };
    control<QAbstractButton>("CmdPathImpKVRChart")->click();
    control<QRadioButton>("OptBefore(1)")->click();
    t.boxes->clear();
    t.boxes->answer(MsgResult::Yes);
    control<QAbstractButton>("CmdImpKVRChart")->click();
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_EQ(t.boxes->shown[1].title, "完了");
    EXPECT_TRUE(page->isEnabled());
    EXPECT_EQ(scalar("SELECT Name FROM TPatient WHERE ID=1").toString(), "山田　花子");
    EXPECT_EQ(scalar("SELECT Name FROM TPatient WHERE ID=5").toString(), "会員の患者"); // option 1 keeps it
}

} // namespace
