// The tools screen and its additional-information tab on a copy of the template database with
// the shipped master list; the logic behind the other tabs is tested in their own programs.
#include "data/CClinicCode.h"
#include "data/CMaster.h"
#include "tools/AdditionalInfoTab.h"
#include "tools/PFrmImport.h"
#include "tools/ToothFlagRow.h"
#include "tools/VersionUp.h"
#include "tools_fixture.h"

#include <QAbstractButton>
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

using A = AdditionalInfoTab;
const QString kSaved = "保存: 患者追加情報は保存されました。";
const QString kChanged = "保存確認: 追加情報が変更されています。保存しますか？";

// Chooses the list entry with the given code as the user does.
void choose(QComboBox* box, int code) {
    box->setCurrentIndex(box->findData(code));
    emit box->activated(box->currentIndex());
}

class ToolsScreenTest : public test::ToolsTest {
protected:
    void SetUp() override {
        ToolsTest::SetUp();
        ASSERT_TRUE(QFile::copy(test::builtAppFolder() + "/TMaster.txt", appFolder() + "/TMaster.txt"));
        ASSERT_EQ(TheMaster().CheckTable(), 0);
        OpenMemberDbHold(); // as the entry screen does
    }
    void TearDown() override {
        w.reset();
        ToolsTest::TearDown();
    }
    PFrmImport& open(int patient = 1, int startTab = -1, bool editable = true) {
        w = std::make_unique<PFrmImport>(PFrmImport::Settings{patient, startTab, editable});
        return *w;
    }
    PFrmImport& shown(int patient = 1, int startTab = -1) {
        open(patient, startTab).show();
        QApplication::setActiveWindow(w.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        return *w;
    }
    A& tab() { return *w->info(); }
    // Answers every required item, without contradictions.
    void answerRequired() {
        A& a = tab();
        a.TxtBirthDay->setText("198004");
        a.TxtMissingToothNum->setText("0");
        a.ChkChiefComplaint[2]->setChecked(true);
        for (QComboBox* box : {a.CmbSex, a.CmbSmokingHistory, a.CmbMedicalHistory, a.CmbIngestion,
                               a.CmbPerioSurgeryTreatment})
            choose(box, 0);
        choose(a.CmbKvrDiagnosis, 2);
    }
    QString stored(const QString& column, int id = 1) {
        return scalar("SELECT " + column + " FROM TPatientAdd WHERE ID=?", {id}).toString();
    }

    std::unique_ptr<PFrmImport> w;
};

TEST_F(ToolsScreenTest, StartTabAndSaveButtonFollowThePatient) {
    const struct {
        int patient, startTab, current;
        bool infoVisible;
    } cases[] = {{1, -1, 0, true}, {5, 2, 2, true}, {0, -1, 1, false}, {0, 3, 3, false}};
    for (const auto& c : cases) {
        t.boxes->clear();
        PFrmImport& g = open(c.patient, c.startTab);
        g.show();
        EXPECT_EQ(g.SSTabTool->currentIndex(), c.current) << c.patient << "/" << c.startTab;
        EXPECT_EQ(g.SSTabTool->isTabVisible(PFrmImport::TabInfo), c.infoVisible);
        EXPECT_FALSE(g.SSTabTool->isTabVisible(PFrmImport::TabSibling));
        EXPECT_EQ(g.CmdSave->isVisible(), c.current == 0);
        EXPECT_EQ(boxTexts(), c.infoVisible ? QStringList()
                                            : QStringList{"確認: 患者番号が指定されていないため追加情報は表示されません。"});
        g.SSTabTool->setCurrentIndex(c.infoVisible ? PFrmImport::TabInfo : PFrmImport::TabManual);
        EXPECT_EQ(g.CmdSave->isVisible(), c.infoVisible);
        EXPECT_TRUE(g.requestClose()); // nothing changed: closes without a question
    }
}

TEST_F(ToolsScreenTest, InputRulesOfTheInformationTab) {
    // A master with an "未選択" entry in a guidance list, a third medical-history answer and
    // a renamed chief complaint.
    direct()->execute("INSERT INTO TMaster (IDLG, IDSG, SeqNo, SGName) VALUES (27, 99, 99, '未選択'), "
                      "(4, 2, 3, '不明')");
    direct()->execute("UPDATE TMaster SET SGName='4 出血（歯肉から）' WHERE IDLG=2 AND IDSG=4");
    direct()->execute("INSERT INTO TPatientAdd (ID, FirstExamDay, YobiIntA, YobiStrA, Sex) "
                      "VALUES (1, '2020/04/01', 7, 'spare', 1)");
    PFrmImport& f = shown();
    A& a = tab();
    EXPECT_EQ(a.LblID->text(), "1");
    // The lists carry the master's codes and names; check boxes are captioned from it too.
    QStringList sex;
    for (int i = 0; i < a.CmbSex->count(); ++i)
        sex << QString::number(a.CmbSex->itemData(i).toInt()) + " " + a.CmbSex->itemText(i);
    EXPECT_EQ(sex.mid(0, 2), QStringList({"0 男性", "1 女性"}));
    EXPECT_EQ(sex.value(2).left(3), "99 ");
    EXPECT_EQ(a.ChkChiefComplaint[3]->text(), "4 出血（歯肉から）");

    // Leaving a box with a wrong entry is refused with its box, and the focus stays; full-width
    // digits and spaces around are taken, as half-width digits.
    const std::tuple<QLineEdit*, QString, QString, QString> boxes[] = {
        {a.TxtBirthDay, "202213", "西暦年４桁月２桁(YYYYMM)を再入力してください。", "202210"},
        {a.TxtHeight, "ａｂｃ", "数値を再入力してください。", "170"}};
    for (const auto& [box, typed, text, kept] : boxes) {
        box->setFocus();
        box->setText(typed);
        t.boxes->clear();
        a.TxtWeight->setFocus();
        test::expectBox(t, "入力が間違っています。" + text, "再入力", MsgIcon::Critical);
        EXPECT_TRUE(box->hasFocus());
        box->setText(" " + QString(kept).replace('0', "０").replace('2', "２") + " ");
        a.TxtWeight->setFocus();
        EXPECT_EQ(box->text(), kept);
    }
    EXPECT_EQ(t.boxes->shown.size(), 1);

    // The guidance lists keep an "未選択" entry as chosen; the other lists lose it.
    choose(a.CmbSideMoveRightContactNum, 99);
    EXPECT_EQ(A::listCode(a.CmbSideMoveRightContactNum), 99);
    choose(a.CmbTeethRow, 99);
    EXPECT_EQ(a.CmbTeethRow->currentIndex(), -1);
    // Ticking a disease selects the second entry of the medical history.
    choose(a.CmbMedicalHistory, 2);
    ASSERT_TRUE(a.ChkDiseaseName[3]->isEnabled());
    a.ChkDiseaseName[3]->click();
    EXPECT_EQ(a.CmbMedicalHistory->currentIndex(), 1);
    // A clicked tooth is marked green.
    choose(a.CmbOcclusalTrauma, 1);
    QTest::mouseClick(a.LblPC->cell(5), Qt::LeftButton);
    EXPECT_EQ(a.LblPC->cell(5)->palette().color(QPalette::Window), QColor(0xC0, 0xFF, 0xC0));
    EXPECT_EQ(a.LblPC->flags(), "00000100000000000000000000000000");
    // Entering a box selects its text.
    a.TxtHeight->setFocus();
    a.TxtWeight->setText("58");
    a.TxtWeight->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(a.TxtWeight->selectedText(), "58");

    // Switching tabs keeps what was typed: the record is read only when the window opens.
    f.SSTabTool->setCurrentIndex(PFrmImport::TabSubmission);
    f.SSTabTool->setCurrentIndex(PFrmImport::TabInfo);
    EXPECT_EQ(a.TxtHeight->text(), "170");
    // Saving stores the first of the month and leaves the first-examination day and the spare fields.
    answerRequired();
    a.TxtBirthDay->setText("202210");
    t.boxes->clear();
    ASSERT_EQ(a.SaveAdditionalInfo(), 0);
    EXPECT_EQ(boxTexts(), QStringList{kSaved});
    EXPECT_EQ(stored("BirthDay||'|'||FirstExamDay||'|'||YobiIntA||'|'||YobiStrA||'|'||Height"),
              "2022/10/01|2020/04/01|7|spare|170");
}

TEST_F(ToolsScreenTest, SaveButtonAsksWithEachRuleOfTheCheckInItsOrder) {
    const QString history = "既往歴の回答と病名チェックに矛盾があります。";
    const QString medicine = "服薬の回答と薬名チェックに矛盾があります。";
    const QString wrongBirth = "生年月が間違っています。西暦年４桁月２桁を再入力してください。";
    const QString noBirth = "生年月が入されていません。西暦年４桁月２桁を入力してください。";
    const QString noMissing = "喪失歯数（智歯を除く) が入力されていません。";
    const QString noLW = "KVR診断名 限局/広汎が選択されていません。", noCA = "KVR診断名 慢性/侵襲が選択されていません。";
    const QString noGrade = "新分類診断名 グレードが選択されていません。";
    const struct {
        const char* what;
        std::function<void(A&)> change;
        QStringList lines;
    } cases[] = {
        {"all answered", [](A&) {}, {}},
        {"birth month not a month", [](A& a) { a.TxtBirthDay->setText("198013"); }, {wrongBirth}},
        {"birth month of seven characters", [](A& a) { a.TxtBirthDay->setText("1980041"); }, {wrongBirth}},
        {"birth month empty", [](A& a) { a.TxtBirthDay->setText("  "); }, {noBirth}},
        {"missing teeth not a number", [](A& a) { a.TxtMissingToothNum->setText("x"); }, {noMissing}},
        // Each of the other single rules is shown in the case of everything missing below.
        {"diagnosis", [](A& a) { choose(a.CmbKvrDiagnosis, 99); }, {"診断が選択されていません。"}},
        {"diagnosis first entry, only the grade missing",
         [](A& a) {
             for (auto [box, code] : {std::pair{a.CmbKvrDiagnosis, 1}, {a.CmbKvrDiagnosisLW, 1},
                                      {a.CmbKvrDiagnosisCA, 2}, {a.CmbNewDiagnosisStage, 4}})
                 choose(box, code);
         },
         {noGrade}},
        {"diagnosis first entry, only the society diagnosis missing",
         [](A& a) {
             for (auto [box, code] : {std::pair{a.CmbKvrDiagnosis, 1}, {a.CmbNewDiagnosisStage, 1},
                                      {a.CmbNewDiagnosisGrade, 3}})
                 choose(box, code);
         },
         {noLW, noCA}},
        {"history yes, no disease", [](A& a) { choose(a.CmbMedicalHistory, 1); }, {history}},
        {"history yes, one disease",
         [](A& a) {
             choose(a.CmbMedicalHistory, 1);
             a.ChkDiseaseName[4]->setChecked(true);
         },
         {}},
        {"history none, a disease ticked", [](A& a) { a.ChkDiseaseName[21]->setChecked(true); }, {history}},
        {"medication yes, no medicine", [](A& a) { choose(a.CmbIngestion, 1); }, {medicine}},
        {"medication none, a medicine ticked", [](A& a) { a.ChkIngestion[11]->setChecked(true); }, {medicine}},
        {"medication unanswered, a medicine ticked",
         [](A& a) {
             choose(a.CmbIngestion, 99);
             a.ChkIngestion[0]->setChecked(true);
         },
         {medicine}},
        {"nothing answered but the diagnosis (first entry), history and medication contradicting",
         [](A& a) {
             a.TxtBirthDay->clear();
             a.TxtMissingToothNum->clear();
             a.ChkChiefComplaint[2]->setChecked(false);
             for (QComboBox* box : {a.CmbSex, a.CmbSmokingHistory, a.CmbMedicalHistory, a.CmbPerioSurgeryTreatment})
                 choose(box, 99);
             a.ChkDiseaseName[0]->setChecked(true);
             choose(a.CmbIngestion, 1);
             choose(a.CmbKvrDiagnosis, 1);
         },
         {noBirth, "性別が選択されていません。", "主訴が選択されていません。", "喫煙歴が選択されていません。",
          "既往歴が選択されていません。", noMissing, noLW, noCA, "新分類診断名 ステージが選択されていません。", noGrade,
          "歯周外科治療が選択されていません。", history, medicine}},
    };
    for (const auto& c : cases) {
        PFrmImport& f = open();
        answerRequired();
        c.change(tab());
        t.boxes->clear();
        t.boxes->answer(MsgResult::No);
        f.CmdSave->click();
        if (c.lines.isEmpty()) {
            EXPECT_EQ(boxTexts(), QStringList{kSaved}) << c.what;
            direct()->execute("DELETE FROM TPatientAdd");
            continue;
        }
        EXPECT_EQ(boxTexts(), QStringList{"保存確認: " + c.lines.join("\r\n") + "\r\n\r\nこのまま保存しますか。"}) << c.what;
        EXPECT_EQ(t.boxes->shown.value(0).buttons, MsgButtons::YesNo) << c.what;
        EXPECT_EQ(t.boxes->shown.value(0).icon, MsgIcon::Exclamation) << c.what;
        EXPECT_EQ(scalar("SELECT count(*) FROM TPatientAdd").toInt(), 0) << c.what;
    }
}

// Gives each input a value (fill) or tells whether any holds one.
bool values(const QList<QWidget*>& inputs, bool fill) {
    bool any = false;
    for (QWidget* w : inputs)
        if (auto* e = dynamic_cast<QLineEdit*>(w)) fill ? e->setText("5") : void(any |= !e->text().isEmpty());
        else if (auto* b = dynamic_cast<QCheckBox*>(w)) fill ? b->setChecked(true) : void(any |= b->isChecked());
        else if (auto* r = dynamic_cast<ToothFlagRow*>(w)) fill ? r->toggle(7) : void(any |= r->flags().contains('1'));
        else if (auto* c = dynamic_cast<QComboBox*>(w)) fill ? c->setCurrentIndex(0) : void(any |= c->currentIndex() >= 0);
    return any;
}

TEST_F(ToolsScreenTest, EachControllingListOpensAndClosesEveryInputThatDependsOnIt) {
    struct Case {
        QComboBox* box;
        QList<QWidget*> dependents;
        int openCode, closeCode;
        QList<QLabel*> marks; // required-item marks shown while open
    };
    auto cases = [](A& a) -> QList<Case> {
        auto all = [](const QList<QCheckBox*>& l) { return QList<QWidget*>(l.begin(), l.end()); };
        return {{a.CmbSmokingHistory, {a.TxtPackDay, a.TxtSmokingYear}, 3, 0, {}},
                {a.CmbMedicalHistory, all(a.ChkDiseaseName), 1, 0, {}},
                {a.CmbIngestion, all(a.ChkIngestion), 1, 0, {}},
                {a.CmbOcclusalTrauma, {a.LblPC, a.LblBS, a.LblFR}, 2, 0, {}},
                {a.CmbPerioSurgeryTreatment, {a.LblAT, a.LblTAT, a.LblPTRT, a.LblPPS}, 1, 0, {}},
                {a.CmbKvrDiagnosis,
                 {a.CmbKvrDiagnosisLW, a.CmbKvrDiagnosisCA, a.CmbNewDiagnosisStage, a.CmbNewDiagnosisGrade}, 1, 3,
                 {a.LblKvrDiagnosisLW, a.LblKvrDiagnosisCA, a.LblNewDiagnosisStage, a.LblNewDiagnosisGrade}}};
    };
    for (int i = 0; i < 6; ++i) {
        open();
        const Case c = cases(tab())[i];
        const std::string name = c.box->objectName().toStdString();
        auto expectOpen = [&](bool on, const std::string& when) {
            for (QWidget* d : c.dependents)
                EXPECT_EQ(d->isEnabled(), on) << name << " " << when << ": " << d->objectName().toStdString();
            for (QLabel* mark : c.marks)
                EXPECT_EQ(mark->isVisibleTo(w.get()), on) << name << " " << when;
        };
        expectOpen(false, "a new record");
        // Closing by the "none" answer and by "未選択" (no answer) both empty the inputs.
        for (int closing : {c.closeCode, 99}) {
            choose(c.box, c.openCode);
            expectOpen(true, "opened");
            values(c.dependents, true);
            ASSERT_TRUE(values(c.dependents, false)) << name;
            choose(c.box, closing);
            expectOpen(false, "closed by " + std::to_string(closing));
            EXPECT_FALSE(values(c.dependents, false)) << name << " closed by " << closing;
        }
        EXPECT_EQ(c.box->currentIndex(), -1) << name << ": 未選択 leaves the list without a selection";
    }
}

TEST_F(ToolsScreenTest, StoredBirthDayIsShownAsYearAndMonthWhenItIsAnyDate) {
    const std::pair<QString, QString> cases[] = {
        {"1975/03/01", "197503"}, {"1975/3/1", "197503"}, {"1975-03-01", "197503"}, {"1975/13/01", "1975/13/01"}, {"", ""}};
    for (const auto& [inTable, onScreen] : cases) {
        direct()->execute("DELETE FROM TPatientAdd");
        direct()->execute("INSERT INTO TPatientAdd (ID, BirthDay) VALUES (1, ?)", {inTable});
        open();
        EXPECT_EQ(tab().TxtBirthDay->text(), onScreen) << inTable.toStdString();
    }
}

TEST_F(ToolsScreenTest, AnswersSavedAfterTheQuestionAreStoredAsNotAnswered) {
    open();
    A& a = tab();
    answerRequired();
    choose(a.CmbTeethRow, 2);
    choose(a.CmbTeethRow, 99);
    a.TxtMissingToothNum->clear();
    t.boxes->answer(MsgResult::Yes);
    ASSERT_EQ(a.SaveAdditionalInfo(), 0);
    EXPECT_EQ(boxTexts(), (QStringList{"保存確認: 喪失歯数（智歯を除く) が入力されていません。\r\n\r\nこのまま保存しますか。",
                                       "入力エラー: 提出用ファイル作成までに正しく入力してください。", kSaved}));
    EXPECT_EQ(t.boxes->shown[1].icon, MsgIcon::Information);
    EXPECT_EQ(t.boxes->shown[2].icon, MsgIcon::Information);
    EXPECT_EQ(stored("TeethRow||'|'||MissingToothNum||'|'||Sex||'|'||KvrDiagnosis||'|'||KvrDiagnosisLW"),
              "-9|-9|0|2|-9");
    EXPECT_EQ(stored("ChiefComplaint2||DiseaseName"), "0010000000" + QString(22, '0'));
}

TEST_F(ToolsScreenTest, ClosingAsksAboutChangesAndASaveErrorKeepsTheWindowAndTheInput) {
    open();
    answerRequired();
    t.boxes->answer(MsgResult::No);
    EXPECT_TRUE(w->requestClose());
    EXPECT_EQ(boxTexts(), QStringList{kChanged});
    EXPECT_EQ(scalar("SELECT count(*) FROM TPatientAdd").toInt(), 0);

    open();
    answerRequired();
    tab().TxtHeight->setText("171");
    direct()->execute("ALTER TABLE TPatientAdd RENAME TO TPatientAddAway");
    t.boxes->clear();
    t.boxes->answer(MsgResult::Yes);
    EXPECT_FALSE(w->requestClose());
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_TRUE(boxTexts()[1].startsWith("エラー: 患者追加情報の保存でエラーが発生しました。\r\n\r\n[Error:"));
    EXPECT_EQ(tab().TxtHeight->text(), "171");

    direct()->execute("ALTER TABLE TPatientAddAway RENAME TO TPatientAdd");
    t.boxes->clear();
    t.boxes->answer(MsgResult::Yes);
    EXPECT_TRUE(w->requestClose()); // the change was still there to save
    EXPECT_EQ(stored("Height"), "171");
}

// The record is read into every input by EveryInputIsReached… below; here it only is closed.
TEST_F(ToolsScreenTest, NotEditableShowsTheRecordWithEveryInputClosedAndStillSaves) {
    // A birth month written by other means, not in the stored form: shown as 197503, it is
    // collected as 1975/03/01 and so reads as a change.
    direct()->execute("INSERT INTO TPatientAdd (ID, BirthDay, Sex, MissingToothNum) VALUES (1, '1975/3/1', 1, 4)");
    open(1, -1, false);
    EXPECT_EQ(tab().TxtMissingToothNum->text(), "4");
    for (QWidget* input : tab().inputs())
        EXPECT_FALSE(input->isEnabled()) << input->objectName().toStdString();
    EXPECT_EQ(w->LblMes->text(), "初診時のみ入力可能");
    // Only the inputs close: saving and the question on closing stay as they are.
    t.boxes->answer(MsgResult::No);
    w->CmdSave->click();
    EXPECT_TRUE(boxTexts().value(0).startsWith("保存確認: 主訴が選択されていません。")) << boxTexts().value(0).toStdString();
    t.boxes->clear();
    t.boxes->answer(MsgResult::No);
    EXPECT_TRUE(w->requestClose());
    EXPECT_EQ(boxTexts(), QStringList{kChanged});
}

// ------------------------------------------------------------------ the other tabs' screens

TEST_F(ToolsScreenTest, MemberNumberBoxesOfTheDataTabRefuseAndKeepTheFocus) {
    TheClinicCode().ClinicCode = "123456";
    PFrmImport& f = shown(1, PFrmImport::TabData);
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
    // The box shows the number as it was checked and gets the focus back.
    to->setText(" １２３４５ ");
    change->setFocus();
    change->click();
    EXPECT_EQ(boxTexts(), QStringList{"エラー: 会員番号を正しく入力してください。"});
    EXPECT_EQ(to->text(), "12345");
    EXPECT_TRUE(to->hasFocus());
    // Only the button starts the change: Enter in the box does not.
    t.boxes->clear();
    QTest::keyClick(to, Qt::Key_Return);
    EXPECT_TRUE(t.boxes->shown.isEmpty());
}

TEST_F(ToolsScreenTest, VersionUpTabLoadsTheContactReplacesTheUpdaterAndClosingFromItWritesInfoTxt) {
    const QStringList contact = {"みなみ歯科医院", "山田 花子", "hanako@example.jp"};
    ASSERT_TRUE(SaveContactInfo({contact[0], contact[1], contact[2]}));
    QFile::remove(InfoFilePath());
    test::writeFile(UpdaterReplacementPath(), "new");
    // Another tab leaves the updater and the hand-over file alone.
    open(1, PFrmImport::TabData);
    EXPECT_TRUE(w->requestClose());
    EXPECT_FALSE(QFileInfo::exists(InfoFilePath()));
    EXPECT_TRUE(QFileInfo::exists(UpdaterReplacementPath()));

    PFrmImport& f = open(1, PFrmImport::TabVersionUp);
    EXPECT_FALSE(QFileInfo::exists(UpdaterReplacementPath()));
    QStringList shown;
    for (const char* name : {"TxtClinic", "TxtTanto", "TxtMail"})
        shown << f.findChild<QLineEdit*>(name)->text();
    EXPECT_EQ(shown, contact);
    f.findChild<QLineEdit*>("TxtTanto")->setText("佐藤");
    EXPECT_TRUE(w->requestClose());
    QFile info(InfoFilePath());
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(info.readAll()).contains("\n担当者名      ：佐藤\n"));
}

