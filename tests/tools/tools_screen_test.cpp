// The tools screen and its additional-information tab on a copy of the template database
// with the shipped master list: the window's tabs and start, the lists, the checks of
// the input, saving and closing, and one patient filled in with the keyboard alone.
#include "data/CMaster.h"
#include "data/DataObjects.h"
#include "data/CClinicCode.h"
#include "data/member_db_fixture.h"
#include "tools/AdditionalInfoTab.h"
#include "tools/PFrmImport.h"
#include "tools/ToothFlagRow.h"
#include "tools/VersionUp.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace kvr;

namespace {

class ToolsScreenTest : public test::MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        ResetPatientAdd();
        ASSERT_TRUE(QFile::copy(test::builtAppFolder() + "/TMaster.txt", appFolder() + "/TMaster.txt"));
        ASSERT_EQ(TheMaster().CheckTable(), 0);
        OpenMemberDbHold(); // as the entry screen does
    }
    void TearDown() override {
        w.reset();
        MemberDbTest::TearDown();
    }
    PFrmImport& open(int patient = 1, int startTab = -1, bool editable = true) {
        w = std::make_unique<PFrmImport>(PFrmImport::Settings{patient, startTab, editable});
        return *w;
    }
    AdditionalInfoTab& tab() { return *w->info(); }
    // Chooses the list entry with the given code as the user does.
    static void choose(QComboBox* box, int code) {
        box->setCurrentIndex(box->findData(code));
        emit box->activated(box->currentIndex());
    }
    // Answers every required item, without contradictions.
    void answerRequired() {
        AdditionalInfoTab& a = tab();
        a.TxtBirthDay->setText("198004");
        choose(a.CmbSex, 0);
        a.ChkChiefComplaint[2]->setChecked(true);
        choose(a.CmbSmokingHistory, 0);
        choose(a.CmbMedicalHistory, 0);
        choose(a.CmbIngestion, 0);
        a.TxtMissingToothNum->setText("0");
        choose(a.CmbKvrDiagnosis, 2);
        choose(a.CmbPerioSurgeryTreatment, 0);
    }
    QString stored(const QString& column, int id = 1) {
        return scalar("SELECT " + column + " FROM TPatientAdd WHERE ID=?", {id}).toString();
    }
    QStringList boxTexts() const {
        QStringList out;
        for (const MsgBoxRequest& b : t.boxes->shown)
            out << b.title + ": " + b.text;
        return out;
    }

    std::unique_ptr<PFrmImport> w;
};

// ------------------------------------------------------------------ the window

