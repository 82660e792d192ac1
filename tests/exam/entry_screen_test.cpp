// The entry screen's grid on a copy of the template database: a whole examination typed
// with real keys and read back from the database, the spoken keys, numbers
// typed into the patient list, the status buttons and tooth labels, the bulk marks, the
// post-save check and the commands that need a patient.
#include "entry_screen_fixture.h"
#include "exam/ExamSession.h"

#include <QPushButton>

using namespace kvr;
using test::EntryScreenTest;

namespace {

const QString kUnsavedQuestion = QStringLiteral("データが保存されていません。保存しますか？　　");

// A whole examination typed on the keypad and read back cell by cell: each accepted key is
// spoken, a key the item refuses plays the error sound and enters nothing.
TEST_F(EntryScreenTest, AWholeExaminationTypedOnTheKeypadIsStoredCellByCell) {
    showActive(); // the way here, Enter through the boxes, is driven by e2e_entry_flow
    pickPatient(7);
    setDate("2024", "07", "1", 1);
    screen->findChild<QWidget*>("FraGrid")->setFocus();
    auto send = [&](int k) { press(k, Qt::KeypadModifier); };
    std::array<std::array<std::uint8_t, kCells>, kExamSlots> expected;
    for (auto& e : expected)
        e.fill(kNoValue);
    std::fill_n(expected[3].begin() + 48, 32, 15); // plaque: no surface examined yet
    auto here = [&] { return screen->cursorTooth() * 6 + screen->cursorSite(); };

    // Depths 1-12 round the mouth, bleeding on every fifth site, pus on every eleventh;
    // moving back from the second site reaches the first; Enter after the last goes on.
    const int first = here();
    QStringList spoken;
    int i = 0;
    for (; screen->currentRow() == 0 && i < 200; ++i) {
        if (i == 1) {
            press(Qt::Key_Left);
            EXPECT_EQ(here(), first);
            press(Qt::Key_Right);
        }
        if (i == 12) EXPECT_EQ(sounds(), spoken); // (the player's queue holds 100)
        const int v = 1 + i % 12;
        expected[0][here()] = std::uint8_t(v);
        if (i < 12) spoken << QString::number(v) + ".wav";
        if (v >= 10) send(Qt::Key_Slash);
        send(Qt::Key_0 + v % 10);
        if (i % 5 == 0) {
            send(Qt::Key_Plus);
            expected[kBleedingSlot][here()] = 1;
        }
        if (i % 11 == 0) {
            send(Qt::Key_Asterisk);
            send(Qt::Key_Plus);
            expected[kPusSlot][here()] = 1;
        }
        if (i == 191) send(Qt::Key_Enter);
    }
    EXPECT_EQ(i, 192);
    sounds();
    // Mobility 0-3 on every tooth (4 is refused), furcation 0-3 on its 38 sites, Enter after the last.
    EXPECT_EQ(screen->LblNowExam->text(), QStringLiteral("動揺度"));
    send(Qt::Key_4);
    EXPECT_EQ(sounds(), QStringList{"phone1.wav"});
    for (int row : {1, 2}) {
        for (i = 0; i < (row == 1 ? 32 : 38); ++i) {
            ASSERT_EQ(screen->currentRow(), row) << i;
            expected[row][row == 1 ? screen->cursorTooth() : here()] = std::uint8_t(i % 4);
            send(Qt::Key_0 + i % 4);
        }
        send(Qt::Key_Enter);
    }
    // Plaque with its buttons only: "あり" on every third pass (bits 1|2 first pass, 4|8
    // second), else "なし"; an examined pass clears its bits in the second cell.
    sounds();
    send(Qt::Key_1);
    EXPECT_EQ(sounds(), QStringList{"phone1.wav"});
    for (i = 0; i < 64; ++i) {
        const int tooth = screen->cursorTooth(), bits = screen->cursorSite() == 0 ? 3 : 12;
        std::uint8_t& plaque = expected[3][tooth];
        plaque = std::uint8_t((plaque == kNoValue ? 0 : plaque) | (i % 3 == 0 ? bits : 0));
        expected[3][tooth + 48] &= std::uint8_t(~bits);
        screen->CmdVal[i % 3 == 0 ? 0 : 1]->click();
    }
    t.boxes->clear();
    press(Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(boxTexts(true), QStringList{SaveSuccessText() + QStringLiteral("|正常終了")});

    // (Which rows a new examination stores: ExamSessionTest.NewExaminations...)
    for (db::Recordset rs(direct(), "SELECT * FROM TExamData WHERE PatientID=7 ORDER BY \"Row\""); !rs.eof();
         rs.moveNext()) {
        CExamData d;
        d.RecSetGet(rs);
        EXPECT_EQ(d.ExamDate.date(), QDate(2024, 7, 1));
        EXPECT_EQ(d.CommentID, 1);
        for (int c = 0; c < kCells; ++c)
            ASSERT_EQ(d.bData(c), expected[d.Row][c]) << "row " << d.Row << " cell " << c;
    }
}

// A number typed into the patient list with real keys and left with Return or Tab, after
// an earlier action: a number not in the list is refused and keeps the focus; another
// patient asks once about unsaved values (Yes saves, and a failing save stays put).
TEST_F(EntryScreenTest, ANumberTypedIntoThePatientListIsCheckedAndAsksOnce) {
    const QString outOfRange = QStringLiteral("患者番号が範囲外です。再入力してください。");
    const struct {
        const char* name;
        std::function<void()> action;
        const char* typed;
        int leaveKey;
        std::vector<MsgResult> answers;
        int patient;
        QStringList boxes;
        bool saved;
        const char* focus; // where the focus stays after a refusal
    } cases[] = {
        // clang-format off
        {"none", [] {}, "31", Qt::Key_Tab, {}, 5, {outOfRange}, false, "CmbOutNo"},
        {"after a save", [&] { screen->CmdSave->click(); }, "31", Qt::Key_Tab, {}, 5, {outOfRange}, false, "CmbOutNo"},
        {"typed, no date", [&] { typeValue(3); }, "7", Qt::Key_Return, {MsgResult::Yes}, 5,
         {kUnsavedQuestion, QStringLiteral("正しい検査日を入力してください。")}, false, "TxtY"},
        {"typed, No", [&] { typeValue(3); }, "98", Qt::Key_Tab, {MsgResult::No}, 98, {kUnsavedQuestion}, false},
        {"typed, Yes", [&] { typeValue(3), setDate("2024", "8", "1", 1); }, "7", Qt::Key_Return,
         {MsgResult::Yes}, 7, {kUnsavedQuestion, SaveSuccessText()}, true},
        // clang-format on
    };
    // A real box runs its own event loop: whatever is queued runs while it is open.
    t.boxes->onShow = [](const MsgBoxRequest&) { QCoreApplication::processEvents(); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        newScreen();
        pickPatient(5);
        c.action();
        showActive();
        QTest::mouseClick(screen->CmbOutNo->lineEdit(), Qt::LeftButton);
        press(Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), c.typed);
        reply(c.answers);
        press(c.leaveKey);
        QTest::qWait(50);
        EXPECT_EQ(screen->currentPatient(), c.patient);
        QStringList boxes = boxTexts(); // the post-save check has its own test
        boxes.removeIf([](const QString& b) { return b.startsWith(QStringLiteral("■以下の検査")); });
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE PatientID=5").toInt(), c.saved ? 6 : 0);
        EXPECT_EQ(screen->unsaved(), c.answers.size() == 1 && c.patient == 5);
        EXPECT_TRUE(!c.focus || hasFocusIn(screen->findChild<QWidget*>(c.focus)));
        direct()->execute("DELETE FROM TExamData WHERE PatientID=5");
    }
    t.boxes->onShow = nullptr;
}

// The status buttons ask to set or remove their flag at the cursor tooth; a tooth label
// removes the first flag present (missing, implant, pontic). Yes changes every slot and
// keeps the deciduous flag, No changes nothing.
TEST_F(EntryScreenTest, StatusButtonsAndToothLabelsSetAndRemoveFlags) {
    const QDate first(2023, 5, 15); // patient 99's first examination: 3 missing implant, 4 implant pontic
    QString bui = scalar("SELECT Bui FROM TExamData WHERE PatientID=99 AND ExamDate=?", {first}).toString();
    for (auto [tooth, word] : {std::pair{3, kMissingTooth | kImplant}, {4, kImplant | kPontic}})
        bui.replace(tooth * 6, 6, QString::number(std::int16_t(word)).rightJustified(6, ' '));
    direct()->execute("UPDATE TExamData SET Bui=? WHERE PatientID=99 AND ExamDate=?", {bui, first});
    pickPatient(99); // tooth 25 (index 12) is a retained deciduous molar
    screen->setCurrentRow(1);
    const std::uint16_t D = kDeciduous, M = kMissingTooth, I = kImplant, P = kPontic;
    const struct {
        int tooth;
        QPushButton* button; // none: the tooth label
        MsgResult answer;
        const char* question;
        std::uint16_t after;
    } steps[] = {
        {12, screen->CmdImplant, MsgResult::Yes, "インプラントにしますか。", D | I},
        {12, screen->CmdMT, MsgResult::Yes, "ＭＴ（欠損）にしますか。", D | M},
        {12, nullptr, MsgResult::No, "ＭＴ（欠損）を解除しますか。", D | M},
        {12, nullptr, MsgResult::Yes, "ＭＴ（欠損）を解除しますか。", D},
        {3, nullptr, MsgResult::Yes, "ＭＴ（欠損）を解除しますか。", I},
        {3, screen->CmdImplant, MsgResult::Yes, "インプラントを解除しますか。", 0},
        {4, nullptr, MsgResult::Yes, "インプラントを解除しますか。", P},
        {4, nullptr, MsgResult::Yes, "ポンティックを解除しますか。", 0},
        {5, screen->CmdPontic, MsgResult::Yes, "ポンティックにしますか。", P},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.question);
        if (s.button) clickSite(1, s.tooth, 0);
        reply({s.answer});
        s.button ? s.button->click() : QTest::mouseClick(screen->LblTh[s.tooth], Qt::LeftButton);
        expectOneBox(QString::fromUtf8(s.question) + QStringLiteral("|確認"), MsgIcon::Exclamation);
        for (int slot = 0; slot < kExamSlots; ++slot)
            EXPECT_EQ(ExamSlots()[slot].nBui(s.tooth), s.after) << slot;
        EXPECT_EQ(screen->toothStatus()[s.tooth], s.after);
        EXPECT_EQ(sounds().value(0), s.answer == MsgResult::Yes ? "click1.wav" : "");
    }
    EXPECT_TRUE(screen->unsaved());
    EXPECT_EQ(screen->LblTh[12]->text(), QStringLiteral("E"));
    EXPECT_EQ(screen->LblTh[3]->text(), QStringLiteral("5")); // a plain tooth again
    // Other labels (the deciduous flag is no removable flag) move the cursor there.
    t.boxes->clear();
    QTest::mouseClick(screen->LblTh[12], Qt::LeftButton);
    EXPECT_EQ(screen->cursorTooth(), 12);
    EXPECT_TRUE(t.boxes->shown.isEmpty());