// ------------------------------------------------------------------ keyboard only

// What every input shows, in the form's order.
QStringList shownValues(const A& a) {
    QStringList out;
    for (QWidget* w : a.inputs())
        if (auto* e = qobject_cast<QLineEdit*>(w)) out << e->text();
        else if (auto* c = qobject_cast<QComboBox*>(w)) out << QString::number(c->currentIndex());
        else if (auto* b = qobject_cast<QCheckBox*>(w)) out << QString::number(b->isChecked());
        else out << static_cast<ToothFlagRow*>(w)->flags();
    return out;
}

TEST_F(ToolsScreenTest, EveryInputIsReachedWithEnterFilledWithTheKeyboardAloneAndShownAgain) {
    PFrmImport& f = shown(3);
    A& a = tab();
    a.TxtBirthDay->setFocus();
    // At each input: a number typed in full width (as the input method delivers it), the
    // second entry of a list (the first of the diagnosis, which opens its details), or a
    // tick with Space (of the first tooth of a tooth row); then Enter goes on.
    QList<QWidget*> visited;
    for (int guard = 0; guard < 200 && QApplication::focusWidget() != f.CmdSave; ++guard) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        visited << focus;
        if (qobject_cast<QLineEdit*>(focus)) {
            for (QChar c : QString(focus == a.TxtBirthDay ? "１９７００５" : "７")) {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
                QApplication::sendEvent(focus, &press);
            }
        } else if (qobject_cast<QComboBox*>(focus)) {
            for (int i = focus == a.CmbKvrDiagnosis ? 1 : 2; i > 0; --i)
                QTest::keyClick(focus, Qt::Key_Down);
        } else {
            QTest::keyClick(focus, Qt::Key_Space);
        }
        QTest::keyClick(focus, Qt::Key_Return);
    }
    EXPECT_EQ(visited, a.inputs()) << "every input in the order of the form, each answer opening its details";
    const QStringList values = shownValues(a);
    QTest::keyClick(f.CmdSave, Qt::Key_Space);
    EXPECT_EQ(boxTexts(), QStringList{kSaved});
    EXPECT_EQ(stored("BirthDay||'|'||Sex||'|'||Height||'|'||DiseaseName||'|'||PrematureContact||'|'||KvrDiagnosis||"
                     "'|'||UpDateTime", 3),
              "1970/05/01|1|7|" + QString(22, '1') + "|1" + QString(31, '0') + "|1|2024-08-14 00:00:00");

    // Shown again in a new window: the same answers, nothing to save.
    t.boxes->clear();
    open(3);
    EXPECT_EQ(shownValues(tab()), values);
    EXPECT_TRUE(w->requestClose());
    EXPECT_TRUE(t.boxes->shown.isEmpty());
}

