// The entry screen on a copy of the template database: keys and what they refuse, the
// Tab path, status toggles and the cursor, the bleeding bulk mode, saving and the
// post-save check, and a whole examination typed on the keyboard and read back.
#include <functional>
#include "entry_screen_fixture.h"

#include <QPushButton>

using namespace kvr;
using test::EntryScreenTest;

TEST_F(EntryScreenTest, KeysEnterDepthsAndMarksAndEachRowRefusesForeignKeys) {
    EXPECT_EQ(screen->windowTitle(), QStringLiteral("歯周検査ソフト　KVR-Chart-DB Ver.1 "
                                                    "(ヴェルダ学会 専門医・認定医・認定歯科衛生士用)"));
    int toolsTab = 99;
    screen->showTools = [&toolsTab](QWidget*, int tab) { toolsTab = tab; };
    screen->CmdImport->click();
    EXPECT_EQ(toolsTab, -1); // the tools screen on its default tab

    pickPatient(5);
    keys({Qt::Key_Slash, Qt::Key_2});
    ToothButton* c = screen->cell(0, 0);
    EXPECT_EQ(c->value(0, 0), 12);
    EXPECT_EQ(sounds(), QStringList{"12.wav"});
    EXPECT_TRUE(screen->unsaved());
    EXPECT_EQ(screen->cursorSite(), 1);
    // Marks go to the cursor site and leave the cursor there.
    keys({Qt::Key_Asterisk, Qt::Key_Plus, Qt::Key_Plus});
    EXPECT_EQ(std::pair(c->value(1, 1), c->value(1, 2)), std::pair(1, 1));
    keys({Qt::Key_Asterisk, Qt::Key_Minus});
    EXPECT_EQ(std::pair(c->value(1, 1), c->value(1, 2)), std::pair(1, -1));
    key(Qt::Key_Minus);
    EXPECT_EQ(c->value(1, 1), -1);
    EXPECT_EQ(screen->cursorSite(), 1);
    sounds();

    // Mobility refuses 4 with the error sound; plaque takes no keys at all.
    screen->setCurrentRow(1);
    EXPECT_EQ(screen->LblNowExam->text(), QStringLiteral("動揺度"));
    const int tooth = screen->cursorTooth();
    key(Qt::Key_4, Qt::KeypadModifier);
    key(Qt::Key_3, Qt::KeypadModifier);
    EXPECT_EQ(sounds(), (QStringList{"phone1.wav", "3.wav"}));
    EXPECT_EQ(screen->cell(1, tooth)->value(0, 0), 3);
    screen->setCurrentRow(3);
    for (int k : {Qt::Key_1, Qt::Key_0, Qt::Key_Period})
        key(k, Qt::KeypadModifier);
    EXPECT_EQ(sounds(), QStringList(3, "phone1.wav"));
    for (int t = 0; t < 32; ++t)
        EXPECT_FALSE(screen->cell(3, t)->hasPlaqueInput());
}

