// Patients, examination dates and stages against a copy of the template database:
// the save actions and their questions, stage clearing, validation, the stage-interval
// hint, the examination list and loading, deleting and the start-up repair.
#include "chart/ChartStats.h"
#include "data/member_db_fixture.h"
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

    static SaveRequest request(int patient, const QDate& date, int stage, bool isNew,
                               const QDate& loaded = {}) {
        SaveRequest r;
        r.patientId = patient;
        r.year = QString::number(date.year());
        r.month = QString::number(date.month());
        r.day = QString::number(date.day());
        r.stage = stage;
        r.isNew = isNew;
        r.loadedDate = loaded;
        r.chargeId = 1;
        return r;
    }
    // Loads an examination as the screen does, with its status words in the request.
    SaveRequest loaded(int patient, const QDate& date, int stage) {
        SaveRequest r = request(patient, date, stage, false, date);
        EXPECT_TRUE(LoadExamination(patient, date, &r.status));
        return r;
    }
    int rows(int patient, const QDate& date) {
        return scalar("SELECT count(*) FROM TExamData WHERE PatientID=? AND ExamDate=?", {patient, date})
            .toInt();
    }
    int rowsOfStage(int patient, int stage) {
        return scalar("SELECT count(*) FROM TExamData WHERE PatientID=? AND CommentID=?", {patient, stage})
            .toInt();
    }
    QString pocketData(int patient, const QDate& date) {
        return scalar(
                   "SELECT Data1 || Data2 || Data3 || Data4 FROM TExamData WHERE PatientID=? AND ExamDate=? "
                   "AND \"Row\"=0",
                   {patient, date})
            .toString();
    }
    QStringList titles() const {
        QStringList l;
        for (const MsgBoxRequest& b : t.boxes->shown)
            l << b.title;
        return l;
    }
};

// ------------------------------------------------------------------ list, load, prepare

TEST_F(ExamSessionTest, ListsExaminationsWithDateAndStageLabel) {
    const QList<ExamEntry> list = ListExaminations(99);
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list[0].text, "2023/05/15  初診時");
    EXPECT_EQ(list[1].text, "2023/08/21  基本治療終了時");
    EXPECT_EQ(list[3].text, "2024/08/05  最新ＳＰＴ時");
    EXPECT_EQ(list[2].date, k99Stage3);
    EXPECT_EQ(list[2].stage, 3);
    EXPECT_EQ(ListPatients().size(), 32);
    EXPECT_EQ(ListPatients().last(), 99);
}

TEST_F(ExamSessionTest, LoadPlacesRowsByItemNumberAndIgnoresUnknownItems) {
    // A row of an item that no display row shows is skipped.
    direct()->execute("INSERT INTO TExamData (ID, PatientID, ExamDate, \"Row\", SubExam, Data1) VALUES "
                      "(900, 98, ?, 5, 77, '  9')",
                      {QDate(2023, 4, 10)});
    ToothStatus status{};
    ASSERT_TRUE(LoadExamination(98, QDate(2023, 4, 10), &status));
    const auto& s = ExamSlots();
    EXPECT_EQ(s[0].SubExam, 2);
    EXPECT_EQ(s[1].SubExam, 1);
    EXPECT_EQ(s[2].SubExam, 13);
    EXPECT_EQ(s[3].SubExam, 3);
    EXPECT_EQ(s[kBleedingSlot].Row, 9);
    EXPECT_EQ(s[kPusSlot].Row, 10);
    EXPECT_EQ(s[4].ID, 0);
    EXPECT_EQ(s[5].ID, 0);
    EXPECT_EQ(s[0].CommentID, 1);
    EXPECT_EQ(status, s[0].statusWords());
    EXPECT_TRUE(status[0] & kMissingTooth); // 18 missing in sample 98

    // Without an item on display row 3 its slot stays cleared and the furcation row is
    // not placed anywhere.
    direct()->execute("DELETE FROM TSubExam WHERE DisplayRow=3");
    ASSERT_TRUE(LoadSubExamRows());
    EXPECT_EQ(SubExams()[2].ID, 0);
    EXPECT_EQ(SubExams()[3].ID, 3);
    ASSERT_TRUE(LoadExamination(98, QDate(2023, 4, 10)));
    EXPECT_EQ(ExamSlots()[2].ID, 0);
    EXPECT_EQ(ExamSlots()[2].bData(0), kNoValue);
}

