// The import of the previous version's case patients into the member database: what
// each option deletes, what is copied and converted, the refusals before anything is
// deleted, the messages, the compaction and the import marker, and the all-or-nothing
// copy when a row cannot be written.
#include "tools_fixture.h"
#include "support/previous_version_files.h"
#include "tools/ImportKVRChart.h"


using namespace kvr;

namespace {

class ImportTest : public test::MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        prevPath = t.paths->app + "/VAZUZ2.MDB";
        defaultCompaction = ImportCompaction();
        ImportCompaction() = [this] {
            ++compactions;
            compactedWithMemberClosed = memberConn() == nullptr;
            return true;
        };
    }
    void TearDown() override {
        ImportCompaction() = defaultCompaction;
        MemberDbTest::TearDown();
    }

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

// Previous patients 1-3 and 31, 98 (neither deleted nor copied), member patients 1-5.
TEST_P(ImportOptionTest, OptionDecidesWhichMemberCasePatientsRemain) {
    const OptionCase& c = GetParam();
    addMemberPatients({1, 2, 3, 4, 5});
    previous({1, 2, 3, 31, 98})->close();
    const QString samples = test::rowsText(direct(), {"SELECT * FROM TPatient WHERE ID>30 ORDER BY ID",
                                                      "SELECT * FROM TExamData WHERE PatientID>30 ORDER BY ID"});
    ASSERT_EQ(runImport(c.mode, prevPath), ImportOutcome::Completed);
    EXPECT_EQ(ints("SELECT ID FROM TPatient ORDER BY ID"), c.patients);
    EXPECT_EQ(ints("SELECT PatientID FROM TExamData WHERE ID BETWEEN 900000 AND 999999 ORDER BY ID"),
              c.memberExamsLeft);
    // Patients 1-3 now hold the previous version's three rows each, and their names.
    EXPECT_EQ(ints("SELECT COUNT(*) FROM TExamData WHERE PatientID<=3")[0], 9);
    EXPECT_EQ(scalar("SELECT Name FROM TPatient WHERE ID=2").toString(), "患者2");
    EXPECT_EQ(test::rowsText(direct(), {"SELECT * FROM TPatient WHERE ID>30 ORDER BY ID",
                                        "SELECT * FROM TExamData WHERE PatientID>30 ORDER BY ID"}),
              samples);
}

INSTANTIATE_TEST_SUITE_P(Options, ImportOptionTest,
                         ::testing::Values(OptionCase{ReplaceAllCases, {1, 2, 3, 98, 99}, {}},
                                           OptionCase{ReplaceSameNumbers, {1, 2, 3, 4, 5, 98, 99}, {4, 4, 5, 5}}));