TEST_F(ToolsScreenTest, TabsStartAndSaveButtonFollowThePatientAndTheStartTab) {
    PFrmImport& f = open();
    const QStringList captions = {"追加情報",        "提出用ファイル作成", " 旧版KVR-Chartインポート",
                                  "データの管理",    " Talmo インポート",  "操作マニュアル他",
                                  "バージョンアップ"};
    ASSERT_EQ(f.SSTabTool->count(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(f.SSTabTool->tabText(i), captions[i]);
        EXPECT_EQ(f.SSTabTool->isTabVisible(i), i != PFrmImport::TabSibling) << i;
    }
    EXPECT_EQ(f.CmdEnd->text(), "入力画面に戻る");

    struct Case {
        int patient, startTab, current;
        bool infoVisible;
    };
    for (const Case& c :
         {Case{1, -1, 0, true}, Case{5, 2, 2, true}, Case{0, -1, 1, false}, Case{0, 3, 3, false}}) {
        t.boxes->shown.clear();
        PFrmImport& g = open(c.patient, c.startTab);
        g.show();
        EXPECT_EQ(g.SSTabTool->currentIndex(), c.current) << c.patient << "/" << c.startTab;
        EXPECT_EQ(g.SSTabTool->isTabVisible(0), c.infoVisible);
        EXPECT_EQ(g.CmdSave->isVisible(), c.current == 0);
        EXPECT_EQ(t.boxes->shown.size(), c.infoVisible ? 0 : 1);
        if (!c.infoVisible) {
            EXPECT_EQ(boxTexts()[0], "確認: 患者番号が指定されていないため追加情報は表示されません。");
        }
        g.SSTabTool->setCurrentIndex(0 + (c.infoVisible ? 0 : 5));
        EXPECT_EQ(g.CmdSave->isVisible(), c.infoVisible);
        // Without a patient the other tabs close the window without questions.
        EXPECT_TRUE(g.requestClose());
    }
}

TEST_F(ToolsScreenTest, ListsCarryTheMasterCodesAndCheckBoxCaptionsComeFromTheTable) {
    direct()->execute("UPDATE TMaster SET SGName='4 出血（歯肉から）' WHERE IDLG=2 AND IDSG=4");
    open();
    AdditionalInfoTab& a = tab();
    QList<int> codes;
    for (int i = 0; i < a.CmbSex->count(); ++i)
        codes << a.CmbSex->itemData(i).toInt();
    EXPECT_EQ(codes, (QList<int>{0, 1, 99}));
    EXPECT_EQ(a.CmbSex->itemText(1), "女性");
    // Group 13 fills both lower-jaw lists.
    EXPECT_EQ(a.CmbLowerPositionalRelationR->count(), a.CmbLowerPositionalRelationL->count());
    EXPECT_EQ(a.ChkChiefComplaint[3]->text(), "4 出血（歯肉から）");
    EXPECT_EQ(a.ChkDiseaseName[21]->text(), "22 その他");
}

// ------------------------------------------------------------------ input

TEST_F(ToolsScreenTest, BirthMonthIsCheckedOnLeavingAndStoredAsTheFirstOfTheMonth) {
    open().show();
    AdditionalInfoTab& a = tab();
    QApplication::setActiveWindow(w.get());
    a.TxtBirthDay->setFocus();
    a.TxtBirthDay->setText("202213");
    a.TxtHeight->setFocus();
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(boxTexts()[0], "再入力: 入力が間違っています。西暦年４桁月２桁(YYYYMM)を再入力してください。");
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    EXPECT_TRUE(a.TxtBirthDay->hasFocus());
    EXPECT_EQ(a.validationLines().value(0), "生年月が間違っています。西暦年４桁月２桁を再入力してください。");

    t.boxes->shown.clear();
    a.TxtBirthDay->setText(" ２０２２１０ ");
    a.TxtHeight->setFocus();
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(a.TxtBirthDay->text(), "202210");
    // A numeric box refuses letters and keeps the focus.
    a.TxtHeight->setText("ａｂｃ");
    a.TxtWeight->setFocus();
    EXPECT_EQ(boxTexts().value(0), "再入力: 入力が間違っています。数値を再入力してください。");
    EXPECT_TRUE(a.TxtHeight->hasFocus());
    a.TxtHeight->setText("１７０");
    a.TxtWeight->setFocus();
    EXPECT_EQ(a.TxtHeight->text(), "170");

    answerRequired();
    a.TxtBirthDay->setText("２０２２１０");
    t.boxes->shown.clear();
    ASSERT_EQ(a.SaveAdditionalInfo(), 0);
    EXPECT_EQ(boxTexts(), QStringList{"保存: 患者追加情報は保存されました。"});
    EXPECT_EQ(stored("BirthDay"), "2022/10/01");
    EXPECT_EQ(stored("Height"), "170");
}

TEST_F(ToolsScreenTest, ValidationListsEachMissingAnswerAndTheContradictions) {
    open();
    EXPECT_EQ(tab().validationLines(),
              (QStringList{"生年月が入されていません。西暦年４桁月２桁を入力してください。",
                           "性別が選択されていません。", "主訴が選択されていません。",
                           "喫煙歴が選択されていません。", "既往歴が選択されていません。",
                           "喪失歯数（智歯を除く) が入力されていません。", "診断が選択されていません。",
                           "歯周外科治療が選択されていません。"}));

    const QString history = "既往歴の回答と病名チェックに矛盾があります。";
    const QString medicine = "服薬の回答と薬名チェックに矛盾があります。";
    struct Case {
        const char* what;
        std::function<void(AdditionalInfoTab&)> change;
        QStringList lines;
    };
    const QList<Case> cases = {
        {"all answered", [](AdditionalInfoTab&) {}, {}},
        {"history yes, no disease", [&](AdditionalInfoTab& a) { choose(a.CmbMedicalHistory, 1); }, {history}},
        {"history yes, one disease",
         [&](AdditionalInfoTab& a) {
             choose(a.CmbMedicalHistory, 1);
             a.ChkDiseaseName[4]->setChecked(true);
         },
         {}},
        {"history none chosen, one disease",
         [&](AdditionalInfoTab& a) {
             a.ChkDiseaseName[4]->click(); // selects "あり" by itself
             a.CmbMedicalHistory->setCurrentIndex(-1);
             a.ChkDiseaseName[4]->setEnabled(true);
             a.ChkDiseaseName[4]->setChecked(true);
         },
         {"既往歴が選択されていません。", history}},
        {"medication yes, no medicine", [&](AdditionalInfoTab& a) { choose(a.CmbIngestion, 1); }, {medicine}},
        {"diagnosis first entry, four lists open",
         [&](AdditionalInfoTab& a) { choose(a.CmbKvrDiagnosis, 1); },
         {"KVR診断名 限局/広汎が選択されていません。", "KVR診断名 慢性/侵襲が選択されていません。",
          "新分類診断名 ステージが選択されていません。", "新分類診断名 グレードが選択されていません。"}},
        {"missing teeth not a number",
         [&](AdditionalInfoTab& a) { a.TxtMissingToothNum->setText("x"); },
         {"喪失歯数（智歯を除く) が入力されていません。"}},
    };
    for (const Case& c : cases) {
        open();
        answerRequired();
        c.change(tab());
        EXPECT_EQ(tab().validationLines(), c.lines) << c.what;
    }
}

TEST_F(ToolsScreenTest, DependentInputsOpenAndCloseWithTheirLists) {
    open();
    AdditionalInfoTab& a = tab();
    // A new record: everything that depends on an answer starts closed.
    for (QWidget* dependent : QList<QWidget*>{a.TxtPackDay, a.ChkDiseaseName[0], a.ChkIngestion[0], a.LblPC, a.LblAT,
                                               a.CmbKvrDiagnosisLW})
        EXPECT_FALSE(dependent->isEnabled()) << dependent->objectName().toStdString();

    choose(a.CmbSmokingHistory, 2);
    a.TxtPackDay->setText("10");
    choose(a.CmbSmokingHistory, 0);
    EXPECT_EQ(a.TxtPackDay->text(), "");
    EXPECT_FALSE(a.TxtPackDay->isEnabled());

    choose(a.CmbMedicalHistory, 1);
    a.ChkDiseaseName[2]->setChecked(true);
    choose(a.CmbMedicalHistory, 0);
    EXPECT_FALSE(a.ChkDiseaseName[2]->isChecked());
    // "未選択" leaves the list without a selection; the boxes stay closed (no answer).
    choose(a.CmbMedicalHistory, 99);
    EXPECT_EQ(a.CmbMedicalHistory->currentIndex(), -1);
    EXPECT_FALSE(a.ChkDiseaseName[2]->isEnabled());

    choose(a.CmbOcclusalTrauma, 1);
    QTest::mouseClick(a.LblPC->cell(5), Qt::LeftButton);
    EXPECT_EQ(a.LblPC->cell(5)->palette().color(QPalette::Window), QColor(0xC0, 0xFF, 0xC0));
    EXPECT_EQ(a.LblPC->flags(), "00000100000000000000000000000000");
    QTest::mouseClick(a.LblPC->cell(31), Qt::LeftButton);
    choose(a.CmbOcclusalTrauma, 0);
    EXPECT_EQ(a.LblPC->flags(), QString(32, '0'));
    EXPECT_FALSE(a.LblPC->isEnabled());

    choose(a.CmbPerioSurgeryTreatment, 1);
    EXPECT_TRUE(a.LblPPS->isEnabled());
    choose(a.CmbKvrDiagnosis, 1);
    choose(a.CmbKvrDiagnosisLW, 2);
    EXPECT_TRUE(a.LblKvrDiagnosisLW->isVisibleTo(w.get()));
    choose(a.CmbKvrDiagnosis, 2);
    EXPECT_EQ(a.CmbKvrDiagnosisLW->currentIndex(), -1);
    EXPECT_FALSE(a.CmbKvrDiagnosisLW->isEnabled());
    EXPECT_FALSE(a.LblKvrDiagnosisLW->isVisibleTo(w.get()));
}

// ------------------------------------------------------------------ saving and closing

TEST_F(ToolsScreenTest, UnselectedAndEmptyAnswersAreStoredAsNotAnswered) {
    open();
    AdditionalInfoTab& a = tab();
    answerRequired();
    choose(a.CmbTeethRow, 2);
    choose(a.CmbTeethRow, 99);
    a.TxtMissingToothNum->clear();
    t.boxes->answer(MsgResult::Yes);
    ASSERT_EQ(a.SaveAdditionalInfo(), 0);
    EXPECT_EQ(boxTexts(), (QStringList{"保存確認: 喪失歯数（智歯を除く) が入力されていません。\r\n\r\nこのまま保存しますか。",
                                       "入力エラー: 提出用ファイル作成までに正しく入力してください。",
                                       "保存: 患者追加情報は保存されました。"}));
    EXPECT_EQ(stored("TeethRow||'|'||MissingToothNum||'|'||Sex||'|'||KvrDiagnosis||'|'||KvrDiagnosisLW"),
              "-9|-9|0|2|-9");
    EXPECT_EQ(stored("ChiefComplaint2||DiseaseName"), "0010000000" + QString(22, '0'));

    // No on the question saves nothing.
    t.boxes->shown.clear();
    choose(a.CmbTeethRow, 1);
    t.boxes->answer(MsgResult::No);
    EXPECT_NE(a.SaveAdditionalInfo(), 0);
    EXPECT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(stored("TeethRow"), "-9");
}

TEST_F(ToolsScreenTest, ClosingAsksAboutChangesAndASaveErrorKeepsTheWindowAndTheInput) {
    open();
    EXPECT_TRUE(w->requestClose()); // nothing changed: no question
    EXPECT_TRUE(t.boxes->shown.isEmpty());

    open();
    answerRequired();
    t.boxes->answer(MsgResult::No);
    EXPECT_TRUE(w->requestClose());
    EXPECT_EQ(boxTexts(), QStringList{"保存確認: 追加情報が変更されています。保存しますか？"});
    EXPECT_EQ(scalar("SELECT count(*) FROM TPatientAdd").toInt(), 0);

    open();
    answerRequired();
    tab().TxtHeight->setText("171");
    direct()->execute("ALTER TABLE TPatientAdd RENAME TO TPatientAddAway");
    t.boxes->shown.clear();
    t.boxes->answer(MsgResult::Yes);
    EXPECT_FALSE(w->requestClose());
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_EQ(t.boxes->shown[1].title, "エラー");
    EXPECT_TRUE(
        t.boxes->shown[1].text.startsWith("患者追加情報の保存でエラーが発生しました。\r\n\r\n[Error:"));
    EXPECT_EQ(tab().TxtHeight->text(), "171");
    EXPECT_TRUE(tab().CollectAdditionalInfo(false)); // the change is still there to save

    direct()->execute("ALTER TABLE TPatientAddAway RENAME TO TPatientAdd");
    t.boxes->shown.clear();
    t.boxes->answer(MsgResult::Yes);
    EXPECT_TRUE(w->requestClose());
    EXPECT_EQ(stored("Height"), "171");
}

TEST_F(ToolsScreenTest, NotEditableShowsTheRecordWithEveryInputClosed) {
    direct()->execute(
        "INSERT INTO TPatientAdd (ID, BirthDay, Sex, ChiefComplaint2, MissingToothNum, OcclusalTrauma, "
        "PrematureContact) VALUES (1, '1975/03/01', 1, '0100000000', 4, 1, ?)",
        {QString("1") + QString(31, '0')});
    open(1, -1, false);
    AdditionalInfoTab& a = tab();
    EXPECT_EQ(a.TxtBirthDay->text(), "197503");
    EXPECT_EQ(AdditionalInfoTab::listCode(a.CmbSex), 1);
    EXPECT_TRUE(a.ChkChiefComplaint[1]->isChecked());
    EXPECT_EQ(a.TxtMissingToothNum->text(), "4");
    EXPECT_TRUE(a.LblPC->isSelected(0));
    for (QWidget* input : a.inputs())
        EXPECT_FALSE(input->isEnabled()) << input->objectName().toStdString();
    EXPECT_EQ(w->LblMes->text(), "初診時のみ入力可能");
    // Only the inputs close: saving and the question on closing stay as they are.
    EXPECT_TRUE(w->CmdSave->isEnabled());
}

TEST_F(ToolsScreenTest, NotEditableStillAsksAboutADifferenceAndSaves) {
    // A birth month written by other means, not in the stored form: shown as 197503, it
    // is collected as 1975/03/01 and so reads as a change.
    direct()->execute("INSERT INTO TPatientAdd (ID, BirthDay, Sex) VALUES (1, '1975/3/1', 1)");
    open(1, -1, false);
    EXPECT_TRUE(tab().CollectAdditionalInfo(false));
    t.boxes->answer(MsgResult::No);
    EXPECT_TRUE(w->requestClose());
    EXPECT_EQ(boxTexts(), QStringList{"保存確認: 追加情報が変更されています。保存しますか？"});

    open(1, -1, false);
    t.boxes->clear();
    t.boxes->answer(MsgResult::No);
    w->CmdSave->click();
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].title, "保存確認");
    EXPECT_TRUE(t.boxes->shown[0].text.startsWith("主訴が選択されていません。")) << t.boxes->shown[0].text.toStdString();
}

