// The entry screen on a copy of the template database: key entry with prefixes,
// refused keys, status toggles and the cursor, the bleeding bulk mode, the post-save
// check, and a whole examination typed on the keyboard, saved and read back.
#include "entry_screen_fixture.h"

#include <QPushButton>

using namespace kvr;
using test::EntryScreenTest;

TEST_F(EntryScreenTest, SlashTwoEntersTwelveStarPlusMarksPusAndMobilityRefusesFour) {
    EXPECT_EQ(screen->windowTitle(), QStringLiteral("歯周検査ソフト　KVR-Chart-DB Ver.1 "
                                                    "(ヴェルダ学会 専門医・認定医・認定歯科衛生士用)"));
    EXPECT_EQ(screen->CmbOutNo->count(), 32);
    EXPECT_EQ(screen->CmbStage->count(), 4);
    EXPECT_EQ(screen->LblNowExam->text(), QStringLiteral("歯周ポケット"));
    const int kinds[] = {ToothButton::KindPocket, ToothButton::KindOneValue, ToothButton::KindSixSite,
                         ToothButton::KindTwoPass};
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(screen->cell(row, 31)->kind(), kinds[row]) << row;
    for (QPushButton* later : {screen->CmdChartDR, screen->CmdStyleDRS071, screen->CmdImage})
        EXPECT_FALSE(later->isEnabled());
    // The tools screen opens through its hook, on its default tab.
    int toolsTab = 99;
    screen->showTools = [&toolsTab](QWidget*, int tab) { toolsTab = tab; };
    screen->CmdImport->click();
    EXPECT_EQ(toolsTab, -1);

    pickPatient(5);
    ASSERT_EQ(screen->cursorTooth(), 0);
    ASSERT_EQ(screen->cursorSite(), 0);
    keys({Qt::Key_Slash, Qt::Key_2});
    EXPECT_EQ(screen->cell(0, 0)->value(0, 0), 12);
    EXPECT_EQ(sounds(), QStringList{"12.wav"});
    EXPECT_TRUE(screen->unsaved());
    EXPECT_EQ(screen->cursorTooth(), 0);
    EXPECT_EQ(screen->cursorSite(), 1);

    key(Qt::Key_Asterisk, Qt::KeypadModifier);
    key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(screen->cell(0, 0)->value(1, 2), 1); // pus at the cursor site
    EXPECT_EQ(screen->cell(0, 0)->value(1, 1), -1);
    EXPECT_EQ(screen->cursorSite(), 1); // marks do not move the cursor
    keys({Qt::Key_Plus});
    EXPECT_EQ(screen->cell(0, 0)->value(1, 1), 1);
    keys({Qt::Key_Asterisk, Qt::Key_Minus});
    EXPECT_EQ(screen->cell(0, 0)->value(1, 2), -1);
    EXPECT_EQ(screen->cell(0, 0)->value(1, 1), 1);
    sounds();

    // "4" on mobility is refused with the error sound and enters nothing.
    screen->setCurrentRow(1);
    EXPECT_EQ(screen->LblNowExam->text(), QStringLiteral("動揺度"));
    const int tooth = screen->cursorTooth();
    key(Qt::Key_4, Qt::KeypadModifier);
    EXPECT_EQ(sounds(), QStringList{"phone1.wav"});
    for (int t = 0; t < 32; ++t)
        EXPECT_EQ(screen->cell(1, t)->value(0, 0), -1);
    EXPECT_EQ(screen->cursorTooth(), tooth);
    key(Qt::Key_3, Qt::KeypadModifier);
    EXPECT_EQ(screen->cell(1, tooth)->value(0, 0), 3);
    EXPECT_EQ(sounds(), QStringList{"3.wav"});

    // Plaque takes no keys: its buttons and clicks enter it.
    screen->setCurrentRow(3);
    for (int k : {Qt::Key_1, Qt::Key_0, Qt::Key_Period}) {
        key(k, Qt::KeypadModifier);
        EXPECT_EQ(sounds(), QStringList{"phone1.wav"});
    }
    for (int t = 0; t < 32; ++t)
        EXPECT_FALSE(screen->cell(3, t)->hasPlaqueInput());
}

TEST_F(EntryScreenTest, TabLeadsFromTheDateToTheStageAndIntoTheGrid) {
    showActive();
    pickPatient(5);
    screen->TxtY->setFocus();
    QStringList path;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        path << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(path, (QStringList{"TxtM", "TxtD", "CmbStage", "FraGrid", "CmdSave"}));
    // In the grid the keys enter values.
    screen->TxtD->setFocus();
    QTest::keyClick(screen->TxtD, Qt::Key_Tab);
    QTest::keyClick(screen->CmbStage, Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_4);
    EXPECT_EQ(screen->cell(0, 0)->value(0, 0), 4);
}