TEST_F(ExamSessionTest, NewExaminationTakesStatusOfLatestEarlierExamination) {
    ToothStatus status;
    status.fill(0xFFFF);
    PrepareNewExamination(98, QDate(2023, 7, 1), 1, status);
    ToothStatus first{};
    ASSERT_TRUE(LoadExamination(98, QDate(2023, 4, 10), &first));
    PrepareNewExamination(98, QDate(2023, 7, 1), 1, status);
    EXPECT_EQ(status, first);
    const auto& s = ExamSlots();
    for (int i : {0, 1, 2, 3}) {
        EXPECT_EQ(s[i].Row, i);
        EXPECT_EQ(s[i].SubExam, SubExams()[i].Mode);
        EXPECT_EQ(s[i].Examination, 2);
        EXPECT_EQ(s[i].ChargeID, 1);
        EXPECT_EQ(s[i].statusWords(), first);
    }
    EXPECT_EQ(s[kPusSlot].SubExam, 2);
    EXPECT_EQ(s[kPusSlot].Row, 10);
    EXPECT_EQ(s[0].bData(100), kNoValue);
    EXPECT_EQ(s[0].Comment, "");
}

TEST_F(ExamSessionTest, EmptyListGivesNoExamDateAndAllTeethPresent) {
    EXPECT_TRUE(ListExaminations(5).isEmpty());
    EXPECT_FALSE(LoadPatient(5));
    EXPECT_EQ(ThePatient().ID, 0);
    EXPECT_EQ(ExamDateText(NoExamDate()), "100/01/01");
    ToothStatus status;
    status.fill(1);
    PrepareNewExamination(5, NoExamDate(), 1, status);
    EXPECT_EQ(status, ToothStatus{});
    EXPECT_EQ(ExamSlots()[3].PatientID, 5);
}

// ------------------------------------------------------------------ save actions

TEST_F(ExamSessionTest, FirstSaveOfPatientIsActionOneWithoutQuestion) {
    ToothStatus status;
    PrepareNewExamination(5, NoExamDate(), 1, status);
    status[0] = kMissingTooth;
    SetSlotsToothStatus(status);
    ExamSlots()[0].setBData(6, 4);
    ExamSlots()[kBleedingSlot].setBData(6, 1);
    SaveRequest r = request(5, kToday, 1, true);
    r.status = status;
    r.inClinicNumber = "K-5";
    r.caseNumber = "A12";
    const SaveOutcome out = SaveExamination(r);
    EXPECT_TRUE(out.saved);
    EXPECT_EQ(out.action, kSaveNew);
    EXPECT_EQ(out.savedDate, kToday);
    EXPECT_TRUE(t.boxes->shown.isEmpty());

    EXPECT_EQ(rows(5, kToday), 6);
    EXPECT_EQ(scalar("SELECT group_concat(\"Row\" || ':' || SubExam, ' ') FROM (SELECT * FROM TExamData "
                     "WHERE PatientID=5 ORDER BY \"Row\")")
                  .toString(),
              "0:2 1:1 2:13 3:3 9:2 10:2");
    EXPECT_EQ(rowsOfStage(5, 1), 6);
    EXPECT_EQ(scalar("SELECT min(ID) FROM TExamData WHERE PatientID=5").toInt(), 10000000);
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE PatientID=5 AND Comment='初診時'").toInt(), 6);
    EXPECT_EQ(scalar("SELECT ExamData FROM TNextAutoNumber WHERE ID=0").toInt(), 6);

    // Read back: the list, the patient boxes and the cells.
    ASSERT_EQ(ListExaminations(5).size(), 1);
    EXPECT_EQ(ListExaminations(5)[0].text, "2024/08/14  初診時");
    ASSERT_TRUE(LoadPatient(5));
    EXPECT_EQ(InClinicNumberOf(ThePatient()), "K-5");
    EXPECT_EQ(CaseNumberOf(ThePatient()), "A12");
    ToothStatus back{};
    ASSERT_TRUE(LoadExamination(5, kToday, &back));
    EXPECT_EQ(back, status);
    EXPECT_EQ(ExamSlots()[0].bData(6), 4);
    EXPECT_EQ(ExamSlots()[kBleedingSlot].bData(6), 1);
    EXPECT_EQ(ExamSlots()[1].bData(6), kNoValue);
}

