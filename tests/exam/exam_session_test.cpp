// Examinations against a copy of the template database: the stored encodings, the save
// actions and their questions, validation, the stage-interval hint, loading, deleting and
// the start-up repair of the stage tables.
#include "data/member_db_fixture.h"
#include "exam/CCharge.h"
#include "exam/CSubExam.h"
#include "exam/ExamObjects.h"
#include "exam/ExamSession.h"

using namespace kvr;

namespace {

const QDate kToday(2024, 8, 14);
// Patient 99 in the template: stages 1-4 on these dates.
const QDate k99Stage1(2023, 5, 15), k99Stage2(2023, 8, 21), k99Stage3(2024, 1, 29), k99Stage4(2024, 8, 5);

class ExamSessionTest : public test::MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        ResetExamObjects();
        OpenMemberDbHold(); // as the entry screen does
        LoadStageLabels();
        ASSERT_TRUE(LoadSubExamRows());
        ASSERT_TRUE(LoadCharge(1));
    }
    static SaveRequest request(int patient, const QDate& date, int stage, bool isNew = true) {
        const QStringList ymd = date.toString("yyyy M d").split(' ');
        return SaveRequest{patient, ymd[0], ymd[1], ymd[2], stage, isNew, {}, {}, 1, {}, {}};
    }
    bool saveNew(int patient, const QDate& date, int stage) {
        ToothStatus status;
        PrepareNewExamination(patient, date, 1, status);
        return SaveExamination(request(patient, date, stage)).saved;
    }
    int count(const QString& where, const QVariantList& params = {}) {
        return scalar("SELECT count(*) FROM TExamData WHERE " + where, params).toInt();
    }
    int rows(int patient, const QDate& date) { return count("PatientID=? AND ExamDate=?", {patient, date}); }
    QString pocketData(int patient, const QDate& date) {
        return scalar("SELECT Data1||Data2||Data3||Data4 FROM TExamData WHERE PatientID=? AND ExamDate=? AND "
                      "\"Row\"=0",
                      {patient, date})
            .toString();
    }
    // The boxes shown since the last clear as "text|title", or their titles only.
    QStringList boxes(bool withText = true) const {
        QStringList l;
        for (const MsgBoxRequest& b : t.boxes->shown)
            l << (withText ? b.text + "|" + b.title : b.title);
        return l;
    }
};

TEST_F(ExamSessionTest, CellsAndStatusWordsAreStoredAsFixedWidthText) {
    CExamData e;
    e.ClearBuffer();
    e.ID = 901;
    for (auto [cell, value] : {std::pair{0, 0}, {47, 255}, {48, 5}, {191, 12}})
        e.setBData(cell, std::uint8_t(value));
    e.setNBui(0, kMissingTooth);
    e.setNBui(1, kImplant);
    e.setNBui(31, kDeciduous | kMissingTooth);
    {
        db::Recordset rs(memberConn(), "SELECT * FROM TExamData WHERE ID=901", {}, db::OpenMode::Write);
        rs.addNew();
        e.RecSetPut(rs);
        rs.update();
    }
    EXPECT_EQ(scalar("SELECT Data1||'|'||Data2||'|'||Data4||'|'||Bui FROM TExamData WHERE ID=901").toString(),
              "  0" + QString("128").repeated(46) + "255|  5" + QString("128").repeated(47) + "|" +
                  QString("128").repeated(47) + " 12|-32768  8192" + QString("     0").repeated(29) +
                  "-31744");
    // Reading back is checked cell by cell where the screen's examination is stored.
    std::array<std::uint8_t, kCells> cells;
    EXPECT_THROW(decodeCells("  1 x2", cells), RuntimeError);
}

// Site flags missing from a short text read as not measured (the cursor skips those sites).
TEST_F(ExamSessionTest, StaffSiteFlagsOfAShortTextReadAsNotMeasured) {
    direct()->execute("UPDATE TCharge SET PocketPosition='  1  0  1' WHERE ID=1");
    ASSERT_TRUE(LoadCharge(1));
    const CCharge& c = TheCharge();
    EXPECT_EQ(
        QList<int>({c.PocketPosition(0), c.PocketPosition(1), c.PocketPosition(2), c.PocketPosition(5)}),
        QList<int>({1, 0, 1, 0}));
}