TEST_F(EntryScreenTest, SavingReloadsTheSavedExaminationWithTheCursorAtItsStart) {
    pickPatient(5);
    const std::pair<int, int> start{screen->cursorTooth(), screen->cursorSite()};
    for (int v : {4, 5, 6, 4})
        typeValue(v);
    ASSERT_NE((std::pair{screen->cursorTooth(), screen->cursorSite()}), start);
    QList<int> typed;
    for (int s = 0; s < 6; ++s)
        typed << screen->cell(0, 0)->value(s, 0);
    setDate("２０２４", "8", "14", 1);
    t.boxes->clear();
    ASSERT_TRUE(screen->save());
    EXPECT_EQ((std::pair{screen->cursorTooth(), screen->cursorSite()}), start);
    EXPECT_FALSE(screen->isNewExam());
    EXPECT_EQ(QStringList({screen->TxtY->text(), screen->TxtM->text(), screen->TxtD->text()}),
              QStringList({"2024", "08", "14"}));
    // The grid holds what was stored, the slots the stored rows.
    for (int s = 0; s < 6; ++s)
        EXPECT_EQ(screen->cell(0, 0)->value(s, 0), typed[s]) << s;
    EXPECT_EQ(ExamSlots()[0].ID, scalar("SELECT ID FROM TExamData WHERE PatientID=5 AND \"Row\"=0").toInt());
}

TEST_F(EntryScreenTest, MissingToothReplacesImplantAndKeepsTheDeciduousFlag) {
    pickPatient(99); // tooth 25 (index 12) is a retained deciduous molar
    ASSERT_EQ(screen->toothStatus()[12], kDeciduous);
    screen->setCurrentRow(1);
    clickSite(1, 12, 0);
    ASSERT_EQ(screen->cursorTooth(), 12);
    reply({MsgResult::Yes});
    screen->CmdImplant->click();
    EXPECT_EQ(screen->toothStatus()[12], kDeciduous | kImplant);
    expectOneBox(QStringLiteral("インプラントにしますか。"), QStringLiteral("確認"), MsgIcon::Exclamation);
    EXPECT_EQ(sounds().value(0), "click1.wav");

    clickSite(1, 12, 0); // mobility may go on implants
    ASSERT_EQ(screen->cursorTooth(), 12);
    t.boxes->answer(MsgResult::Yes);
    screen->CmdMT->click();
    EXPECT_EQ(t.boxes->shown.last().text, QStringLiteral("ＭＴ（欠損）にしますか。"));
    EXPECT_EQ(screen->toothStatus()[12], kDeciduous | kMissingTooth);
    for (int s = 0; s < kExamSlots; ++s)
        EXPECT_EQ(ExamSlots()[s].nBui(12), kDeciduous | kMissingTooth) << s;
    EXPECT_TRUE(screen->unsaved());

    // Removing the flag through the tooth label leaves the deciduous tooth.
    t.boxes->answer(MsgResult::Yes);
    QTest::mouseClick(screen->LblTh[12], Qt::LeftButton);
    EXPECT_EQ(t.boxes->shown.last().text, QStringLiteral("ＭＴ（欠損）を解除しますか。"));
    EXPECT_EQ(screen->toothStatus()[12], kDeciduous);
    EXPECT_EQ(screen->LblTh[12]->text(), QStringLiteral("E"));
}

TEST_F(EntryScreenTest, AfterAStatusToggleTheCursorSkipsTheToothWhenTheItemRefusesIt) {
    pickPatient(5);
    clickSite(0, 3, 0);
    ASSERT_EQ(screen->cursorTooth(), 3);
    ASSERT_EQ(screen->cursorSite(), 0);
    t.boxes->answer(MsgResult::Yes);
    screen->CmdMT->click();
    EXPECT_EQ(screen->toothStatus()[3], kMissingTooth);
    EXPECT_EQ(screen->cursorTooth(), 4); // the pocket item is not entered on missing teeth
    EXPECT_EQ(screen->cursorSite(), 0);
    key(Qt::Key_Left);
    EXPECT_EQ(screen->cursorTooth(), 2);
    EXPECT_EQ(screen->cursorSite(), 2);

    // Mobility is entered on implants: after the toggle the cursor moves on, but the
    // tooth stays on the way.
    screen->setCurrentRow(1);
    clickSite(1, 5, 0);
    t.boxes->answer(MsgResult::Yes);
    screen->CmdImplant->click();
    EXPECT_EQ(screen->cursorTooth(), 6);
    for (int back : {5, 4, 2}) { // tooth 3 is missing
        key(Qt::Key_Left);
        EXPECT_EQ(screen->cursorTooth(), back);
    }
}