TEST_F(ToolsScreenTest, StoredBirthDayIsShownAsYearAndMonthWhenItIsAnyDate) {
    struct Case {
        const char* stored;
        const char* shown;
    };
    const Case cases[] = {{"1975/03/01", "197503"}, {"1975/3/1", "197503"}, {"1975-03-01", "197503"},
                          {"1975/13/01", "1975/13/01"}, {"", ""}};
    for (const Case& c : cases) {
        direct()->execute("DELETE FROM TPatientAdd");
        direct()->execute("INSERT INTO TPatientAdd (ID, BirthDay) VALUES (1, ?)", {QString(c.stored)});
        open();
        EXPECT_EQ(tab().TxtBirthDay->text(), c.shown) << c.stored;
    }
}

TEST_F(ToolsScreenTest, LegacySingleAnswersAreShownAsTicksAndSavedConverted) {
    direct()->execute("INSERT INTO TPatientAdd (ID, ChiefComplaint, ChiefComplaint2, MedicalHistory, DiseaseName, "
                      "Malocclusion, Malocclusion2) VALUES (1, 4, '', 1, '101', 2, '')");
    open();
    AdditionalInfoTab& a = tab();
    QString complaints, diseases, malocclusions;
    for (QCheckBox* b : a.ChkChiefComplaint)
        complaints += b->isChecked() ? '1' : '0';
    for (QCheckBox* b : a.ChkDiseaseName)
        diseases += b->isChecked() ? '1' : '0';
    for (QCheckBox* b : a.ChkMalocclusion)
        malocclusions += b->isChecked() ? '1' : '0';
    EXPECT_EQ(complaints, "0001000000");
    EXPECT_EQ(diseases, "101" + QString(19, '0'));
    EXPECT_EQ(malocclusions, "01000");
    // Saving (the check's question answered Yes) stores the converted layout.
    t.boxes->answer(MsgResult::Yes);
    ASSERT_EQ(a.SaveAdditionalInfo(), 0);
    EXPECT_EQ(stored("ChiefComplaint||'|'||ChiefComplaint2||'|'||DiseaseName||'|'||Malocclusion||'|'||Malocclusion2"),
              "0|0001000000|101" + QString(19, '0') + "|0|01000");
}

TEST_F(ToolsScreenTest, MemberNumberBoxesOfTheDataTabRefuseAndKeepTheFocus) {
    TheClinicCode().ClinicCode = "123456";
    PFrmImport& f = open(1, PFrmImport::TabData);
    f.show();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    auto* from = f.findChild<QLineEdit*>("TxtKNoFrom");
    auto* to = f.findChild<QLineEdit*>("TxtKNoTo");
    auto* change = f.findChild<QPushButton*>("CmdConvKNo");
    ASSERT_TRUE(from && to && change);
    EXPECT_EQ(from->text(), "123456");
    // The number shown is read again each time the tab is selected.
    TheClinicCode().ClinicCode = "234567";
    f.SSTabTool->setCurrentIndex(PFrmImport::TabSubmission);
    f.SSTabTool->setCurrentIndex(PFrmImport::TabData);
    EXPECT_EQ(from->text(), "234567");

    struct Case {
        QString typed, shown, box;
    };
    for (const Case& c : {Case{"　", "", "未入力: 会員番号が未入力です。入力してください。"},
                          Case{" １２３４５ ", "12345", "エラー: 会員番号を正しく入力してください。"},
                          Case{"12a456", "12a456", "エラー: 会員番号を正しく入力してください。"}}) {
        t.boxes->clear();
        to->setText(c.typed);
        change->setFocus();
        change->click();
        EXPECT_EQ(boxTexts(), QStringList{c.box}) << c.typed.toStdString();
        EXPECT_EQ(to->text(), c.shown);
        EXPECT_TRUE(to->hasFocus()) << c.typed.toStdString();
    }
    // Only the button starts the change: Enter in the box does not.
    t.boxes->clear();
    to->setText("12345");
    to->setFocus();
    QTest::keyClick(to, Qt::Key_Return);
    EXPECT_TRUE(t.boxes->shown.isEmpty());
}

