// The tools screen and its additional-information tab on a copy of the template database
// with the shipped master list: the window's tabs and start, the lists, the checks of
// the input, saving and closing, and one patient filled in with the keyboard alone.
#include "data/CMaster.h"
#include "data/member_db_fixture.h"
#include "tools/AdditionalInfoTab.h"
#include "tools/PFrmImport.h"
#include "tools/ToothFlagRow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
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
    EXPECT_FALSE(w->CmdSave->isEnabled());
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