// Captions are the screen's own texts, compared character for character: a wrong or missing
// character is what the user reads.
TEST_F(ToolsScreenTest, EveryTabShowsItsCaptionsCharacterForCharacter) {
    PFrmImport& f = open();
    const std::pair<int, QString> pages[] = {
        {PFrmImport::TabInfo,
         "患者番号|生年月|YYYYMM|性別|主訴|身長・体重|cm|kg|喫煙歴|1日の本数|喫煙年数|既往歴|病名|服薬|薬名|教育歴|"
         "直近1年以内の    歯科受診歴|歯周治療の既往|歯周病の家族歴|1日の歯磨き回数|補助器具の使用|喪失歯数（智歯を除く)|"
         "未処置歯（智歯を除く)| (二次う蝕含む)|治療済み歯数（智歯を除く)|下顎位置関係|右|左|不正咬合|歯列|"
         "側方運動時         右側の作業側誘導|側方運動時         左側の作業側誘導|前方運動時の誘導|咬合性外傷|早期接触|"
         "平衡側干渉|フレミタス|ブラキシズム|口呼吸|食片圧入|矯正治療の既往|骨吸収 (全体の平均)|"
         "保存する計画の歯の　なかで最大骨吸収|骨吸収が最大の部位|診断|KVR診断名 限局/広汎|慢性/侵襲|"
         "新分類診断名 ステージ|グレード|歯周外科治療|切除療法|組織付着療法|歯周組織再生療法|歯周形成外科|＊|＊：必須項目"},
        {PFrmImport::TabSubmission,
         "会員番号|区分|専門医（S）|認定医（N）|認定歯科衛生士（H）|提出用ファイルの元となるファイル （KVR-DBのDBファイル）|"
         "実際に提出するZIPファイル名 （圧縮ファイル）|※出力フォルダはデスクトップの「KVR-DB-SAVE」|"
         "※作成したZIPファイルのファイル名は絶対に変更しないでください。|ファイル作成開始|ログ表示"},
        {PFrmImport::TabImportOld,
         "インポートする旧版KVR-ChartのDBファイル|ファイル指定|KVR-Chartからインポートする時の処理方法|"
         "KVR-Chart-DBの全データを削除後、インポートする。|"
         "旧版KVR-Chartに存在する患者番号と同じ患者番号のデータをKVR-Chart-DBから削除後、インポートする。|"
         "インポート実行|※ファイル指定の方法は以下の通りです。|＜方法１＞　このＰＣで１個人で旧版KVR-Chartを使用されていた場合|"
         "表示されているファイルのままインポートしてください。（表示されていない場合はファイル指定）|"
         "＜方法２＞　このＰＣで複数人で旧版KVR-Chartを使用されていた場合|"
         "「ファイル指定」でファイルを指定後インポートしてください。|＜方法３＞　別のＰＣで旧版KVR-Chartを使用されていた場合|"
         "ファイルをＵＳＢ等へコピーし、「ファイル指定」でファイルを指定後インポートしてください。"},
        {PFrmImport::TabData,
         "フォルダ指定|バックアップデータを保存するファイル名 （変更可能）|バックアップ実行|バックアップで保存されたファイル|"
         "ファイル指定|復元実行|会員番号の変更|"
         "会員番号を間違えて使用していた場合、仮の会員番号で使用していた場合は、会員番号の変更が必要です。|を|に|変更する"},
        {PFrmImport::TabManual, "操作マニュアル|よくある質問  （Webに接続します）"},
        {PFrmImport::TabVersionUp,
         "所属医療機関名、または、医院名|担当者名|担当者のE-mail|※バージョンアップの案内等に使用します。|"
         "バージョンアップの確認|※システムを終了して、バージョンアップの確認をします。|※インターネット接続が必要です。"},
    };
    for (const auto& [tab, captions] : pages) {
        QStringList shown; // labels, buttons and group boxes of the page
        for (const QLabel* l : f.page(tab)->findChildren<QLabel*>())
            shown << l->text();
        for (const QAbstractButton* b : f.page(tab)->findChildren<QAbstractButton*>())
            shown << b->text();
        for (const QGroupBox* g : f.page(tab)->findChildren<QGroupBox*>())
            shown << g->title();
        for (const QString& caption : captions.split('|'))
            EXPECT_TRUE(shown.contains(caption)) << tab << ": " << caption.toStdString();
    }
    EXPECT_EQ(f.CmdSave->text(), "保　存");

    // Check boxes as laid out, before the master table renames them.
    A laidOut;
    const std::pair<const QList<QCheckBox*>&, QString> groups[] = {
        {laidOut.ChkChiefComplaint, "1 腫脹|2 動揺|3 疼痛|4 出血|5 咬めない|6 抜歯宣告|7 違和感|8 口臭|9 歯肉退縮|10 その他"},
        {laidOut.ChkDiseaseName,
         "1 脳梗塞|2 心血管疾患|3 高血圧|4 脂質異常症|5 糖尿病（HbA1c7.0%以上）|6 糖尿病（HbA1c7.0%未満）|"
         "7 ﾒﾀﾎﾞﾘｯｸｼﾝﾄﾞﾛｰﾑ|8 慢性腎臓病|9 慢性腎臓病以外の腎疾患|10 脂肪肝（アルコール性、非アルコール性）|"
         "11 脂肪肝以外の肝胆膵疾患|12 産科・婦人科系疾患|13 消化器疾患|14 呼吸器疾患|15 耳鼻咽頭疾患|16 血液疾患|"
         "17 悪性腫瘍|18 膠原病|19 骨粗鬆症|20 リウマチ|21 精神疾患|22 その他"},
        {laidOut.ChkIngestion,
         "1 脂質異常症薬|2 降圧薬|3 抗血栓薬|4 抗不整脈薬|5 糖尿病治療薬|6 骨粗鬆症薬|7 抗てんかん薬|8 抗がん剤|"
         "9 免疫抑制薬|10 消化性潰瘍治療薬|11 抗うつ薬、抗不安薬、睡眠導入薬|12 その他"},
        {laidOut.ChkMalocclusion, "1 正常咬合|2 過蓋咬合|3 切端咬合|4 開咬|5 反対咬合"},
    };
    for (const auto& [boxes, captions] : groups) {
        QStringList shown;
        for (const QCheckBox* b : boxes)
            shown << b->text();
        EXPECT_EQ(shown, captions.split('|'));
    }
    // Tooth rows: upper right 8..1, upper left 1..8, lower right 8..1, lower left 1..8.
    QString numbers;
    for (int i = 0; i < ToothFlagRow::kTeeth; ++i)
        numbers += laidOut.LblPC->cell(i)->text();
    EXPECT_EQ(numbers, "87654321123456788765432112345678");
}

} // namespace