TEST_F(ExamSessionTest, ListLoadAndPrepareFillTheSlotsByItemNumber) {
    const QList<ExamEntry> list = ListExaminations(99);
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list[0].text + "|" + list[3].text, "2023/05/15  初診時|2024/08/05  最新ＳＰＴ時");

    // A row of an item that no display row shows is skipped.
    direct()->execute(
        "INSERT INTO TExamData (ID, PatientID, ExamDate, \"Row\", SubExam) VALUES (900, 98, ?, 5, 77)",
        {QDate(2023, 4, 10)});
    ToothStatus first{}, status;
    ASSERT_TRUE(LoadExamination(98, QDate(2023, 4, 10), &first));
    const auto& s = ExamSlots();
    EXPECT_EQ(
        QList<int>({s[0].SubExam, s[1].SubExam, s[2].SubExam, s[3].SubExam, s[9].Row, s[10].Row, s[5].ID}),
        QList<int>({2, 1, 13, 3, 9, 10, 0}));
    EXPECT_TRUE(first[0] & kMissingTooth); // 18 is missing in sample 98

    // A new examination takes the status of the latest earlier one; its cells are empty.
    PrepareNewExamination(98, QDate(2023, 7, 1), 1, status);
    EXPECT_EQ(status, first);
    EXPECT_EQ(QList<int>({s[3].Row, s[3].SubExam, s[3].Examination, s[kPusSlot].SubExam}),
              QList<int>({3, 4, 2, 2}));
    EXPECT_EQ(s[kPusSlot].statusWords(), first);
    EXPECT_EQ(s[0].bData(100), kNoValue);
    PrepareNewExamination(98, QDate(2023, 4, 9), 1, status); // nothing earlier: all present
    EXPECT_EQ(status, ToothStatus{});
}

TEST_F(ExamSessionTest, NewExaminationsStoreEveryItemAndReplaceOnlyOnYes) {
    ToothStatus status;
    PrepareNewExamination(5, kToday, 1, status);
    status[0] = kMissingTooth;
    SetSlotsToothStatus(status);
    SaveRequest r = request(5, kToday, 1);
    r.status = status;
    r.inClinicNumber = "K-5";
    r.caseNumber = "A12";
    const SaveOutcome out = SaveExamination(r);
    EXPECT_TRUE(out.saved);
    EXPECT_EQ(std::pair(out.action, out.savedDate), std::pair(int(kSaveNew), kToday));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(
        scalar("SELECT group_concat(\"Row\" || ':' || SubExam || ':' || Comment, ' ') FROM (SELECT * FROM "
               "TExamData WHERE PatientID=5 ORDER BY \"Row\")")
            .toString(),
        "0:2:初診時 1:1:初診時 2:13:初診時 3:3:初診時 9:2:初診時 10:2:初診時");
    EXPECT_EQ(scalar("SELECT min(ID) FROM TExamData WHERE PatientID=5").toInt(), 10000000);
    ASSERT_TRUE(LoadPatient(5));
    EXPECT_EQ(InClinicNumberOf(ThePatient()) + CaseNumberOf(ThePatient()), "K-5A12");
    ToothStatus back{};
    ASSERT_TRUE(LoadExamination(5, kToday, &back));
    EXPECT_EQ(back, status);

    // A new examination on a date with rows: the patient row is written before the
    // question; No leaves the examinations alone, Yes replaces them and, as it is stage 1,
    // clears stage 1 from patient 99's other date, not from patient 98.
    PrepareNewExamination(99, k99Stage4, 1, status);
    r = request(99, k99Stage4, 1);
    r.inClinicNumber = "K-99";
    const QString old = pocketData(99, k99Stage4);
    QString patientAtQuestion;
    t.boxes->onShow = [&](const MsgBoxRequest&) {
        patientAtQuestion = scalar("SELECT KalteNumber FROM TPatient WHERE ID=99").toString();
    };
    t.boxes->answer(MsgResult::No);
    EXPECT_EQ(SaveExamination(r).action, kSaveNone);
    t.boxes->onShow = nullptr;
    EXPECT_EQ(patientAtQuestion, "K-99");
    EXPECT_EQ(pocketData(99, k99Stage4), old);
    t.boxes->answer(MsgResult::Yes);
    EXPECT_EQ(SaveExamination(r).action, kSaveNewReplace);
    EXPECT_EQ(pocketData(99, k99Stage4), QString("128").repeated(192));
    EXPECT_EQ(count("PatientID=99 AND ExamDate=? AND CommentID=0 AND Comment=''", {k99Stage1}), 6);
    EXPECT_EQ(count("PatientID=99 AND CommentID=1") + count("PatientID=98 AND CommentID=1"), 12);
}

// Patient 99's loaded stage-2 examination saved on a date: its own (no question), a free
// one or the date of his stage 3; the answers to "change the date?" and "overwrite?" decide.
struct SaveCase {
    QDate date;
    std::vector<MsgResult> answers;
    int action;
    bool oldDateKept, newDateHasOldCells;
};