TEST_F(ExamSessionTest, SavingAStageClearsItFromTheOtherDate) {
    ToothStatus status;
    PrepareNewExamination(99, kToday, 1, status);
    SaveRequest r = request(99, kToday, 1, true);
    r.status = status;
    ASSERT_TRUE(SaveExamination(r).saved);
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE PatientID=99 AND ExamDate=? AND CommentID=0 AND "
                     "Comment=''",
                     {k99Stage1})
                  .toInt(),
              6);
    EXPECT_EQ(rowsOfStage(99, 1), 6);
    EXPECT_EQ(rows(99, k99Stage1), 6);
    EXPECT_EQ(ListExaminations(99)[0].text, "2023/05/15  ");
    // Other patients keep their stage 1.
    EXPECT_EQ(rowsOfStage(98, 1), 6);
}

TEST_F(ExamSessionTest, LoadedExaminationSavedOnItsOwnDateIsActionTwo) {
    SaveRequest r = loaded(99, k99Stage2, 2);
    ExamSlots()[0].setBData(0, 7);
    const SaveOutcome out = SaveExamination(r);
    EXPECT_EQ(out.action, kSaveLoaded);
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(rows(99, k99Stage2), 6);
    EXPECT_EQ(pocketData(99, k99Stage2).left(3), "  7");
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE PatientID=99").toInt(), 24);
}