// After each kind of earlier action, a number typed into the patient list with real keys and
// left with Tab is checked: not in the list, the box appears and the focus stays.
TEST_F(EntryScreenTest, TypedNumberLeftWithTabIsCheckedAfterEarlierActions) {
    struct Case {
        const char* name;
        std::function<void()> action;
    };
    const Case cases[] = {
        {"none", [] {}},
        {"save", [&] { screen->CmdSave->click(); }},
        {"next stage", [&] { screen->CmdNextStage->click(); }},
        {"previous stage", [&] { screen->CmdPrevStage->click(); }},
        {"stage list", [&] { screen->CmbStage->setCurrentIndex(1); }},
        {"delete examination", [&] { screen->CmdDelExamData->click(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        showActive();
        pickPatient(5);
        c.action();
        screen->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
        QTest::mouseClick(screen->CmbOutNo->lineEdit(), Qt::LeftButton);
        QApplication::processEvents();
        for (auto [k, m] : {std::pair{Qt::Key_A, Qt::ControlModifier}, std::pair{Qt::Key_3, Qt::NoModifier},
                            std::pair{Qt::Key_1, Qt::NoModifier}}) {
            ASSERT_NE(QApplication::focusWidget(), nullptr);
            QTest::keyClick(QApplication::focusWidget(), k, m);
        }
        EXPECT_EQ(screen->CmbOutNo->currentText(), "31");
        t.boxes->clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QApplication::processEvents();
        QApplication::processEvents();
        ASSERT_EQ(t.boxes->shown.size(), 1);
        EXPECT_EQ(t.boxes->shown[0].text, "患者番号が範囲外です。再入力してください。");
        EXPECT_TRUE(hasFocusIn(screen->CmbOutNo));
        screen->CmbOutNo->setEditText(PatientListText(5));
    }
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
    screen->CmbStage->setFocus();
    QTest::keyClick(screen->CmbStage, Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_4); // in the grid keys enter values
    EXPECT_EQ(screen->cell(0, 0)->value(0, 0), 4);
}

TEST_F(EntryScreenTest, SavingReloadsTheSavedExaminationWithTheCursorAtItsStart) {
    pickPatient(5);
    for (int v : {4, 5, 6, 4})
        typeValue(v);
    auto depths = [&] {
        QList<int> l;
        for (int s = 0; s < 6; ++s)
            l << screen->cell(0, 0)->value(s, 0);
        return l;
    };
    const QList<int> typed = depths();
    setDate("２０２４", "8", "14", 1);
    t.boxes->clear();
    ASSERT_TRUE(screen->save());
    EXPECT_EQ((std::pair{screen->cursorTooth(), screen->cursorSite()}), (std::pair{0, 0}));
    EXPECT_FALSE(screen->isNewExam());
    EXPECT_EQ(QStringList({screen->TxtY->text(), screen->TxtM->text(), screen->TxtD->text()}),
              QStringList({"2024", "08", "14"}));
    EXPECT_EQ(depths(), typed); // the grid holds what was stored
    EXPECT_NE(typed, QList<int>(6, -1));
    EXPECT_EQ(ExamSlots()[0].ID, scalar("SELECT ID FROM TExamData WHERE PatientID=5 AND \"Row\"=0").toInt());
}

TEST_F(EntryScreenTest, StatusButtonsKeepTheDeciduousFlagAndTheCursorSkipsRefusedTeeth) {
    pickPatient(99); // tooth 25 (index 12) is a retained deciduous molar
    ASSERT_EQ(screen->toothStatus()[12], kDeciduous);
    screen->setCurrentRow(1);
    clickSite(1, 12, 0);
    reply({MsgResult::Yes});
    screen->CmdImplant->click();
    expectOneBox(QStringLiteral("インプラントにしますか。"), QStringLiteral("確認"), MsgIcon::Exclamation);
    EXPECT_EQ(screen->toothStatus()[12], kDeciduous | kImplant);
    EXPECT_EQ(sounds().value(0), "click1.wav");
    EXPECT_EQ(screen->cursorTooth(), 13); // mobility goes on implants: the cursor just moves on
    clickSite(1, 12, 0);
    reply({MsgResult::Yes});
    screen->CmdMT->click();
    EXPECT_EQ(t.boxes->shown.last().text, QStringLiteral("ＭＴ（欠損）にしますか。"));
    for (int s = 0; s < kExamSlots; ++s)
        EXPECT_EQ(ExamSlots()[s].nBui(12), kDeciduous | kMissingTooth) << s;
    EXPECT_TRUE(screen->unsaved());
    reply({MsgResult::Yes});
    QTest::mouseClick(screen->LblTh[12], Qt::LeftButton);
    EXPECT_EQ(t.boxes->shown.last().text, QStringLiteral("ＭＴ（欠損）を解除しますか。"));
    EXPECT_EQ(screen->toothStatus()[12], kDeciduous);
    EXPECT_EQ(screen->LblTh[12]->text(), QStringLiteral("E"));

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
    keys({Qt::Key_4, Qt::Key_5});
    screen->CmdBloodMode->click();
    EXPECT_EQ(screen->CmdBloodMode->text(), QStringLiteral(" 一括 選択中"));
    ToothButton* c = screen->cell(0, 0);
    clickSite(0, 0, 1);
    clickSite(0, 0, 0);
    clickSite(0, 0, 0);
    clickSite(0, 0, 4); // no depth there: no mark, the cursor moves
    EXPECT_EQ(QList({c->value(0, 1), c->value(1, 1), c->value(4, 1)}), QList({-1, 1, -1}));
    EXPECT_EQ(screen->cursorSite(), 4);

    screen->CmdHainouMode->click(); // one bulk mode at a time
    EXPECT_FALSE(screen->bloodMode());
    EXPECT_EQ(screen->CmdBloodMode->text(), QStringLiteral(" 出血　一括"));
    EXPECT_EQ(screen->CmdHainouMode->text(), QStringLiteral(" 一括 選択中"));
    key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(screen->pusMode());
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
    ASSERT_EQ(screen->cursorTooth(), 2);
    screen->CmdPontic->click(); // and the third (tooth 2, a molar) is a pontic
    setDate("2024", "8", "14", 1);
    t.boxes->clear();
    ASSERT_TRUE(screen->save());
    ASSERT_EQ(boxTitles(), (QStringList{QStringLiteral("チェック"), QStringLiteral("正常終了")}));
    // The 12 depths went on the buccal sites of teeth 0-3. PPD: 30 remaining teeth x 6 less
    // the 6 depths on teeth 0 and 3 (neither the missing tooth's nor the pontic's count);
    // mobility 32 less the missing tooth and the pontic; furcation 38 sites less the two
    // molars' 3 each; PCR: 29 untouched teeth x 4 + the 2 open surfaces of tooth 0.
    EXPECT_EQ(t.boxes->shown[0].text, QStringLiteral("■以下の検査で未検査があります。\r\n"
                                                     "ＰＰＤ：174ヶ所\r\n"
                                                     "動揺度：29ヶ所\r\n"
                                                     "根分岐部病変：32ヶ所\r\n"
                                                     "ＰＣＲ：118ヶ所\r\n"
                                                     "\r\n■初診時の症例は以下の通りです。\r\n"
                                                     "歯周ポケット４mm以上の部位が 100.0％\r\n"
                                                     "６mm以上の歯周ポケットが 0ヶ所\r\n"));
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    EXPECT_FALSE(screen->unsaved());
    EXPECT_EQ(screen->CmbEntry->currentText(), QStringLiteral("2024/08/14  初診時"));
}

TEST_F(EntryScreenTest, AWholeExaminationTypedOnTheKeypadIsStoredCellByCell) {
    showActive();
    // Enter walks the boxes like Tab: patient, year, month, day, stage, into the grid.
    screen->CmbOutNo->setFocus();
    QTest::keyClicks(screen->CmbOutNo, "7");
    QTest::keyClick(screen->CmbOutNo, Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return screen->currentPatient() == 7; }));
    screen->TxtY->setFocus();
    for (const char* text : {"2024", "07", "1"}) {
        QTest::keyClicks(QApplication::focusWidget(), text);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }
    ASSERT_EQ(QApplication::focusWidget(), screen->CmbStage);
    QTest::keyClick(screen->CmbStage, Qt::Key_Down);
    QTest::keyClick(screen->CmbStage, Qt::Key_Return);
    ASSERT_NE(QApplication::focusWidget(), screen->CmbStage);

    auto send = [&](int k, Qt::KeyboardModifiers m = Qt::KeypadModifier) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(k), m);
    };
    std::array<std::array<std::uint8_t, kCells>, kExamSlots> expected;
    for (auto& e : expected)
        e.fill(kNoValue);
    std::fill_n(expected[3].begin() + 48, 32, 15); // plaque: no surface examined yet
    auto here = [&] { return screen->cursorTooth() * 6 + screen->cursorSite(); };

    // Depths 1-12 round the mouth, bleeding on every fifth site, pus on every eleventh;
    // Enter after the last goes on to the next item.
    int i = 0;
    for (; screen->currentRow() == 0 && i < 200; ++i) {
        const int v = 1 + i % 12;
        expected[0][here()] = std::uint8_t(v);
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
    // Mobility 0-3 on every tooth, furcation 0-3 on its 38 sites, Enter after the last.
    for (int row : {1, 2}) {
        for (i = 0; i < (row == 1 ? 32 : 38); ++i) {
            ASSERT_EQ(screen->currentRow(), row) << i;
            expected[row][row == 1 ? screen->cursorTooth() : here()] = std::uint8_t(i % 4);
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

    QList<int> rows;
    for (db::Recordset rs(direct(), "SELECT * FROM TExamData WHERE PatientID=7 ORDER BY \"Row\""); !rs.eof();
         rs.moveNext()) {
        CExamData d;
        d.RecSetGet(rs);
        rows << d.Row;
        EXPECT_EQ(d.ExamDate.date(), QDate(2024, 7, 1));
        EXPECT_EQ(d.CommentID, 1);
        for (int c = 0; c < kCells; ++c)
            ASSERT_EQ(d.bData(c), expected[d.Row][c]) << "row " << d.Row << " cell " << c;
    }
    EXPECT_EQ(rows, (QList<int>{0, 1, 2, 3, 9, 10}));
}