class SaveLoaded : public ExamSessionTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SaveLoaded, AnswersDecideBetweenMoveCopyAndNothing) {
    const SaveCase& c = GetParam();
    const QString oldCells = pocketData(99, k99Stage2), targetCells = pocketData(99, c.date);
    for (MsgResult a : c.answers)
        t.boxes->answer(a);
    SaveRequest r = request(99, c.date, 2, false); // loaded as the screen loads it
    r.loadedDate = k99Stage2;
    ASSERT_TRUE(LoadExamination(99, k99Stage2, &r.status));
    const SaveOutcome out = SaveExamination(r);
    EXPECT_EQ(out.action, c.action);
    EXPECT_EQ(out.focus, c.action == kSaveNone ? SaveFocus::DateYear : SaveFocus::None);
    EXPECT_EQ(rows(99, k99Stage2), c.oldDateKept ? 6 : 0);
    EXPECT_EQ(rows(99, c.date), 6);
    EXPECT_EQ(pocketData(99, c.date), c.newDateHasOldCells ? oldCells : targetCells);
    EXPECT_EQ(count("PatientID=99 AND CommentID=2"), 6); // the moved or copied rows keep stage 2

    QStringList expected;
    const QString date = ExamDateText(c.date);
    if (!c.answers.empty())
        expected << "2023/08/21の検査データの検査日を" + date +
                        "に変更しますか？\r\n\r\nはい　　　：変更する\r\nいいえ　　：この検査日（" + date +
                        "）を追加する\r\nキャンセル：検査日入力に戻る|確認";
    if (c.answers.size() > 1)
        expected << "指定された検査日のデータが存在します。上書きしますか？\r\n\r\nはい　：上書きする\r\n"
                    "いいえ：検査日入力に戻る|上書確認";
    EXPECT_EQ(boxes(), expected);
    EXPECT_TRUE(c.answers.empty() || t.boxes->shown[0].buttons == MsgButtons::YesNoCancel);
}

const QDate kFree(2023, 8, 22);
INSTANTIATE_TEST_SUITE_P(
    Answers, SaveLoaded,
    ::testing::Values(SaveCase{k99Stage2, {}, kSaveLoaded, true, true},
                      SaveCase{kFree, {MsgResult::Yes}, kSaveLoaded, false, true},
                      SaveCase{kFree, {MsgResult::No}, kSaveNew, true, true},
                      SaveCase{k99Stage3, {MsgResult::Yes, MsgResult::Yes}, kSaveMoveReplace, false, true},
                      SaveCase{k99Stage3, {MsgResult::No, MsgResult::Yes}, kSaveNewReplace, true, true},
                      SaveCase{k99Stage3, {MsgResult::Cancel}, kSaveNone, true, false},
                      SaveCase{k99Stage3, {MsgResult::Yes, MsgResult::No}, kSaveNone, true, false},
                      SaveCase{k99Stage3, {MsgResult::No, MsgResult::No}, kSaveNone, true, false}));

TEST_F(ExamSessionTest, ValidationStopsBeforeAnythingIsWritten) {
    SaveRequest feb30 = request(5, kToday, 1);
    feb30.month = "2";
    feb30.day = "30";
    const std::tuple<SaveRequest, const char*, SaveFocus> cases[] = {
        {request(0, kToday, 1), "患者番号を指定してください。|患者番号エラー", SaveFocus::PatientList},
        {feb30, "正しい検査日を入力してください。|検査日エラー", SaveFocus::DateYear},
        {request(5, kToday, -1), "治療ステージを指定してください。|治療ステージエラー",
         SaveFocus::StageList}};
    for (const auto& [r, box, focus] : cases) {
        t.boxes->clear();
        const SaveOutcome out = SaveExamination(r);
        EXPECT_FALSE(out.saved);
        EXPECT_EQ(out.focus, focus);
        EXPECT_EQ(boxes(), QStringList{box});
        EXPECT_EQ(t.boxes->shown.value(0).icon, MsgIcon::Critical);
    }
    EXPECT_EQ(count("PatientID=5") + scalar("SELECT count(*) FROM TPatient WHERE ID=5").toInt(), 0);

    // Dates as typed (full-width digits, spaces); the no-examination date 100/01/01 is one.
    EXPECT_EQ(ParseExamDate(" 2024", "08 ", "5"), QDate(2024, 8, 5));
    EXPECT_EQ(ParseExamDate("２０２４", "２", "２９"), QDate(2024, 2, 29));
    EXPECT_EQ(ParseExamDate("100", "01", "01"), NoExamDate());
    for (const QString& bad :
         QStringLiteral("2023/2/29 2024/13/1 /1/1 24/1/1 2024/-1/1 ２０二四/1/1").split(' ')) {
        const QStringList ymd = bad.split('/');
        EXPECT_FALSE(ParseExamDate(ymd[0], ymd[1], ymd[2]).isValid()) << bad.toStdString();
    }

    // The typed patient number: empty or one of the list, else refused.
    int selected = -1;
    EXPECT_TRUE(CheckTypedPatientNumber("", ListPatients(), selected));
    EXPECT_EQ(selected, 0);
    EXPECT_TRUE(CheckTypedPatientNumber(" 98", ListPatients(), selected));
    EXPECT_EQ(selected, 98);
    t.boxes->clear();
    EXPECT_FALSE(CheckTypedPatientNumber("31", ListPatients(), selected));
    EXPECT_EQ(boxes(), QStringList{"患者番号が範囲外です。再入力してください。|範囲外エラー"});
}