TEST_F(ToolsScreenTest, VersionUpTabLoadsTheContactReplacesTheUpdaterAndClosingFromItWritesInfoTxt) {
    ASSERT_TRUE(SaveContactInfo({"みなみ歯科医院", "山田 花子", "hanako@example.jp"}));
    QFile::remove(InfoFilePath());
    {
        QFile replacement(UpdaterReplacementPath());
        ASSERT_TRUE(replacement.open(QIODevice::WriteOnly));
        replacement.write("new");
    }
    // Closing from another tab leaves the hand-over file alone.
    open(1, PFrmImport::TabData);
    EXPECT_TRUE(w->requestClose());
    EXPECT_FALSE(QFileInfo::exists(InfoFilePath()));
    EXPECT_TRUE(QFileInfo::exists(UpdaterReplacementPath()));

    PFrmImport& f = open(1, PFrmImport::TabVersionUp);
    auto* clinic = f.findChild<QLineEdit*>("TxtClinic");
    auto* person = f.findChild<QLineEdit*>("TxtTanto");
    auto* mail = f.findChild<QLineEdit*>("TxtMail");
    ASSERT_TRUE(clinic && person && mail);
    EXPECT_EQ(QStringList({clinic->text(), person->text(), mail->text()}),
              QStringList({"みなみ歯科医院", "山田 花子", "hanako@example.jp"}));
    EXPECT_FALSE(QFileInfo::exists(UpdaterReplacementPath()));
    QFile updater(UpdaterPath());
    ASSERT_TRUE(updater.open(QIODevice::ReadOnly));
    EXPECT_EQ(updater.readAll(), "new");
    // Empty boxes are written too.
    for (QLineEdit* box : {clinic, person, mail})
        box->clear();
    EXPECT_TRUE(w->requestClose());
    QFile info(InfoFilePath());
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(info.readAll()),
              "会員番号      ：" + app().MemberNo + "\n病院名        ：\n担当者名      ：\n担当者のE-mail：\n");
}

TEST_F(ToolsScreenTest, InputRulesOfTheInformationTab) {
    // A master with an "未選択" entry in a guidance list and a third medical-history answer.
    direct()->execute("INSERT INTO TMaster (IDLG, IDSG, SeqNo, SGName) VALUES (27, 99, 99, '未選択'), "
                      "(4, 2, 3, '不明')");
    direct()->execute("INSERT INTO TPatientAdd (ID, FirstExamDay, YobiIntA, YobiStrA, Sex) "
                      "VALUES (1, '2020/04/01', 7, 'spare', 1)");
    PFrmImport& f = open();
    f.show();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    AdditionalInfoTab& a = tab();
    EXPECT_EQ(a.LblID->text(), "1");

    // The guidance lists keep an "未選択" entry as chosen; the other lists lose it.
    choose(a.CmbSideMoveRightContactNum, 99);
    EXPECT_EQ(AdditionalInfoTab::listCode(a.CmbSideMoveRightContactNum), 99);
    choose(a.CmbTeethRow, 99);
    EXPECT_EQ(a.CmbTeethRow->currentIndex(), -1);

    // Ticking a disease selects the second entry of the medical history.
    choose(a.CmbMedicalHistory, 2);
    ASSERT_TRUE(a.ChkDiseaseName[3]->isEnabled());
    a.ChkDiseaseName[3]->click();
    EXPECT_EQ(a.CmbMedicalHistory->currentIndex(), 1);

    // Entering a box selects its text; leaving the birth month with five characters is refused.
    a.TxtWeight->setText("58");
    a.TxtWeight->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(a.TxtWeight->selectedText(), "58");
    a.TxtBirthDay->setFocus();
    a.TxtBirthDay->setText("19804");
    t.boxes->clear();
    a.TxtWeight->setFocus();
    EXPECT_EQ(boxTexts(), QStringList{"再入力: 入力が間違っています。西暦年４桁月２桁(YYYYMM)を再入力してください。"});
    EXPECT_TRUE(a.TxtBirthDay->hasFocus());
    a.TxtBirthDay->setText("198004");

    // Switching tabs keeps what was typed: the record is read only when the window opens.
    a.TxtHeight->setText("171");
    f.SSTabTool->setCurrentIndex(PFrmImport::TabSubmission);
    f.SSTabTool->setCurrentIndex(PFrmImport::TabInfo);
    EXPECT_EQ(a.TxtHeight->text(), "171");

    // Saving leaves the first-examination day and the spare fields as they were.
    t.boxes->clear();
    t.boxes->answer(MsgResult::Yes);
    ASSERT_EQ(a.SaveAdditionalInfo(), 0);
    EXPECT_EQ(stored("FirstExamDay||'|'||YobiIntA||'|'||YobiStrA||'|'||Height"), "2020/04/01|7|spare|171");
}

// ------------------------------------------------------------------ captions

// Every text of the widgets under w (labels, buttons, group boxes).
QStringList textsUnder(const QWidget* w) {
    QStringList out;
    for (const QLabel* l : w->findChildren<QLabel*>())
        out << l->text();
    for (const QAbstractButton* b : w->findChildren<QAbstractButton*>())
        out << b->text();
    for (const QGroupBox* g : w->findChildren<QGroupBox*>())
        out << g->title();
    return out;
}