    // Pocket depths are not entered on missing teeth: the cursor walks round tooth 3.
    screen->setCurrentRow(0);
    clickSite(0, 3, 0);
    reply({MsgResult::Yes});
    screen->CmdMT->click();
    EXPECT_EQ((std::pair{screen->cursorTooth(), screen->cursorSite()}), (std::pair{4, 0}));
    key(Qt::Key_Left);
    EXPECT_EQ((std::pair{screen->cursorTooth(), screen->cursorSite()}), (std::pair{2, 2}));
}

TEST_F(EntryScreenTest, BleedingBulkModeTogglesMarksAndEnterEndsIt) {
    pickPatient(5);
    key(Qt::Key_4);
    key(Qt::Key_5);
    screen->CmdBloodMode->click();
    EXPECT_EQ(screen->CmdBloodMode->text(), QStringLiteral(" 一括 選択中"));
    ToothButton* c = screen->cell(0, 0);
    for (int site : {1, 0, 0, 4}) // no depth at site 4: no mark, the cursor moves
        clickSite(0, 0, site);
    EXPECT_EQ(QList({c->value(0, 1), c->value(1, 1), c->value(4, 1)}), QList({-1, 1, -1}));
    EXPECT_EQ(screen->cursorSite(), 4);

    screen->CmdHainouMode->click(); // one bulk mode at a time
    EXPECT_FALSE(screen->bloodMode());
    EXPECT_EQ(screen->CmdBloodMode->text() + "|" + screen->CmdHainouMode->text(),
              QStringLiteral(" 出血　一括| 一括 選択中"));
    key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(screen->pusMode());
    EXPECT_EQ(screen->CmdHainouMode->text(), QStringLiteral(" 排膿　一括"));
}