TEST_F(ExamSessionTest, MovingOntoADateWithRowsYesYesReplacesItAndRemovesTheOldDate) {
    const QString oldCells = pocketData(99, k99Stage2);
    SaveRequest r = loaded(99, k99Stage2, 2);
    r.year = "2024";
    r.month = "1";
    r.day = "29";
    t.boxes->answer(MsgResult::Yes);
    t.boxes->answer(MsgResult::Yes);
    const SaveOutcome out = SaveExamination(r);
    EXPECT_TRUE(out.saved);
    EXPECT_EQ(out.action, kSaveMoveReplace);
    ASSERT_EQ(t.boxes->shown.size(), 2);
    const MsgBoxRequest& change = t.boxes->shown[0];
    EXPECT_EQ(change.text,
              "2023/08/21の検査データの検査日を2024/01/29に変更しますか？\r\n\r\nはい　　　：変更する\r\n"
              "いいえ　　：この検査日（2024/01/29）を追加する\r\nキャンセル：検査日入力に戻る");
    EXPECT_EQ(change.title, "確認");
    EXPECT_EQ(change.buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(change.icon, MsgIcon::Exclamation);
    const MsgBoxRequest& overwrite = t.boxes->shown[1];
    EXPECT_EQ(overwrite.text,
              "指定された検査日のデータが存在します。上書きしますか？\r\n\r\nはい　：上書きする\r\n"
              "いいえ：検査日入力に戻る");
    EXPECT_EQ(overwrite.title, "上書確認");
    EXPECT_EQ(overwrite.buttons, MsgButtons::YesNo);
    EXPECT_EQ(overwrite.icon, MsgIcon::Exclamation);

    EXPECT_EQ(rows(99, k99Stage2), 0);
    EXPECT_EQ(rows(99, k99Stage3), 6);
    EXPECT_EQ(pocketData(99, k99Stage3), oldCells);
    EXPECT_EQ(rowsOfStage(99, 2), 6);
    EXPECT_EQ(rowsOfStage(99, 3), 0);
    EXPECT_EQ(ListExaminations(99).size(), 3);
}

TEST_F(ExamSessionTest, NoThenYesKeepsTheOldDateAndCopiesOntoTheNewOne) {
    const QString oldCells = pocketData(99, k99Stage2);
    SaveRequest r = loaded(99, k99Stage2, 2);
    r.day = "29";
    r.month = "01";
    r.year = "2024";
    t.boxes->answer(MsgResult::No);
    t.boxes->answer(MsgResult::Yes);
    const SaveOutcome out = SaveExamination(r);
    EXPECT_EQ(out.action, kSaveNewReplace);
    EXPECT_EQ(rows(99, k99Stage2), 6);
    EXPECT_EQ(rows(99, k99Stage3), 6);
    EXPECT_EQ(pocketData(99, k99Stage3), oldCells);
    EXPECT_EQ(pocketData(99, k99Stage2), oldCells);
    // The copy took stage 2, so the old date lost it.
    EXPECT_EQ(rowsOfStage(99, 2), 6);
    EXPECT_EQ(
        scalar("SELECT max(CommentID) FROM TExamData WHERE PatientID=99 AND ExamDate=?", {k99Stage2}).toInt(),
        0);
}

TEST_F(ExamSessionTest, MovingToAFreeDateAndDeclinedQuestionsChangeNothingOrMove) {
    const int before = scalar("SELECT count(*) FROM TExamData").toInt();
    // Cancel on the change question, then Yes/No (declined overwrite), then No/No.
    for (QList<MsgResult> answers :
         {QList<MsgResult>{MsgResult::Cancel}, QList<MsgResult>{MsgResult::Yes, MsgResult::No},
          QList<MsgResult>{MsgResult::No, MsgResult::No}}) {
        SaveRequest r = loaded(99, k99Stage2, 2);
        r.year = "2024";
        r.month = "1";
        r.day = "29";
        for (MsgResult a : answers)
            t.boxes->answer(a);
        const SaveOutcome out = SaveExamination(r);
        EXPECT_FALSE(out.saved);
        EXPECT_EQ(out.action, kSaveNone);
        EXPECT_EQ(out.focus, SaveFocus::DateYear);
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData").toInt(), before);
    EXPECT_EQ(rowsOfStage(99, 3), 6);

    // Yes onto a date without rows moves the examination (action 2, no overwrite question).
    t.boxes->clear();
    SaveRequest r = loaded(99, k99Stage2, 2);
    r.day = "22";
    t.boxes->answer(MsgResult::Yes);
    const SaveOutcome out = SaveExamination(r);
    EXPECT_EQ(out.action, kSaveLoaded);
    EXPECT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(rows(99, k99Stage2), 0);
    EXPECT_EQ(rows(99, QDate(2023, 8, 22)), 6);
}

TEST_F(ExamSessionTest, NewExaminationOnADateWithRowsAsksToOverwrite) {
    ToothStatus status;
    PrepareNewExamination(99, k99Stage4, 1, status);
    SaveRequest r = request(99, k99Stage4, 4, true);
    const QString before = pocketData(99, k99Stage4);
    ASSERT_NE(before, QString("128").repeated(192));
    r.inClinicNumber = "K-99";
    t.boxes->answer(MsgResult::No);
    EXPECT_EQ(SaveExamination(r).action, kSaveNone);
    EXPECT_EQ(pocketData(99, k99Stage4), before);
    // Turned back at the question: not even the patient row is written.
    EXPECT_EQ(scalar("SELECT KalteNumber FROM TPatient WHERE ID=99").toString(), "見本-99");
    t.boxes->answer(MsgResult::Yes);
    EXPECT_EQ(SaveExamination(r).action, kSaveNewReplace);
    EXPECT_EQ(titles(), QStringList({"上書確認", "上書確認"}));
    EXPECT_EQ(rows(99, k99Stage4), 6);
    EXPECT_EQ(pocketData(99, k99Stage4), QString("128").repeated(192));
    EXPECT_EQ(scalar("SELECT KalteNumber FROM TPatient WHERE ID=99").toString(), "K-99");
}

TEST_F(ExamSessionTest, ValidationStopsBeforeAnythingIsWritten) {
    const int before = scalar("SELECT count(*) FROM TExamData").toInt();
    struct Case {
        SaveRequest r;
        QString text, title;
        SaveFocus focus;
    };
    SaveRequest noPatient = request(0, kToday, 1, true);
    SaveRequest feb30 = request(5, kToday, 1, true);
    feb30.month = "2";
    feb30.day = "30";
    SaveRequest letters = request(5, kToday, 1, true);
    letters.year = "２０二四";
    SaveRequest noStage = request(5, kToday, -1, true);
    for (const Case& c :
         {Case{noPatient, "患者番号を指定してください。", "患者番号エラー", SaveFocus::PatientList},
          Case{feb30, "正しい検査日を入力してください。", "検査日エラー", SaveFocus::DateYear},
          Case{letters, "正しい検査日を入力してください。", "検査日エラー", SaveFocus::DateYear},
          Case{noStage, "治療ステージを指定してください。", "治療ステージエラー", SaveFocus::StageList}}) {
        t.boxes->clear();
        const SaveOutcome out = SaveExamination(c.r);
        EXPECT_FALSE(out.saved);
        EXPECT_EQ(out.focus, c.focus);
        ASSERT_EQ(t.boxes->shown.size(), 1);
        EXPECT_EQ(t.boxes->shown[0].text, c.text);
        EXPECT_EQ(t.boxes->shown[0].title, c.title);
        EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData").toInt(), before);
    EXPECT_EQ(scalar("SELECT count(*) FROM TPatient WHERE ID=5").toInt(), 0);
}

TEST_F(ExamSessionTest, DateBoxesAreReadAsOneDate) {
    EXPECT_EQ(ParseExamDate("2024", "8", "5"), QDate(2024, 8, 5));
    EXPECT_EQ(ParseExamDate(" 2024", "08 ", "05"), QDate(2024, 8, 5));
    EXPECT_EQ(ParseExamDate("２０２４", "１２", "３１"), QDate(2024, 12, 31));
    EXPECT_EQ(ParseExamDate("2024", "2", "29"), QDate(2024, 2, 29));
    EXPECT_FALSE(ParseExamDate("2023", "2", "29").isValid());
    EXPECT_FALSE(ParseExamDate("2024", "13", "1").isValid());
    EXPECT_FALSE(ParseExamDate("", "1", "1").isValid());
    EXPECT_FALSE(ParseExamDate("24", "1", "1").isValid());
    EXPECT_FALSE(ParseExamDate("2024", "-1", "1").isValid());
    EXPECT_EQ(ExamDateText(QDate(2024, 8, 5)), "2024/08/05");
}

// ------------------------------------------------------------------ hints and notices

TEST_F(ExamSessionTest, StageFourWithinSixMonthsOfStageTwoOrThreeWarns) {
    // With stages 2 and 3 a date before stage 3 + six months warns through stage 3.
    EXPECT_TRUE(StageIntervalWarning(99, 4, QDate(2024, 7, 28)));
    EXPECT_FALSE(StageIntervalWarning(99, 4, QDate(2024, 7, 29)));
    EXPECT_FALSE(StageIntervalWarning(99, 3, QDate(2024, 1, 21)));
    EXPECT_FALSE(StageIntervalWarning(5, 4, kToday));

    // Stage 2 alone: five months after it warns, six months do not.
    direct()->execute("UPDATE TExamData SET CommentID=0 WHERE PatientID=99 AND CommentID=3");
    EXPECT_TRUE(StageIntervalWarning(99, 4, QDate(2024, 1, 21)));
    EXPECT_FALSE(StageIntervalWarning(99, 4, QDate(2024, 2, 21)));

    // Stage 3 alone.
    direct()->execute("UPDATE TExamData SET CommentID=3 WHERE PatientID=99 AND ExamDate=?", {k99Stage3});
    direct()->execute("UPDATE TExamData SET CommentID=0 WHERE PatientID=99 AND CommentID=2");
    EXPECT_TRUE(StageIntervalWarning(99, 4, QDate(2024, 7, 28)));
    EXPECT_FALSE(StageIntervalWarning(99, 4, QDate(2024, 7, 29)));
}

TEST_F(ExamSessionTest, PostSaveNoticesAndSuccessText) {
    EXPECT_EQ(PostSaveDatabaseNotices(99), "");
    ToothStatus status;
    PrepareNewExamination(5, kToday, 1, status);
    ASSERT_TRUE(SaveExamination(request(5, QDate(2024, 1, 10), 1, true)).saved);
    ASSERT_TRUE(SaveExamination(request(5, QDate(2024, 2, 10), 3, true)).saved);
    ASSERT_TRUE(SaveExamination(request(5, QDate(2024, 5, 10), 4, true)).saved);
    EXPECT_EQ(PostSaveDatabaseNotices(5),
              "\r\n■初診時の症例は以下の通りです。\r\n歯周ポケット４mm以上の部位が 0％\r\n"
              "６mm以上の歯周ポケットが 0ヶ所\r\n"
              "\r\n■治療ステージの期間に問題がある場合があります｡");
    // The notices follow the chart statistics.
    QString pct, count;
    EXPECT_TRUE(CheckInitialCaseCriteria(memberConn(), 5, pct, count));
    EXPECT_TRUE(CheckStagePeriod(memberConn(), 5));
    EXPECT_EQ(SaveSuccessText(), "正常に保存されました。　　\r\n\r\n基準フォルダ： " + app().MemberFolder +
                                     "\r\n\r\n使用ファイル： /KVR-DB-123456.MDB");
    ShowSaveSuccess();
    EXPECT_EQ(t.boxes->shown.last().title, "正常終了");
    EXPECT_EQ(t.boxes->shown.last().icon, MsgIcon::Information);
}

TEST_F(ExamSessionTest, TypedPatientNumberAndUnsavedQuestions) {
    int selected = -1;
    EXPECT_TRUE(CheckTypedPatientNumber("", ListPatients(), selected));
    EXPECT_EQ(selected, 0);
    EXPECT_TRUE(CheckTypedPatientNumber("98", ListPatients(), selected));
    EXPECT_EQ(selected, 98);
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_FALSE(CheckTypedPatientNumber("31", ListPatients(), selected));
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].text, "患者番号が範囲外です。再入力してください。");
    EXPECT_EQ(t.boxes->shown[0].title, "範囲外エラー");
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);

    t.boxes->clear();
    t.boxes->answer(MsgResult::No);
    t.boxes->answer(MsgResult::No);
    EXPECT_EQ(AskSaveUnsaved(), MsgResult::No);
    EXPECT_FALSE(AskCloseUnsaved());
    EXPECT_EQ(t.boxes->shown[0].text, "データが保存されていません。保存しますか？　　");
    EXPECT_EQ(t.boxes->shown[1].text, "データが保存されていません。終了してもよろしいですか？　　");
    EXPECT_EQ(t.boxes->shown[1].buttons, MsgButtons::YesNo);
    EXPECT_EQ(titles(), QStringList({"確認", "確認"}));
}