TEST_F(ImportTest, FilesThatCannotBeImportedAreRefusedBeforeAnyDeletion) {
    addMemberPatients({1, 2});
    QDir().mkpath(t.paths->app + "/KVR2");
    test::PreviousVersionFile(t.paths->app + "/member-key.MDB", kProgramPassword).close();
    {
        test::PreviousVersionFile noExams(t.paths->app + "/no-exams.MDB");
        noExams.conn()->execute("DROP TABLE TExamData");
    }
    test::writeFile(t.paths->app + "/notes.MDB", "これはデータベースではありません");
    const QString dateTest = t.paths->app + "/DateTest.MDB";
    const bool haveAccess = test::copyDateTestFile(dateTest);
    const QString whole = t.paths->app + "/whole.MDB";
    previous({1})->close();
    QFile::rename(t.paths->app + "/VAZUZ2.MDB", whole);
    QFile wholeFile(whole);
    ASSERT_TRUE(wholeFile.open(QIODevice::ReadOnly));
    const QByteArray wholeBytes = wholeFile.readAll();
    test::writeFile(t.paths->app + "/empty.MDB", "");
    test::writeFile(t.paths->app + "/half.MDB", wholeBytes.left(wholeBytes.size() / 2));
    test::writeFile(t.paths->app + "/archive.MDB", QByteArray("PK\x03\x04", 4) + QByteArray(4000, '\0'));
    db::Connection::create(t.paths->app + "/plain.MDB", "")->execute("CREATE TABLE TPatient (ID INTEGER)");
    // A gigabyte whose first pages are random bytes (the rest unwritten): refused from its
    // first page, without reading it all.
    {
        QFile big(t.paths->app + "/random.MDB");
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        QByteArray noise(1 << 16, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 2654435761u) >> 13);
        big.write(noise);
        ASSERT_TRUE(big.resize(qint64(1) << 30));
    }
    // A whole file with an interrupted change's journal beside it: reading it would mean
    // playing the journal back into the user's file.
    const QString journaled = t.paths->app + "/journaled.MDB";
    test::writeFile(journaled, wholeBytes);
    test::writeFile(journaled + "-journal", QByteArray(512, 'j'));

    const QString notSpecified = "インポートする旧版KVR-ChartのDBファイルが指定されていません。";
    const struct {
        QString path;
        ImportOutcome outcome;
        QString textStart;
    } cases[] = {
        {"", ImportOutcome::NotSpecified, notSpecified},
        {t.paths->app + "/VAZUZ2.MDB", ImportOutcome::NotSpecified, notSpecified},
        {t.paths->app + "/VAZUZ2.MDB ", ImportOutcome::NotSpecified, notSpecified},
        {t.paths->app + "/KVR2", ImportOutcome::NotSpecified, notSpecified},
        {t.paths->app + "/member-key.MDB", ImportOutcome::NotReadable, "指定されたファイルは旧版KVR-ChartのDBファイルとして読み込めません。"},
        {t.paths->app + "/notes.MDB", ImportOutcome::NotReadable, "指定されたファイルは旧版KVR-ChartのDBファイルとして読み込めません。"},
        {t.paths->app + "/no-exams.MDB", ImportOutcome::NotReadable, "指定されたファイルには旧版KVR-Chartのデータ（TExamData）がありません。"},
        {dateTest, ImportOutcome::NotReadable, "指定されたファイルには旧版KVR-Chartのデータ（TPatient、TExamData）がありません。"},
        {t.paths->app + "/empty.MDB", ImportOutcome::NotReadable, "指定されたファイルには旧版KVR-Chartのデータ（TPatient、TExamData）がありません。"},
        {t.paths->app + "/half.MDB", ImportOutcome::NotReadable, "指定されたファイルは旧版KVR-ChartのDBファイルとして読み込めません。"},
        {t.paths->app + "/archive.MDB", ImportOutcome::NotReadable, "指定されたファイルは旧版KVR-ChartのDBファイルとして読み込めません。"},
        {t.paths->app + "/plain.MDB", ImportOutcome::NotReadable, "指定されたファイルは旧版KVR-ChartのDBファイルとして読み込めません。"},
        {t.paths->app + "/random.MDB", ImportOutcome::NotReadable, "指定されたファイルは旧版KVR-ChartのDBファイルとして読み込めません。"},
        {journaled, ImportOutcome::NotReadable, "指定されたファイルは旧版KVR-ChartのDBファイルとして読み込めません。"},
    };
    const QByteArray before = hashOf(memberPath());
    for (const auto& c : cases) {
        if (c.path == dateTest && !haveAccess) continue;
        t.boxes->clear();
        EXPECT_EQ(ImportKVRChart(c.path, ReplaceAllCases), c.outcome) << c.path.toStdString();
        ASSERT_EQ(t.boxes->shown.size(), 1) << c.path.toStdString();
        EXPECT_TRUE(t.boxes->shown[0].text.startsWith(c.textStart)) << c.path.toStdString() << ": " << t.boxes->shown[0].text.toStdString();
        EXPECT_EQ(t.boxes->shown[0].title, "指定エラー");
        EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    }
    closeAllConnections();
    EXPECT_EQ(hashOf(memberPath()), before);
    EXPECT_EQ(compactions, 0);
    EXPECT_EQ(hashOf(journaled), hashOf(whole));
    EXPECT_EQ(hashOf(journaled + "-journal"), QCryptographicHash::hash(QByteArray(512, 'j'), QCryptographicHash::Sha256));
}

TEST_F(ImportTest, NoToTheQuestionChangesNothing) {
    addMemberPatients({1});
    previous({1})->close();
    const QString before = memberRows();
    t.boxes->answer(MsgResult::No);
    EXPECT_EQ(ImportKVRChart(prevPath, ReplaceAllCases), ImportOutcome::Declined);
    test::expectBox(t, "インポートを開始します。\r\n\r\nよろしいですか？", "確認", MsgIcon::Exclamation);
    EXPECT_EQ(t.boxes->shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(t.boxes->shown[0].defaultButton, 0); // Yes, the first button
    EXPECT_EQ(memberRows(), before);
    EXPECT_EQ(compactions, 0);
}

TEST_F(ImportTest, CompletedImportCompactsAndSetsTheMarker) {
    previous({1, 2})->close();
    direct()->execute("UPDATE TClinicCode SET ClinicName='4', ClinicCode='999999' WHERE ID=0");
    QString nameAtCompletionBox;
    t.boxes->onShow = [&](const MsgBoxRequest& r) {
        if (r.title == "完了") nameAtCompletionBox = clinicName();
    };
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

TEST_F(ImportTest, PresetPathAndDialogFolderLieBesideTheProgramFolder) {
    QDir parent(t.paths->app);
    ASSERT_TRUE(parent.cdUp());
    EXPECT_EQ(PreviousVersionStartFolder(), parent.absolutePath() + "/KVR2");
    EXPECT_EQ(DefaultPreviousVersionPath(), parent.absolutePath() + "/KVR2/VAZUZ2.MDB");
}

} // namespace