TEST_F(ToolsScreenTest, EveryTabShowsItsCaptionsCharacterForCharacter) {
    PFrmImport& f = open();
    struct Page {
        int tab;
        QStringList captions;
    };
    const Page pages[] = {
        {PFrmImport::TabInfo,
         {"患者番号", "生年月", "YYYYMM", "性別", "主訴", "身長・体重", "cm", "kg", "喫煙歴", "1日の本数", "喫煙年数",
          "既往歴", "病名", "服薬", "薬名", "教育歴", "直近1年以内の    歯科受診歴", "歯周治療の既往", "歯周病の家族歴",
          "1日の歯磨き回数", "補助器具の使用", "喪失歯数（智歯を除く)", "未処置歯（智歯を除く)", " (二次う蝕含む)",
          "治療済み歯数（智歯を除く)", "下顎位置関係", "右", "左", "不正咬合", "歯列",
          "側方運動時         右側の作業側誘導", "側方運動時         左側の作業側誘導", "前方運動時の誘導", "咬合性外傷",
          "早期接触", "平衡側干渉", "フレミタス", "ブラキシズム", "口呼吸", "食片圧入", "矯正治療の既往",
          "骨吸収 (全体の平均)", "保存する計画の歯の　なかで最大骨吸収", "骨吸収が最大の部位", "診断",
          "KVR診断名 限局/広汎", "慢性/侵襲", "新分類診断名 ステージ", "グレード", "歯周外科治療", "切除療法",
          "組織付着療法", "歯周組織再生療法", "歯周形成外科", "＊", "＊：必須項目"}},
        {PFrmImport::TabSubmission,
         {"会員番号", "区分", "専門医（S）", "認定医（N）", "認定歯科衛生士（H）",
          "提出用ファイルの元となるファイル （KVR-DBのDBファイル）", "実際に提出するZIPファイル名 （圧縮ファイル）",
          "※出力フォルダはデスクトップの「KVR-DB-SAVE」", "※作成したZIPファイルのファイル名は絶対に変更しないでください。",
          "ファイル作成開始", "ログ表示"}},
        {PFrmImport::TabImportOld,
         {"インポートする旧版KVR-ChartのDBファイル", "ファイル指定", "KVR-Chartからインポートする時の処理方法",
          "KVR-Chart-DBの全データを削除後、インポートする。",
          "旧版KVR-Chartに存在する患者番号と同じ患者番号のデータをKVR-Chart-DBから削除後、インポートする。",
          "インポート実行", "※ファイル指定の方法は以下の通りです。",
          "＜方法１＞　このＰＣで１個人で旧版KVR-Chartを使用されていた場合",
          "表示されているファイルのままインポートしてください。（表示されていない場合はファイル指定）",
          "＜方法２＞　このＰＣで複数人で旧版KVR-Chartを使用されていた場合",
          "「ファイル指定」でファイルを指定後インポートしてください。",
          "＜方法３＞　別のＰＣで旧版KVR-Chartを使用されていた場合",
          "ファイルをＵＳＢ等へコピーし、「ファイル指定」でファイルを指定後インポートしてください。"}},
        {PFrmImport::TabData,
         {"フォルダ指定", "バックアップデータを保存するファイル名 （変更可能）", "バックアップ実行",
          "バックアップで保存されたファイル", "ファイル指定", "復元実行", "会員番号の変更",
          "会員番号を間違えて使用していた場合、仮の会員番号で使用していた場合は、会員番号の変更が必要です。", "を", "に",
          "変更する"}},
        {PFrmImport::TabManual, {"操作マニュアル", "よくある質問  （Webに接続します）"}},
        {PFrmImport::TabVersionUp,
         {"所属医療機関名、または、医院名", "担当者名", "担当者のE-mail", "※バージョンアップの案内等に使用します。",
          "バージョンアップの確認", "※システムを終了して、バージョンアップの確認をします。",
          "※インターネット接続が必要です。"}},
    };
    for (const Page& p : pages) {
        const QStringList shown = textsUnder(f.page(p.tab));
        for (const QString& caption : p.captions)
            EXPECT_TRUE(shown.contains(caption)) << p.tab << ": " << caption.toStdString();
    }
    EXPECT_EQ(f.CmdSave->text(), "保　存");

    // Check boxes as laid out, before the master table renames them.
    AdditionalInfoTab laidOut;
    const struct {
        const QList<QCheckBox*>& boxes;
        QStringList captions;
    } groups[] = {
        {laidOut.ChkChiefComplaint,
         {"1 腫脹", "2 動揺", "3 疼痛", "4 出血", "5 咬めない", "6 抜歯宣告", "7 違和感", "8 口臭", "9 歯肉退縮",
          "10 その他"}},
        {laidOut.ChkDiseaseName,
         {"1 脳梗塞", "2 心血管疾患", "3 高血圧", "4 脂質異常症", "5 糖尿病（HbA1c7.0%以上）", "6 糖尿病（HbA1c7.0%未満）",
          "7 ﾒﾀﾎﾞﾘｯｸｼﾝﾄﾞﾛｰﾑ", "8 慢性腎臓病", "9 慢性腎臓病以外の腎疾患", "10 脂肪肝（アルコール性、非アルコール性）",
          "11 脂肪肝以外の肝胆膵疾患", "12 産科・婦人科系疾患", "13 消化器疾患", "14 呼吸器疾患", "15 耳鼻咽頭疾患",
          "16 血液疾患", "17 悪性腫瘍", "18 膠原病", "19 骨粗鬆症", "20 リウマチ", "21 精神疾患", "22 その他"}},
        {laidOut.ChkIngestion,
         {"1 脂質異常症薬", "2 降圧薬", "3 抗血栓薬", "4 抗不整脈薬", "5 糖尿病治療薬", "6 骨粗鬆症薬", "7 抗てんかん薬",
          "8 抗がん剤", "9 免疫抑制薬", "10 消化性潰瘍治療薬", "11 抗うつ薬、抗不安薬、睡眠導入薬", "12 その他"}},
        {laidOut.ChkMalocclusion, {"1 正常咬合", "2 過蓋咬合", "3 切端咬合", "4 開咬", "5 反対咬合"}},
    };
    for (const auto& g : groups) {
        QStringList shown;
        for (const QCheckBox* b : g.boxes)
            shown << b->text();
        EXPECT_EQ(shown, g.captions);
    }
    // Tooth rows: upper right 8..1, upper left 1..8, lower right 8..1, lower left 1..8.
    QStringList numbers;
    for (int i = 0; i < ToothFlagRow::kTeeth; ++i)
        numbers << laidOut.LblPC->cell(i)->text();
    EXPECT_EQ(numbers.join(""), "87654321123456788765432112345678");
}

// ------------------------------------------------------------------ the checks through the screen