// ------------------------------------------------------------------ deleting

TEST_F(ExamSessionTest, DeleteExaminationDefaultsToNoAndNeedsPatientAndStage) {
    EXPECT_FALSE(DeleteExamination(0, 1, k99Stage1));
    EXPECT_FALSE(DeleteExamination(99, -1, k99Stage1));
    EXPECT_EQ(titles(), QStringList({"患者番号エラー", "治療ステージエラー"}));
    EXPECT_EQ(t.boxes->shown[0].text, "患者番号が指定されていません。");
    EXPECT_EQ(t.boxes->shown[1].text, "治療ステージが指定されていません。");

    t.boxes->clear();
    EXPECT_FALSE(DeleteExamination(99, 1, k99Stage1)); // unanswered: the default button
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].text, "表示されているデータを削除します。よろしいですか？　　");
    EXPECT_EQ(t.boxes->shown[0].defaultButton, 1);
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(rows(99, k99Stage1), 6);

    t.boxes->answer(MsgResult::Yes);
    EXPECT_TRUE(DeleteExamination(99, 1, k99Stage1));
    EXPECT_EQ(rows(99, k99Stage1), 0);
    EXPECT_EQ(rows(99, k99Stage2), 6);
    EXPECT_EQ(t.boxes->shown.last().text, "表示されているデータを削除しました。");
    EXPECT_EQ(t.boxes->shown.last().title, "表示データ削除完了");
    EXPECT_EQ(t.boxes->shown.last().icon, MsgIcon::Information);
}