TEST_F(EntryScreenTest, SavingChecksTheEmptyPositionsAndReloadsWithTheCursorAtTheStart) {
    pickPatient(5);
    for (int i = 0; i < 12; ++i)
        typeValue(4); // teeth 0 and 1, 4 mm everywhere
    screen->setCurrentRow(1);
    key(Qt::Key_1);
    key(Qt::Key_0);
    screen->setCurrentRow(3);
    screen->CmdVal[0]->click(); // "あり" on the first pass of the first plaque tooth
    t.boxes->answer(MsgResult::Yes);
    screen->CmdMT->click(); // the second plaque tooth (tooth 1) is missing
    ASSERT_EQ(screen->cursorTooth(), 2);
    screen->CmdPontic->click(); // and the third (tooth 2, a molar) is a pontic
    setDate("２０２４", "8", "14", 1);
    auto depths = [&] {
        QList<int> l;
        for (int s = 0; s < 6; ++s)
            l << screen->cell(0, 0)->value(s, 0);
        return l;
    };
    const QList<int> typed = depths();
    t.boxes->clear();
    ASSERT_TRUE(screen->save());
    // The 12 depths went on the buccal sites of teeth 0-3. PPD: 30 remaining teeth x 6 less
    // the 6 depths on teeth 0 and 3 (neither the missing tooth's nor the pontic's count);
    // mobility 32 less the missing tooth and the pontic; furcation 38 sites less the two
    // molars' 3 each; PCR: 29 untouched teeth x 4 + the 2 open surfaces of tooth 0.
    EXPECT_EQ(boxTexts(true), (QStringList{QStringLiteral("■以下の検査で未検査があります。\r\n"
                                                          "ＰＰＤ：174ヶ所\r\n"
                                                          "動揺度：29ヶ所\r\n"
                                                          "根分岐部病変：32ヶ所\r\n"
                                                          "ＰＣＲ：118ヶ所\r\n"
                                                          "\r\n■初診時の症例は以下の通りです。\r\n"
                                                          "歯周ポケット４mm以上の部位が 100.0％\r\n"
                                                          "６mm以上の歯周ポケットが 0ヶ所\r\n|チェック"),
                                           SaveSuccessText() + QStringLiteral("|正常終了")}));
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    // The saved examination is loaded again: the grid shows what was stored.
    EXPECT_FALSE(screen->unsaved());
    EXPECT_FALSE(screen->isNewExam());
    EXPECT_EQ((std::pair{screen->cursorTooth(), screen->cursorSite()}), (std::pair{0, 0}));
    EXPECT_EQ(QStringList({screen->TxtY->text(), screen->TxtM->text(), screen->TxtD->text()}),
              QStringList({"2024", "08", "14"}));
    EXPECT_EQ(screen->CmbEntry->currentText(), QStringLiteral("2024/08/14  初診時"));
    EXPECT_EQ(depths(), typed);
    EXPECT_EQ(typed.count(4), 3);
    EXPECT_EQ(ExamSlots()[0].ID, scalar("SELECT ID FROM TExamData WHERE PatientID=5 AND \"Row\"=0").toInt());
}