TEST_F(ToolsScreenTest, SaveButtonShowsEachRuleOfTheCheckInItsOrder) {
    const QString ask = "\r\n\r\nこのまま保存しますか。";
    struct Case {
        const char* what;
        std::function<void(AdditionalInfoTab&)> change;
        QStringList lines;
    };
    const QList<Case> cases = {
        {"birth month of six characters, not a month", [](AdditionalInfoTab& a) { a.TxtBirthDay->setText("198013"); },
         {"生年月が間違っています。西暦年４桁月２桁を再入力してください。"}},
        {"birth month of five characters", [](AdditionalInfoTab& a) { a.TxtBirthDay->setText("19804"); },
         {"生年月が間違っています。西暦年４桁月２桁を再入力してください。"}},
        {"birth month empty", [](AdditionalInfoTab& a) { a.TxtBirthDay->setText("  "); },
         {"生年月が入されていません。西暦年４桁月２桁を入力してください。"}},
        {"sex", [](AdditionalInfoTab& a) { choose(a.CmbSex, 99); }, {"性別が選択されていません。"}},
        {"chief complaint", [](AdditionalInfoTab& a) { a.ChkChiefComplaint[2]->setChecked(false); },
         {"主訴が選択されていません。"}},
        {"smoking", [](AdditionalInfoTab& a) { choose(a.CmbSmokingHistory, 99); }, {"喫煙歴が選択されていません。"}},
        {"medical history", [](AdditionalInfoTab& a) { choose(a.CmbMedicalHistory, 99); },
         {"既往歴が選択されていません。"}},
        {"missing teeth empty", [](AdditionalInfoTab& a) { a.TxtMissingToothNum->clear(); },
         {"喪失歯数（智歯を除く) が入力されていません。"}},
        {"diagnosis", [](AdditionalInfoTab& a) { choose(a.CmbKvrDiagnosis, 99); }, {"診断が選択されていません。"}},
        {"diagnosis first entry, only the grade missing",
         [](AdditionalInfoTab& a) {
             choose(a.CmbKvrDiagnosis, 1);
             choose(a.CmbKvrDiagnosisLW, 1);
             choose(a.CmbKvrDiagnosisCA, 2);
             choose(a.CmbNewDiagnosisStage, 4);
         },
         {"新分類診断名 グレードが選択されていません。"}},
        {"diagnosis first entry, only the society diagnosis missing",
         [](AdditionalInfoTab& a) {
             choose(a.CmbKvrDiagnosis, 1);
             choose(a.CmbNewDiagnosisStage, 1);
             choose(a.CmbNewDiagnosisGrade, 3);
         },
         {"KVR診断名 限局/広汎が選択されていません。", "KVR診断名 慢性/侵襲が選択されていません。"}},
        {"periodontal surgery", [](AdditionalInfoTab& a) { choose(a.CmbPerioSurgeryTreatment, 99); },
         {"歯周外科治療が選択されていません。"}},
        {"medical history none, a disease ticked",
         [](AdditionalInfoTab& a) { a.ChkDiseaseName[21]->setChecked(true); },
         {"既往歴の回答と病名チェックに矛盾があります。"}},
        {"medication present, no medicine", [](AdditionalInfoTab& a) { choose(a.CmbIngestion, 1); },
         {"服薬の回答と薬名チェックに矛盾があります。"}},
        {"medication none, a medicine ticked", [](AdditionalInfoTab& a) { a.ChkIngestion[11]->setChecked(true); },
         {"服薬の回答と薬名チェックに矛盾があります。"}},
        {"medication unanswered, a medicine ticked",
         [](AdditionalInfoTab& a) {
             choose(a.CmbIngestion, 99);
             a.ChkIngestion[0]->setChecked(true);
         },
         {"服薬の回答と薬名チェックに矛盾があります。"}},
        {"nothing answered but the diagnosis (first entry), history and medication contradicting",
         [](AdditionalInfoTab& a) {
             a.TxtBirthDay->clear();
             choose(a.CmbSex, 99);
             a.ChkChiefComplaint[2]->setChecked(false);
             choose(a.CmbSmokingHistory, 99);
             choose(a.CmbMedicalHistory, 99);
             a.ChkDiseaseName[0]->setChecked(true);
             choose(a.CmbIngestion, 1);
             a.TxtMissingToothNum->setText("x");
             choose(a.CmbKvrDiagnosis, 1);
             choose(a.CmbPerioSurgeryTreatment, 99);
         },
         {"生年月が入されていません。西暦年４桁月２桁を入力してください。", "性別が選択されていません。",
          "主訴が選択されていません。", "喫煙歴が選択されていません。", "既往歴が選択されていません。",
          "喪失歯数（智歯を除く) が入力されていません。", "KVR診断名 限局/広汎が選択されていません。",
          "KVR診断名 慢性/侵襲が選択されていません。", "新分類診断名 ステージが選択されていません。",
          "新分類診断名 グレードが選択されていません。", "歯周外科治療が選択されていません。",
          "既往歴の回答と病名チェックに矛盾があります。", "服薬の回答と薬名チェックに矛盾があります。"}},
    };
    for (const Case& c : cases) {
        PFrmImport& f = open();
        answerRequired();
        c.change(tab());
        t.boxes->clear();
        t.boxes->answer(MsgResult::No);
        f.CmdSave->click();
        ASSERT_EQ(t.boxes->shown.size(), 1) << c.what;
        const MsgBoxRequest& b = t.boxes->shown[0];
        EXPECT_EQ(b.title + ": " + b.text, "保存確認: " + c.lines.join("\r\n") + ask) << c.what;
        EXPECT_EQ(b.buttons, MsgButtons::YesNo) << c.what;
        EXPECT_EQ(b.icon, MsgIcon::Exclamation) << c.what;
        EXPECT_EQ(scalar("SELECT count(*) FROM TPatientAdd").toInt(), 0) << c.what;
    }

    // Yes saves anyway, after the reminder.
    PFrmImport& f = open();
    answerRequired();
    choose(tab().CmbSex, 99);
    t.boxes->clear();
    t.boxes->answer(MsgResult::Yes);
    f.CmdSave->click();
    ASSERT_EQ(t.boxes->shown.size(), 3);
    EXPECT_EQ(t.boxes->shown[1].title + ": " + t.boxes->shown[1].text,
              "入力エラー: 提出用ファイル作成までに正しく入力してください。");
    EXPECT_EQ(t.boxes->shown[1].icon, MsgIcon::Information);
    EXPECT_EQ(t.boxes->shown[2].icon, MsgIcon::Information);
    EXPECT_EQ(stored("Sex"), "-9");
}