TEST_F(ExamSessionTest, DeletePatientRemovesAllHisRowsAfterYes) {
    direct()->execute("INSERT INTO TPatientAdd (ID) VALUES (98)");
    direct()->execute("INSERT INTO TPatientAdd (ID) VALUES (99)");
    EXPECT_FALSE(DeletePatient(98));
    EXPECT_EQ(t.boxes->shown[0].text, "表示されている患者番号の全データを削除します。よろしいですか？　　");
    EXPECT_EQ(t.boxes->shown[0].defaultButton, 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM TPatient WHERE ID=98").toInt(), 1);

    t.boxes->answer(MsgResult::Yes);
    EXPECT_TRUE(DeletePatient(98));
    EXPECT_EQ(t.boxes->shown.last().text, "表示されている患者番号の全データを削除しました。");
    EXPECT_EQ(t.boxes->shown.last().title, "１患者削除完了");
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE PatientID=98").toInt(), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM TPatientAdd WHERE ID=98").toInt(), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM TPatient WHERE ID=98").toInt(), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE PatientID=99").toInt(), 24);
    EXPECT_EQ(scalar("SELECT count(*) FROM TPatientAdd WHERE ID=99").toInt(), 1);
}

// ------------------------------------------------------------------ start-up repair

TEST_F(ExamSessionTest, RepairAddsMissingRowZeroAndKeepsGoodStageRows) {
    direct()->execute("DELETE FROM TComType WHERE ID=0");
    direct()->execute("UPDATE TComType SET Comment='初診' WHERE ID=1");
    ASSERT_TRUE(RepairStageTables());
    EXPECT_EQ(scalar("SELECT count(*) FROM TComType WHERE ID=0 AND Comment='' AND DR=1 AND DH=1").toInt(), 1);
    // Row 4 was right, so row 1 keeps its text (and the stored labels follow it).
    EXPECT_EQ(scalar("SELECT Comment FROM TComType WHERE ID=1").toString(), "初診");
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE CommentID=1 AND Comment='初診'").toInt(), 12);
}