TEST_F(EntryScreenTest, CommandsOnTheExaminationNeedAPatient) {
    showActive();
    const std::tuple<const char*, int, std::function<void()>> needPatient[] = {
        {"value button", 0, [&] { screen->CmdVal[0]->click(); }},
        {"key 3", 0, [&] { key(Qt::Key_3); }},
        {"key .", 0, [&] { key(Qt::Key_Period); }},
        {"key +", 0, [&] { key(Qt::Key_Plus); }},
        {"CmdNot", 0, [&] { screen->CmdNot->click(); }},
        {"CmdBlood", 0, [&] { screen->CmdBlood->click(); }},
        {"CmdHainou", 0, [&] { screen->CmdHainou->click(); }},
        {"CmdImplant", 0, [&] { screen->CmdImplant->click(); }},
        {"CmdAdd", 0, [&] { screen->CmdAdd->click(); }},
        {"CmdFurcationNone", 2, [&] { screen->CmdFurcationNone->click(); }},
        {"CmdPL", 3, [&] { screen->mnuPlaqueAll->trigger(); }},
    };
    for (const auto& [name, row, run] : needPatient) {
        SCOPED_TRACE(name);
        screen->setCurrentRow(row);
        screen->CmdSave->setFocus();
        t.boxes->clear();
        run();
        expectOneBox(QStringLiteral("患者番号が選択されていません。|患者番号選択"), MsgIcon::Exclamation);
        EXPECT_TRUE(hasFocusIn(screen->CmbOutNo));
        EXPECT_FALSE(screen->unsaved());
    }
    EXPECT_TRUE(sounds().isEmpty());
}

} // namespace