TEST_F(ToolsScreenTest, EachControllingListOpensAndClosesEveryInputThatDependsOnIt) {
    struct Case {
        const char* list;
        std::function<QComboBox*(AdditionalInfoTab&)> box;
        std::function<QList<QWidget*>(AdditionalInfoTab&)> dependents;
        std::function<void(AdditionalInfoTab&)> fill;     // gives every dependent a value
        std::function<bool(AdditionalInfoTab&)> anyValue; // whether any dependent still has one
        int openCode, closeCode;
    };
    auto widgets = [](auto list) {
        QList<QWidget*> out;
        for (auto* w : list)
            out << w;
        return out;
    };
    auto rows = [](std::initializer_list<ToothFlagRow*> r) { return QList<ToothFlagRow*>(r); };
    auto fillRows = [](const QList<ToothFlagRow*>& r) {
        for (ToothFlagRow* row : r)
            row->toggle(7);
    };
    auto rowsSet = [](const QList<ToothFlagRow*>& r) {
        return std::any_of(r.begin(), r.end(), [](ToothFlagRow* row) { return row->flags() != QString(32, '0'); });
    };
    auto ticked = [](const QList<QCheckBox*>& b) {
        return std::any_of(b.begin(), b.end(), [](QCheckBox* x) { return x->isChecked(); });
    };
    const QList<Case> cases = {
        {"smoking", [](AdditionalInfoTab& a) { return a.CmbSmokingHistory; },
         [](AdditionalInfoTab& a) { return QList<QWidget*>{a.TxtPackDay, a.TxtSmokingYear}; },
         [](AdditionalInfoTab& a) {
             a.TxtPackDay->setText("20");
             a.TxtSmokingYear->setText("5");
         },
         [](AdditionalInfoTab& a) { return !a.TxtPackDay->text().isEmpty() || !a.TxtSmokingYear->text().isEmpty(); },
         3, 0},
        {"medical history", [](AdditionalInfoTab& a) { return a.CmbMedicalHistory; },
         [&](AdditionalInfoTab& a) { return widgets(a.ChkDiseaseName); },
         [](AdditionalInfoTab& a) {
             for (QCheckBox* b : a.ChkDiseaseName)
                 b->setChecked(true);
         },
         [&](AdditionalInfoTab& a) { return ticked(a.ChkDiseaseName); }, 1, 0},
        {"medication", [](AdditionalInfoTab& a) { return a.CmbIngestion; },
         [&](AdditionalInfoTab& a) { return widgets(a.ChkIngestion); },
         [](AdditionalInfoTab& a) {
             for (QCheckBox* b : a.ChkIngestion)
                 b->setChecked(true);
         },
         [&](AdditionalInfoTab& a) { return ticked(a.ChkIngestion); }, 1, 0},
        {"occlusal trauma", [](AdditionalInfoTab& a) { return a.CmbOcclusalTrauma; },
         [](AdditionalInfoTab& a) { return QList<QWidget*>{a.LblPC, a.LblBS, a.LblFR}; },
         [&](AdditionalInfoTab& a) { fillRows(rows({a.LblPC, a.LblBS, a.LblFR})); },
         [&](AdditionalInfoTab& a) { return rowsSet(rows({a.LblPC, a.LblBS, a.LblFR})); }, 2, 0},
        {"periodontal surgery", [](AdditionalInfoTab& a) { return a.CmbPerioSurgeryTreatment; },
         [](AdditionalInfoTab& a) { return QList<QWidget*>{a.LblAT, a.LblTAT, a.LblPTRT, a.LblPPS}; },
         [&](AdditionalInfoTab& a) { fillRows(rows({a.LblAT, a.LblTAT, a.LblPTRT, a.LblPPS})); },
         [&](AdditionalInfoTab& a) { return rowsSet(rows({a.LblAT, a.LblTAT, a.LblPTRT, a.LblPPS})); }, 1, 0},
        {"diagnosis", [](AdditionalInfoTab& a) { return a.CmbKvrDiagnosis; },
         [](AdditionalInfoTab& a) {
             return QList<QWidget*>{a.CmbKvrDiagnosisLW, a.CmbKvrDiagnosisCA, a.CmbNewDiagnosisStage,
                                    a.CmbNewDiagnosisGrade};
         },
         [](AdditionalInfoTab& a) {
             choose(a.CmbKvrDiagnosisLW, 2);
             choose(a.CmbKvrDiagnosisCA, 1);
             choose(a.CmbNewDiagnosisStage, 2);
             choose(a.CmbNewDiagnosisGrade, 1);
         },
         [](AdditionalInfoTab& a) {
             for (QComboBox* b : {a.CmbKvrDiagnosisLW, a.CmbKvrDiagnosisCA, a.CmbNewDiagnosisStage,
                                  a.CmbNewDiagnosisGrade})
                 if (b->currentIndex() >= 0) return true;
             return false;
         },
         1, 3},
    };
    for (const Case& c : cases) {
        open();
        AdditionalInfoTab& a = tab();
        auto enabled = [&] {
            QStringList out;
            for (QWidget* d : c.dependents(a))
                out << (d->isEnabled() ? "on" : "off");
            return out.join(",");
        };
        auto all = [&](const char* state) {
            return QStringList(int(c.dependents(a).size()), state).join(",");
        };
        EXPECT_EQ(enabled(), all("off")) << c.list << ": a new record";
        // Closing by the "none" answer and by "未選択" (no answer) both empty the inputs.
        for (int closing : {c.closeCode, 99}) {
            choose(c.box(a), c.openCode);
            EXPECT_EQ(enabled(), all("on")) << c.list;
            c.fill(a);
            ASSERT_TRUE(c.anyValue(a)) << c.list;
            choose(c.box(a), closing);
            EXPECT_EQ(enabled(), all("off")) << c.list << " closed by " << closing;
            EXPECT_FALSE(c.anyValue(a)) << c.list << " closed by " << closing;
        }
        if (c.box(a) == a.CmbKvrDiagnosis) {
            choose(a.CmbKvrDiagnosis, 1);
            for (QLabel* mark : {a.LblKvrDiagnosisLW, a.LblKvrDiagnosisCA, a.LblNewDiagnosisStage,
                                 a.LblNewDiagnosisGrade})
                EXPECT_TRUE(mark->isVisibleTo(w.get())) << mark->objectName().toStdString();
            choose(a.CmbKvrDiagnosis, 2);
            for (QLabel* mark : {a.LblKvrDiagnosisLW, a.LblKvrDiagnosisCA, a.LblNewDiagnosisStage,
                                 a.LblNewDiagnosisGrade})
                EXPECT_FALSE(mark->isVisibleTo(w.get())) << mark->objectName().toStdString();
        }
    }
}

TEST_F(ToolsScreenTest, StoredAnswersOpenOrCloseTheirInputsWhenShown) {
    const QString all22 = QString(22, '1'), all12 = QString(12, '1'), teeth32 = "1" + QString(31, '0');
    direct()->execute("INSERT INTO TPatientAdd (ID, SmokingHistory, PackDay, SmokingYear, MedicalHistory, DiseaseName, "
                      "Ingestion, MedicineName, OcclusalTrauma, Fremitus, PerioSurgeryTreatment, PerioPlasticSurgery, "
                      "KvrDiagnosis, KvrDiagnosisLW) VALUES "
                      "(1, 1, '20', '5', 1, ?, 1, ?, 1, ?, 1, ?, 1, 2), (2, 0, '20', '5', 0, ?, 0, ?, 0, ?, 0, ?, 2, 2)",
                      {all22, all12, teeth32, teeth32, all22, all12, teeth32, teeth32});
    for (int id : {1, 2}) {
        open(id);
        AdditionalInfoTab& a = tab();
        const bool on = id == 1;
        EXPECT_EQ(a.TxtPackDay->text(), on ? "20" : "") << id;
        EXPECT_EQ(a.TxtSmokingYear->isEnabled(), on) << id;
        EXPECT_EQ(a.ChkDiseaseName[21]->isChecked(), on) << id;
        EXPECT_EQ(a.ChkDiseaseName[21]->isEnabled(), on) << id;
        EXPECT_EQ(a.ChkIngestion[11]->isChecked(), on) << id;
        EXPECT_EQ(a.ChkIngestion[0]->isEnabled(), on) << id;
        EXPECT_EQ(a.LblFR->isSelected(0), on) << id;
        EXPECT_EQ(a.LblFR->isEnabled(), on) << id;
        EXPECT_EQ(a.LblPPS->isSelected(0), on) << id;
        EXPECT_EQ(a.LblPPS->isEnabled(), on) << id;
        EXPECT_EQ(AdditionalInfoTab::listCode(a.CmbKvrDiagnosisLW), on ? 2 : -9) << id;
        EXPECT_EQ(a.CmbKvrDiagnosisLW->isEnabled(), on) << id;
    }
}

// ------------------------------------------------------------------ keyboard only

// Moves the tooth row's frame to each tooth in turn and ticks it with Space.
void tickTeeth(QWidget* row, const QList<int>& teeth) {
    for (int tooth : teeth) {
        QTest::keyClick(row, Qt::Key_Up);
        QTest::keyClick(row, Qt::Key_Home);
        if (tooth >= 16) QTest::keyClick(row, Qt::Key_Down);
        for (int i = 0; i < tooth % 16; ++i)
            QTest::keyClick(row, Qt::Key_Right);
        QTest::keyClick(row, Qt::Key_Space);
    }
}

QString teeth(std::initializer_list<int> on) {
    QString s(32, '0');
    for (int i : on)
        s[i] = '1';
    return s;
}