TEST_F(ExamSessionTest, RepairRebuildsTheStageTableWhenRowFourIsWrong) {
    direct()->execute("UPDATE TComType SET CommentDH='最新SPT時', Comment='x' WHERE ID=4");
    direct()->execute("UPDATE TComType SET Comment='y' WHERE ID=2");
    direct()->execute("INSERT INTO TComType (ID, Comment) VALUES (7, 'z')");
    ASSERT_TRUE(RepairStageTables());
    EXPECT_EQ(scalar("SELECT group_concat(ID || Comment || CommentDR || CommentDH || DR || DH, ',') FROM "
                     "(SELECT * FROM TComType ORDER BY ID)")
                  .toString(),
              "011,1初診時初診時初診時11,2基本治療終了時基本治療終了時基本治療終了時11,"
              "3ＳＰＴ移行時ＳＰＴ移行時ＳＰＴ移行時11,4最新ＳＰＴ時最新ＳＰＴ時最新ＳＰＴ時11");
    EXPECT_EQ(StageLabel(4), "最新ＳＰＴ時");
}

TEST_F(ExamSessionTest, RepairRelabelsStoredCommentsAndFixesTwoItems) {
    direct()->execute("UPDATE TExamData SET Comment='古い' WHERE ID=1");
    direct()->execute("UPDATE TExamData SET Comment=NULL, \"UpDate\"='2020-01-01 00:00:00' WHERE ID=2");
    direct()->execute("UPDATE TSubExam SET GradPart2=7 WHERE ID=2");
    direct()->execute("UPDATE TSubExam SET GradPart2=7, Status=0 WHERE ID=3");
    const QDateTime untouched = scalar("SELECT \"UpDate\" FROM TExamData WHERE ID=3").toDateTime();
    ASSERT_TRUE(RepairStageTables());
    EXPECT_EQ(scalar("SELECT Comment FROM TExamData WHERE ID=1").toString(), "初診時");
    EXPECT_EQ(scalar("SELECT \"UpDate\" FROM TExamData WHERE ID=1").toDateTime(),
              QDateTime(kToday, QTime(16, 30)));
    EXPECT_EQ(scalar("SELECT Comment FROM TExamData WHERE ID=2").toString(), "初診時");
    EXPECT_EQ(scalar("SELECT \"UpDate\" FROM TExamData WHERE ID=3").toDateTime(), untouched);
    EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE \"UpDate\"='2024-08-14 16:30:00'").toInt(), 2);
    EXPECT_EQ(scalar("SELECT GradPart2 FROM TSubExam WHERE ID=2").toInt(), 6);
    EXPECT_EQ(scalar("SELECT GradPart2 FROM TSubExam WHERE ID=3").toInt(), 7);
    EXPECT_EQ(scalar("SELECT Status FROM TSubExam WHERE ID=3").toInt(), 0x1000);
    EXPECT_EQ(scalar("SELECT Status FROM TSubExam WHERE ID=1").toInt(), 0x2000);
}

} // namespace