TEST_F(EntryScreenTest, BleedingBulkModeTogglesMarksAndEnterEndsIt) {
    pickPatient(5);
    keys({Qt::Key_4, Qt::Key_5});
    screen->CmdBloodMode->click();
    EXPECT_TRUE(screen->bloodMode());
    EXPECT_EQ(screen->CmdBloodMode->text(), QStringLiteral(" 一括 選択中"));
    ToothButton* c = screen->cell(0, 0);
    clickSite(0, 0, 1);
    EXPECT_EQ(c->value(1, 1), 1);
    clickSite(0, 0, 0);
    clickSite(0, 0, 0);
    EXPECT_EQ(c->value(0, 1), -1); // toggled twice
    clickSite(0, 0, 4);
    EXPECT_EQ(c->value(4, 1), -1); // no depth there: no mark, the cursor moves
    EXPECT_EQ(screen->cursorSite(), 4);

    screen->CmdHainouMode->click(); // one bulk mode at a time
    EXPECT_FALSE(screen->bloodMode());
    EXPECT_EQ(screen->CmdBloodMode->text(), QStringLiteral(" 出血　一括"));
    EXPECT_EQ(screen->CmdHainouMode->text(), QStringLiteral(" 一括 選択中"));
    screen->CmdBloodMode->click();
    key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(screen->bloodMode());
    EXPECT_FALSE(screen->pusMode());
    EXPECT_EQ(screen->CmdBloodMode->text(), QStringLiteral(" 出血　一括"));
    EXPECT_EQ(screen->CmdHainouMode->text(), QStringLiteral(" 排膿　一括"));
}

TEST_F(EntryScreenTest, PostSaveCheckCountsTheEmptyPositionsOfAHalfEnteredExamination) {
    pickPatient(5);
    for (int i = 0; i < 12; ++i)
        typeValue(4); // teeth 0 and 1, 4 mm everywhere
    screen->setCurrentRow(1);
    keys({Qt::Key_1, Qt::Key_0});
    screen->setCurrentRow(3);
    screen->CmdVal[0]->click(); // "あり" on the first pass of the first plaque tooth
    t.boxes->answer(MsgResult::Yes);
    screen->CmdMT->click(); // the second plaque tooth (tooth 1) is missing
    setDate("2024", "8", "14", 1);
    t.boxes->clear();
    ASSERT_TRUE(screen->save());
    ASSERT_EQ(boxTitles(), (QStringList{QStringLiteral("チェック"), QStringLiteral("正常終了")}));
    // PPD: 31 remaining teeth x 6 less the 9 depths on them (tooth 1's three do not count);
    // mobility 31 - 1; furcation 38 sites less the missing molar's 3; PCR: 30 untouched
    // teeth x 4 + the 2 open surfaces of tooth 0.
    const QString expected = QStringLiteral("■以下の検査で未検査があります。\r\n"
                                            "ＰＰＤ：177ヶ所\r\n"
                                            "動揺度：30ヶ所\r\n"
                                            "根分岐部病変：35ヶ所\r\n"
                                            "ＰＣＲ：122ヶ所\r\n"
                                            "\r\n■初診時の症例は以下の通りです。\r\n"
                                            "歯周ポケット４mm以上の部位が 100.0％\r\n"
                                            "６mm以上の歯周ポケットが 0ヶ所\r\n");
    EXPECT_EQ(t.boxes->shown[0].text, expected);
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    EXPECT_FALSE(screen->unsaved());
    EXPECT_EQ(screen->CmbEntry->currentText(), QStringLiteral("2024/08/14  初診時"));
}