TEST_F(ToolsScreenTest, OnePatientFilledWithTheKeyboardAloneIsStoredAndShownAgain) {
    PFrmImport& f = open(3);
    f.show();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    tab().TxtBirthDay->setFocus();

    // What to do at each input the Enter key reaches (others are passed with Enter alone):
    // text to type (full-width too), entries to step down in a list, teeth to select (a
    // check box is ticked with Space); then the column and the value stored.
    struct Step {
        QString control, typed;
        int down;
        QList<int> teeth;
        QString column, stored;
    };
    const QList<Step> steps = {
        {"TxtBirthDay", "１９７００５", 0, {}, "BirthDay", "1970/05/01"},
        {"CmbSex", "", 2, {}, "Sex", "1"},
        {"ChkChiefComplaint(0)", "", 0, {}, "", ""},
        {"ChkChiefComplaint(3)", "", 0, {}, "ChiefComplaint2", "1001000000"},
        {"TxtHeight", "165.5", 0, {}, "Height", "165.5"},
        {"TxtWeight", "58", 0, {}, "Weight", "58"},
        {"CmbSmokingHistory", "", 2, {}, "SmokingHistory", "1"},
        {"TxtPackDay", "20", 0, {}, "PackDay", "20"},
        {"TxtSmokingYear", "10", 0, {}, "SmokingYear", "10"},
        {"CmbMedicalHistory", "", 2, {}, "MedicalHistory", "1"},
        {"ChkDiseaseName(2)", "", 0, {}, "", ""},
        {"ChkDiseaseName(11)", "", 0, {}, "DiseaseName", "0010000000010000000000"},
        {"CmbIngestion", "", 2, {}, "Ingestion", "1"},
        {"ChkIngestion(1)", "", 0, {}, "MedicineName", "010000000000"},
        {"CmbFinalEducation", "", 4, {}, "FinalEducation", "4"},
        {"CmbMedicalExamHistYear", "", 2, {}, "MedicalExamHistYear", "1"},
        {"CmbPeriodontalTreatment", "", 1, {}, "PeriodontalTreatment", "0"},
        {"CmbPeriodontalDiseaseFamily", "", 3, {}, "PeriodontalDiseaseFamily", "2"},
        {"TxtBrushTeethDay", "3", 0, {}, "BrushTeethDay", "3"},
        {"CmbAuxiliaryTool", "", 2, {}, "AuxiliaryTool", "1"},
        {"TxtMissingToothNum", "2", 0, {}, "MissingToothNum", "2"},
        {"TxtDentalCariesNum", "1", 0, {}, "DentalCariesNum", "1"},
        {"TxtTreatmentFinishedNum", "７", 0, {}, "TreatmentFinishedNum", "7"},
        {"CmbLowerPositionalRelationR", "", 1, {}, "LowerPositionalRelationR", "1"},
        {"CmbLowerPositionalRelationL", "", 2, {}, "LowerPositionalRelationL", "2"},
        {"ChkMalocclusion(1)", "", 0, {}, "Malocclusion2", "01000"},
        {"CmbTeethRow", "", 2, {}, "TeethRow", "2"},
        {"CmbSideMoveRightContactNum", "", 1, {}, "SideMoveRightContactNum", "1"},
        {"CmbSideMoveLeftContactNum", "", 2, {}, "SideMoveLeftContactNum", "2"},
        {"CmbFrontMoveContactNum", "", 3, {}, "FrontMoveContactNum", "3"},
        {"CmbOcclusalTrauma", "", 2, {}, "OcclusalTrauma", "1"},
        {"LblPC", "", 0, {0, 17}, "PrematureContact", teeth({0, 17})},
        {"LblBS", "", 0, {31}, "BalancingSideInterference", teeth({31})},
        {"LblFR", "", 0, {8}, "Fremitus", teeth({8})},
        {"CmbBruxism", "", 2, {}, "Bruxism", "1"},
        {"CmbMouthBreathing", "", 1, {}, "MouthBreathing", "0"},
        {"CmbFoodImpaction", "", 2, {}, "FoodImpaction", "1"},
        {"CmbOrthodonticTreatmentHistory", "", 1, {}, "OrthodonticTreatmentHistory", "0"},
        {"CmbBoneResorptionAll", "", 2, {}, "BoneResorptionAll", "2"},
        {"TxtBoneResorptionMaxPer", "45", 0, {}, "BoneResorptionMaxPer", "45"},
        {"LblBR", "", 0, {5}, "BoneResorptionMaxTh", teeth({5})},
        {"CmbKvrDiagnosis", "", 1, {}, "KvrDiagnosis", "1"},
        {"CmbKvrDiagnosisLW", "", 2, {}, "KvrDiagnosisLW", "2"},
        {"CmbKvrDiagnosisCA", "", 1, {}, "KvrDiagnosisCA", "1"},
        {"CmbNewDiagnosisStage", "", 3, {}, "NewDiagnosisStage", "3"},
        {"CmbNewDiagnosisGrade", "", 2, {}, "NewDiagnosisGrade", "2"},
        {"CmbPerioSurgeryTreatment", "", 2, {}, "PerioSurgeryTreatment", "1"},
        {"LblAT", "", 0, {2}, "AblativeTherapy", teeth({2})},
        {"LblTAT", "", 0, {29}, "TissueAdhesionTherapy", teeth({29})},
        {"LblPTRT", "", 0, {13}, "PerioTissueRegenTherapy", teeth({13})},
        {"LblPPS", "", 0, {24}, "PerioPlasticSurgery", teeth({24})},
    };
    QStringList visited;
    for (int guard = 0; guard < 200 && QApplication::focusWidget() != f.CmdSave; ++guard) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        visited << focus->objectName();
        const auto s = std::find_if(steps.begin(), steps.end(), [&](const Step& s) { return s.control == visited.last(); });
        if (s != steps.end()) {
            for (QChar c : s->typed) { // as the input method delivers it
                QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
                QApplication::sendEvent(focus, &press);
            }
            for (int i = 0; i < s->down; ++i)
                QTest::keyClick(focus, Qt::Key_Down);
            if (s->control.startsWith("Chk")) QTest::keyClick(focus, Qt::Key_Space);
            tickTeeth(focus, s->teeth);
        }
        QTest::keyClick(focus, Qt::Key_Return);
    }
    ASSERT_EQ(QApplication::focusWidget(), f.CmdSave);
    QTest::keyClick(f.CmdSave, Qt::Key_Space);
    EXPECT_EQ(boxTexts(), QStringList{"保存: 患者追加情報は保存されました。"});
    for (const Step& s : steps) {
        EXPECT_TRUE(visited.contains(s.control)) << s.control.toStdString() << " was not reached";
        if (!s.column.isEmpty()) {
            EXPECT_EQ(stored(s.column, 3), s.stored) << s.column.toStdString();
        }
    }
    EXPECT_EQ(stored("UpDateTime", 3), "2024-08-14T00:00:00.000");

    // Shown again in a new window: the same answers, nothing to save.
    t.boxes->shown.clear();
    open(3);
    EXPECT_FALSE(tab().CollectAdditionalInfo(false));
    EXPECT_EQ(tab().TxtBirthDay->text(), "197005");
    EXPECT_TRUE(tab().ChkDiseaseName[11]->isChecked());
    EXPECT_TRUE(tab().LblPPS->isSelected(24));
    EXPECT_TRUE(tab().CmbNewDiagnosisGrade->isEnabled());
    EXPECT_TRUE(w->requestClose());
    EXPECT_TRUE(t.boxes->shown.isEmpty());
}

} // namespace