TEST_F(ExamSessionTest, StageIntervalHintAndPostSaveNotices) {
    // With stages 2 and 3 a date before stage 3 + six months warns through stage 3.
    EXPECT_TRUE(StageIntervalWarning(99, 4, QDate(2024, 7, 28)));
    EXPECT_FALSE(StageIntervalWarning(99, 4, QDate(2024, 7, 29)));
    EXPECT_FALSE(StageIntervalWarning(99, 3, QDate(2024, 1, 21)));
    EXPECT_EQ(PostSaveDatabaseNotices(99), "");
    // Stage 2 alone: five months after it warns, six months do not.
    direct()->execute("UPDATE TExamData SET CommentID=0 WHERE PatientID=99 AND CommentID=3");
    EXPECT_TRUE(StageIntervalWarning(99, 4, QDate(2024, 1, 21)));
    EXPECT_FALSE(StageIntervalWarning(99, 4, QDate(2024, 2, 21)));

    ASSERT_TRUE(saveNew(5, QDate(2024, 1, 10), 1));
    ASSERT_TRUE(saveNew(5, QDate(2024, 2, 10), 3));
    ASSERT_TRUE(saveNew(5, QDate(2024, 5, 10), 4));
    EXPECT_EQ(PostSaveDatabaseNotices(5),
              "\r\n■初診時の症例は以下の通りです。\r\n歯周ポケット４mm以上の部位が 0％\r\n"
              "６mm以上の歯周ポケットが 0ヶ所\r\n"
              "\r\n■治療ステージの期間に問題がある場合があります｡");
    t.boxes->clear();
    ShowSaveSuccess();
    EXPECT_EQ(boxes(), QStringList{"正常に保存されました。　　\r\n\r\n基準フォルダ： " + app().MemberFolder +
                                   "\r\n\r\n使用ファイル： /KVR-DB-123456.MDB|正常終了"});
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Information);
}

TEST_F(ExamSessionTest, DeletionsAskDefaultingToNoAndReportWhatTheyDeleted) {
    const QString askExam = "表示されているデータを削除します。よろしいですか？　　|確認",
                  askPatient = "表示されている患者番号の全データを削除します。よろしいですか？　　|確認";
    EXPECT_FALSE(DeleteExamination(0, 1, k99Stage1));
    EXPECT_FALSE(DeleteExamination(99, -1, k99Stage1));
    EXPECT_FALSE(DeletePatient(0));
    EXPECT_FALSE(DeleteExamination(99, 1, k99Stage1)); // unanswered: the default button
    EXPECT_FALSE(DeletePatient(98));
    EXPECT_EQ(boxes(), QStringList({"患者番号が指定されていません。|患者番号エラー",
                                    "治療ステージが指定されていません。|治療ステージエラー",
                                    "患者番号が指定されていません。|患者番号エラー", askExam, askPatient}));
    EXPECT_EQ(t.boxes->shown[3].defaultButton + t.boxes->shown[4].defaultButton, 2);
    EXPECT_EQ(rows(99, k99Stage1), 6);

    // A date without rows (or none): nothing is deleted, and nothing reported as deleted.
    t.boxes->clear();
    const int all = count("1");
    for (MsgResult a : {MsgResult::Yes, MsgResult::Yes})
        t.boxes->answer(a);
    EXPECT_TRUE(DeleteExamination(99, 1, QDate()));
    EXPECT_TRUE(DeleteExamination(99, 1, QDate(2022, 1, 1)));
    EXPECT_EQ(boxes(false), QStringList({"確認", "確認"}));
    EXPECT_EQ(count("1"), all);

    t.boxes->clear();
    direct()->execute("INSERT INTO TPatientAdd (ID) VALUES (98)");
    for (MsgResult a : {MsgResult::Yes, MsgResult::Ok, MsgResult::Yes})
        t.boxes->answer(a);
    EXPECT_TRUE(DeleteExamination(99, 1, k99Stage1));
    EXPECT_TRUE(DeletePatient(98));
    EXPECT_EQ(boxes(),
              QStringList({askExam, "表示されているデータを削除しました。|表示データ削除完了", askPatient,
                           "表示されている患者番号の全データを削除しました。|１患者削除完了"}));
    EXPECT_EQ(std::pair(rows(99, k99Stage1), rows(99, k99Stage2)), std::pair(0, 6));
    EXPECT_EQ(scalar("SELECT (SELECT count(*) FROM TExamData WHERE PatientID=98) + (SELECT count(*) FROM "
                     "TPatientAdd WHERE ID=98) + (SELECT count(*) FROM TPatient WHERE ID=98)")
                  .toInt(),
              0);
}