TEST_F(EntryScreenTest, AWholeExaminationTypedOnTheKeypadIsStoredCellByCell) {
    showActive();
    // Patient number typed into the list; Enter moves on like Tab and picks it.
    screen->CmbOutNo->setFocus();
    QTest::keyClicks(screen->CmbOutNo, "7");
    QTest::keyClick(screen->CmbOutNo, Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return screen->currentPatient() == 7; }));
    screen->TxtY->setFocus();
    QTest::keyClicks(screen->TxtY, "2024");
    QTest::keyClick(screen->TxtY, Qt::Key_Return);
    QTest::keyClicks(QApplication::focusWidget(), "07");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClicks(QApplication::focusWidget(), "1");
    EXPECT_EQ(screen->TxtD->text(), "1");
    // Enter after the day goes to the stage list, Enter there into the grid.
    QTest::keyClick(screen->TxtD, Qt::Key_Return);
    ASSERT_EQ(QApplication::focusWidget(), screen->CmbStage);
    QTest::keyClick(screen->CmbStage, Qt::Key_Down);
    ASSERT_EQ(screen->CmbStage->currentData().toInt(), 1);
    QTest::keyClick(screen->CmbStage, Qt::Key_Return);
    ASSERT_NE(QApplication::focusWidget(), screen->CmbStage);

    auto send = [&](int k, Qt::KeyboardModifiers m = Qt::KeypadModifier) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : screen.get(), Qt::Key(k),
                        m);
    };
    std::array<std::array<std::uint8_t, kCells>, kExamSlots> expected;
    for (auto& e : expected)
        e.fill(kNoValue);
    for (int t = 0; t < 32; ++t)
        expected[3][t + 48] = 15; // plaque: no surface examined yet

    // Pocket depths 1-12 round the mouth, bleeding on every fifth site, pus on every
    // eleventh; then Enter goes on to the next item.
    int i = 0;
    for (; screen->currentRow() == 0; ++i) {
        const int tooth = screen->cursorTooth(), site = screen->cursorSite(), v = 1 + i % 12;
        if (v >= 10) send(Qt::Key_Slash);
        send(Qt::Key_0 + v % 10);
        expected[0][tooth * 6 + site] = std::uint8_t(v);
        if (i % 5 == 0) {
            send(Qt::Key_Plus);
            expected[kBleedingSlot][screen->cursorTooth() * 6 + screen->cursorSite()] = 1;
        }
        if (i % 11 == 0) {
            send(Qt::Key_Asterisk);
            send(Qt::Key_Plus);
            expected[kPusSlot][screen->cursorTooth() * 6 + screen->cursorSite()] = 1;
        }
        if (i == 191) send(Qt::Key_Enter);
        ASSERT_LT(i, 200);
    }
    // The last depth's marks went to the last site (the cursor stays there).
    EXPECT_EQ(i, 192);
    // Mobility 0-3 on every tooth, furcation 0-3 on its 38 sites, Enter after the last.
    for (int row : {1, 2}) {
        for (i = 0; i < (row == 1 ? 32 : 38); ++i) {
            ASSERT_EQ(screen->currentRow(), row) << i;
            const int cell =
                row == 1 ? screen->cursorTooth() : screen->cursorTooth() * 6 + screen->cursorSite();
            expected[row][cell] = std::uint8_t(i % 4);
            send(Qt::Key_0 + i % 4);
        }
        send(Qt::Key_Enter);
    }
    // Plaque with its buttons: "あり" on every third pass (bits 1|2 first pass, 4|8
    // second), else "なし"; an examined pass clears its bits in the second cell.
    for (i = 0; i < 64; ++i) {
        const int tooth = screen->cursorTooth(), bits = screen->cursorSite() == 0 ? 3 : 12;
        std::uint8_t& plaque = expected[3][tooth];
        plaque = std::uint8_t((plaque == kNoValue ? 0 : plaque) | (i % 3 == 0 ? bits : 0));
        expected[3][tooth + 48] &= std::uint8_t(~bits);
        screen->CmdVal[i % 3 == 0 ? 0 : 1]->click();
    }
    EXPECT_EQ(sounds().count("phone1.wav"), 0);
    t.boxes->clear();
    send(Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(boxTitles(), QStringList{QStringLiteral("正常終了")})
        << t.boxes->shown.value(0).text.toStdString();

    auto conn = direct();
    db::Recordset rs(conn, "SELECT * FROM TExamData WHERE PatientID=7 ORDER BY \"Row\"");
    QList<int> rows;
    for (; !rs.eof(); rs.moveNext()) {
        CExamData d;
        d.RecSetGet(rs);
        rows << d.Row;
        EXPECT_EQ(d.ExamDate.date(), QDate(2024, 7, 1));
        EXPECT_EQ(d.CommentID, 1);
        for (int c = 0; c < kCells; ++c)
            ASSERT_EQ(d.bData(c), expected[d.Row][c]) << "row " << d.Row << " cell " << c;
        for (int t = 0; t < 32; ++t)
            EXPECT_EQ(d.nBui(t), 0);
    }
    EXPECT_EQ(rows, (QList<int>{0, 1, 2, 3, 9, 10}));
}