TEST_F(ExamSessionTest, RepairKeepsAGoodStageTableRebuildsABadOneAndRelabelsTheRows) {
    direct()->execute("DELETE FROM TComType WHERE ID=0");
    direct()->execute("UPDATE TComType SET Comment='初診' WHERE ID=1");
    ASSERT_TRUE(RepairStageTables());
    EXPECT_EQ(scalar("SELECT count(*) FROM TComType WHERE ID=0 AND Comment='' AND DR=1 AND DH=1").toInt(), 1);
    EXPECT_EQ(count("CommentID=1 AND Comment='初診'"), 12); // row 4 was right: row 1 keeps its text

    direct()->execute("UPDATE TComType SET CommentDH='最新SPT時' WHERE ID=4");
    direct()->execute("INSERT INTO TComType (ID, Comment) VALUES (7, 'z')");
    // Codes without a label (none, unknown, negative) want an empty text; an empty code
    // reads as 0; a missing text counts as empty.
    const std::pair<const char*, const char*> odd[] = {
        {"CommentID=0, Comment='初診時'", ""},
        {"CommentID=NULL, Comment='x'", ""},
        {"CommentID=0, Comment=NULL", nullptr},
        {"CommentID=12, Comment='ＳＰＴ移行時'", ""},
        {"CommentID=-1, Comment='x'", ""},
        {"CommentID=3, Comment='ＳＰＴ移行時'", "ＳＰＴ移行時"},
        {"CommentID=2, Comment='ＳＰＴ移行時'", "基本治療終了時"},
        {"CommentID=1, Comment=NULL", "初診時"},
    };
    for (int i = 0; i < int(std::size(odd)); ++i)
        direct()->execute(QString("UPDATE TExamData SET %1 WHERE ID=%2").arg(odd[i].first).arg(40 + i));
    direct()->execute("UPDATE TSubExam SET GradPart2=7 WHERE ID IN (2, 3)");
    direct()->execute("UPDATE TSubExam SET Status=0 WHERE ID=3");
    ASSERT_TRUE(RepairStageTables());
    EXPECT_EQ(scalar("SELECT group_concat(ID || Comment || CommentDR || CommentDH || DR || DH, ',') FROM "
                     "(SELECT * FROM TComType ORDER BY ID)")
                  .toString(),
              "011,1初診時初診時初診時11,2基本治療終了時基本治療終了時基本治療終了時11,"
              "3ＳＰＴ移行時ＳＰＴ移行時ＳＰＴ移行時11,4最新ＳＰＴ時最新ＳＰＴ時最新ＳＰＴ時11");
    EXPECT_EQ(count("CommentID=1 AND Comment='初診時'"), 13);
    for (int i = 0; i < int(std::size(odd)); ++i) {
        const QVariant comment = scalar(QString("SELECT Comment FROM TExamData WHERE ID=%1").arg(40 + i));
        EXPECT_EQ(comment.isNull() ? "<null>" : comment.toString(), odd[i].second ? odd[i].second : "<null>")
            << odd[i].first;
    }
    // Only the rows that were wrong got a new time: the 13 relabelled stage-1 rows and 5 odd ones.
    EXPECT_EQ(count("\"UpDate\"=?", {QDateTime(kToday, QTime(16, 30))}), 13 + 5);
    EXPECT_EQ(scalar("SELECT group_concat(ID || ':' || GradPart2 || ':' || Status, ' ') FROM (SELECT * FROM "
                     "TSubExam ORDER BY ID)")
                  .toString(),
              "1:3:8192 2:6:0 3:7:4096 13:3:0");
}

} // namespace
