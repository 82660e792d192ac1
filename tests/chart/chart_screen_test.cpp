// The chart screen on a copy of the template database (sample patients 98 and 99): the patient
// box, what it shows of the stages, its buttons and keys, the preview; and the entry screen's
// chart commands.
#include "chart/PFrmChartDR.h"
#include "exam/entry_screen_fixture.h"
#include "platform/printing.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace kvr;
using namespace kvr::test;

namespace {

const QString kOutOfRange = "範囲外エラー|患者番号が範囲外です。再入力してください。";

class ChartScreenTest : public MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        ResetExamObjects();
        setSoundOutputFactory([] { return std::make_unique<RecordingOutput>(); });
        resetPlayWave();
        app().VoiceOn = true;
        OpenMemberDbHold();
        LoadStageLabels();
        LoadSubExamRows();
    }
    void TearDown() override {
        screen.reset();
        resetPlayWave();
        setSoundOutputFactory(nullptr);
        setPrinterDialogFunction({});
        MemberDbTest::TearDown();
    }
    void open(int patient) {
        screen = std::make_unique<PFrmChartDR>(patient);
        playedSounds().clear();
        t.boxes->clear();
    }
    QStringList sounds() {
        waitUntil([] { return playWavePlayer().count() == 0; });
        return std::exchange(playedSounds(), {});
    }
    QStringList boxes() const {
        QStringList out;
        for (const auto& b : t.boxes->shown)
            out << b.title + "|" + b.text;
        return out;
    }
    // Patient 5 with a copy of patient 99's examinations of the given stages.
    void copyStagesTo5(std::initializer_list<int> stages) {
        for (int stage : stages) {
            direct()->execute("CREATE TABLE c AS SELECT * FROM TExamData WHERE PatientID=99 AND CommentID=?", {stage});
            for (const char* sql : {"UPDATE c SET ID = ID + 1000, PatientID = 5", "INSERT INTO TExamData SELECT * FROM c", "DROP TABLE c"})
                direct()->execute(sql);
        }
    }
    QStringList figureRow(int s) const {
        QStringList row;
        for (QLabel* l : {screen->LblStage[s], screen->LblDate[s], screen->LblAll[s], screen->LblPD[s],
                          screen->LblBlood[s], screen->LblAve[s], screen->LblGP0[s], screen->LblGP1[s],
                          screen->LblGP2[s]})
            row << l->text();
        return row;
    }
    QStringList entries() const {
        QStringList out;
        for (int i = 0; i < screen->LstEntry->count(); ++i)
            out << screen->LstEntry->item(i)->text();
        return out;
    }

    std::unique_ptr<PFrmChartDR> screen;
};

// The box offers the 30 cases and the two samples and opens on the current patient. A keyboard
// user after the six PDF runs, each box a real modal window answered with Return: click into
// the box, select, type, Tab. A number outside the list is refused with the range box, the
// focus comes back and the patient stays; a listed one (blanks around it allowed) is shown.
TEST_F(ChartScreenTest, TypedPatientNumberIsCheckedWhenTheBoxIsLeft) {
    open(0);
    ASSERT_EQ(screen->CmbOutNo->count(), 32);
    EXPECT_EQ(QList<int>({screen->CmbOutNo->itemData(0).toInt(), screen->CmbOutNo->itemData(29).toInt(),
                          screen->CmbOutNo->itemData(30).toInt(), screen->CmbOutNo->itemData(31).toInt()}),
              QList<int>({1, 30, 98, 99}));
    EXPECT_EQ(screen->CmbOutNo->currentText(), "");
    EXPECT_EQ(screen->SSTab1->currentIndex(), 0);
    t.boxes->onShow = [](const MsgBoxRequest& r) {
        QMessageBox box(QMessageBox::Information, r.title, r.text, QMessageBox::Ok, QApplication::activeWindow());
        QTimer::singleShot(0, &box, [&box] {
            box.activateWindow();
            (void)QTest::qWaitForWindowActive(&box);
            QTest::keyClick(&box, Qt::Key_Return);
        });
        box.exec();
    };
    open(99);
    EXPECT_EQ(screen->CmbOutNo->currentText(), "99");
    screen->show();
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    for (int i = 3; i < 6; ++i) {
        QTest::mouseClick(screen->BtnPrintChart[i], Qt::LeftButton);
        QTest::mouseClick(screen->BtnPrintData[i], Qt::LeftButton);
    }
    // Which numbers are listed is the session's check (ExamSessionTest); here the screen's use of it.
    const std::tuple<const char*, bool, int> cases[] = {{"31", false, 99}, {" 98 ", true, 98}, {"", true, 98}};
    for (const auto& [typed, accepted, shown] : cases) {
        SCOPED_TRACE(typed);
        screen->activateWindow(); // at once with a window manager
        ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
        QTest::mouseClick(screen->CmbOutNo->lineEdit(), Qt::LeftButton);
        QApplication::processEvents();
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        QTest::keyClicks(QApplication::focusWidget(), QString::fromUtf8(typed));
        EXPECT_EQ(screen->CmbOutNo->currentText(), QString::fromUtf8(typed));
        t.boxes->clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QApplication::processEvents();
        QTest::qWait(50);
        EXPECT_EQ(boxes(), accepted ? QStringList() : QStringList{kOutOfRange});
        if (!accepted) {
            EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
            screen->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
            EXPECT_EQ(QApplication::focusWidget(), screen->CmbOutNo);
        }
        EXPECT_EQ(screen->patient(), shown);
    }
}

// The figures tab of the sample patient (band headings of its pocket item, limits 1, 4, 6) with
// every caption it shows and its tooth cells; a patient with only the last two stages leaves the upper pair's figure
// rows and mobility empty (no "0" or "0.0"); switching patients fills and clears them.
TEST_F(ChartScreenTest, FiguresTabShowsTheStagesThePatientHas) {
    direct()->execute("UPDATE TPatient SET Address1=' 12' WHERE ID=99");
    copyStagesTo5({3, 4});
    open(99);
    const std::pair<QString, QString> captions[] = {
        {screen->LblApplyNo->text(), " 12"},
        {screen->LblGPH[0]->text() + "|" + screen->LblGPH[1]->text() + "|" + screen->LblGPH[2]->text(),
         "1-3㎜|4-5㎜|6㎜以上"},
        {screen->findChild<QLabel*>("LblNote0")->text(), "＊根分岐部病変 および 歯の情報表示は、初診時が優先されます。"},
        {screen->findChild<QLabel*>("LblNote1")->text(),
         "＊根分岐部病変 および 歯の情報表示は、最新ＳＰＴ時 が優先されます。"},
        {screen->LblMOBH[0]->text() + "|" + screen->LblMOBH[1]->text(), "初→基|S→最"},
    };
    for (const auto& [shown, expected] : captions)
        EXPECT_EQ(shown, expected);
    // Every control by its name, with the caption it is announced by; the captions shown.
    QMap<QString, QString> named;
    for (QWidget* w : screen->findChildren<QWidget*>())
        if (!w->accessibleDescription().isEmpty()) named.insert(w->accessibleDescription(), w->accessibleName());
    const std::pair<QString, QString> controls[] = {
        {"CmbOutNo", "患者番号"},       {"LblApplyNo", "症例番号"}, {"TxtAppName", "申請者氏名"},
        {"LstEntry", "登録済一覧"},     {"SSTab1", "表示"},         {"BtnBlankPrint", "ブランク印刷"},
        {"BtnEnd", "入力画面に戻る"},   {"PicFrame", "検査データシート"}, {"VScrPic", "スクロール"}};
    for (const auto& [name, caption] : controls)
        EXPECT_EQ(named.value(name, "<none>"), caption) << name.toStdString();
    for (auto [prefix, n] : {std::pair{"BtnPrintChart", 6}, {"BtnPrintData", 6}, {"LblStage", 4}, {"LblGPH", 3},
                             {"LblMOBH", 2}, {"PicPocket", 4}, {"LblMOB", 64}, {"Th", 64}})
        for (int i = 0; i < n; ++i)
            EXPECT_TRUE(named.contains(prefix + QString::number(i))) << prefix << i;
    QStringList shownTexts;
    for (QLabel* l : screen->findChild<QWidget*>("SidePanel")->findChildren<QLabel*>())
        shownTexts << l->text();
    for (const char* caption : {"患者番号", "症例番号", "申請者氏名", "登録済一覧"})
        EXPECT_TRUE(shownTexts.contains(caption)) << caption;
    EXPECT_EQ(screen->BtnBlankPrint->text() + "|" + screen->BtnEnd->text(), "ブランク印刷|入力画面に戻る");
    for (int i = 0; i < 6; ++i)
        for (auto [b, text] : {std::pair{screen->BtnPrintChart[i], "チャート印刷"}, {screen->BtnPrintData[i], "検査データ印刷"}})
            EXPECT_EQ(b->text() + "|" + qobject_cast<QGroupBox*>(b->parentWidget())->title(),
                      QString(i < 3 ? text : "PDF出力") + "|" + QStringList({"専門医", "認定医", "認定歯科衛生士"})[i % 3]);
    EXPECT_EQ(entries(), QStringList({"2023/05/15  初診時", "2023/08/21  基本治療終了時", "2024/01/29  ＳＰＴ移行時",
                                      "2024/08/05  最新ＳＰＴ時"}));
    EXPECT_EQ(figureRow(0), QStringList({"初診時", "2023/05/15", "28", "168", "60 (35.7%)", "3.4㎜", "95 (56.5%)",
                                         "57 (33.9%)", "16 (9.5%)"}));
    // Tooth cells: status and furcation of the pair's preferred stage (the first stage above,
    // the latest below); removed teeth show no furcation.
    int marks = 0;
    for (int cell = 0; cell < 64; ++cell) {
        const ChartStageData& prio = screen->stages()[cell < 32 ? 0 : 3];
        const int tooth = cell % 32;
        EXPECT_EQ(screen->Th[cell]->status(), prio.ToothStatus[tooth]) << cell;
        for (int site = 0; site < 6; ++site) {
            const int v = prio.Furcation[tooth * 6 + site];
            const bool shown = v != kNoValue && IsRemainingTooth(prio.ToothStatus[tooth]);
            EXPECT_EQ(screen->Th[cell]->value(site, 0), shown ? v : -1) << cell;
            marks += shown && v > 0;
        }
    }
    EXPECT_GT(marks, 0); // the sample has furcation marks, so the comparison means something

    screen->selectPatient(5);
    EXPECT_EQ(screen->LblApplyNo->text(), "");
    EXPECT_EQ(entries(), QStringList({"2024/01/29  ＳＰＴ移行時", "2024/08/05  最新ＳＰＴ時"}));
    for (int s : {0, 1})
        EXPECT_EQ(figureRow(s), QStringList({screen->stages()[s].StageName}) + QStringList(8, QString())) << s;
    EXPECT_EQ(figureRow(3).mid(1, 2), QStringList({"2024/08/05", "28"}));
    QString mobility[2];
    for (int t = 0; t < 64; ++t)
        mobility[t / 32] += screen->LblMOB[t]->text();
    EXPECT_TRUE(mobility[0].isEmpty() && !mobility[1].isEmpty());
    screen->selectPatient(1);
    EXPECT_EQ(figureRow(3).mid(1), QStringList(8, QString()));
    EXPECT_TRUE(entries().isEmpty());
}

// Every button plays "click1.wav" and then refuses, asks for the printer or writes the PDF of
// its kind (index modulo 3) for the patient shown: patient 5 has only the last two stages,
// which the chart sheet prints and the data sheet refuses; the blank form needs no data.
// Return and Escape play "warp.wav" and close.
TEST_F(ChartScreenTest, EveryButtonPlaysItsSoundAndRefusesOrRuns) {
    copyStagesTo5({3, 4});
    direct()->execute("UPDATE TPatient SET Address1=' 7 ' WHERE ID=99");
    bool choose = false;
    int dialogs = 0;
    setPrinterDialogFunction([&](QPrinter& printer, QWidget*) {
        ++dialogs;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(t.paths->app + "/printed.pdf");
        return choose;
    });
    const QString refused = "確認|印刷対象のデータがありません。", done = "完了|プリンタへの出力が完了しました。　　";
    const QString folder = t.paths->desktop + "/KVR-DB-SAVE/";
    struct Case {
        int patient;
        QString button;
        QString pdf; // "" refused, "dialog" the printer, else the file written at 2024-08-14 16:30
    };
    QList<Case> cases = {{1, "BtnBlankPrint", "dialog"}, {5, "BtnBlankPrint", "dialog"}};
    for (int i = 0; i < 6; ++i) {
        const QString kind = QString("SNH")[i % 3], chart = QString("BtnPrintChart%1").arg(i),
                      data = QString("BtnPrintData%1").arg(i);
        cases += {{5, data, ""}, {5, chart, i < 3 ? "dialog" : kind + "_123456_5_C_20240814_1630.pdf"}};
        if (i >= 3) cases.append({99, data, kind + "_123456_7_D_20240814_1630.pdf"});
    }
    for (const Case& c : cases)
        for (bool answer : {false, true}) {
            if (c.pdf != "dialog" && answer) continue;
            SCOPED_TRACE(QString("patient %1 %2 %3").arg(c.patient).arg(c.button).arg(answer).toStdString());
            open(c.patient);
            choose = answer;
            dialogs = 0;
            QDir(folder).removeRecursively();
            QPushButton* b = nullptr;
            for (QPushButton* p : screen->findChildren<QPushButton*>())
                if (p->accessibleDescription() == c.button) b = p;
            ASSERT_NE(b, nullptr);
            b->click();
            EXPECT_EQ(sounds(), QStringList{"click1.wav"});
            EXPECT_EQ(dialogs, c.pdf == "dialog" ? 1 : 0);
            EXPECT_EQ(boxes(), c.pdf.isEmpty() ? QStringList{refused}
                               : c.pdf != "dialog" || answer ? QStringList{done} : QStringList());
            EXPECT_TRUE(c.pdf.isEmpty() || c.pdf == "dialog" || QFile::exists(folder + c.pdf));
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        }
    for (bool escape : {false, true}) {
        open(99);
        screen->show();
        if (escape)
            QTest::keyClick(screen.get(), Qt::Key_Escape);
        else
            screen->BtnEnd->click();
        EXPECT_FALSE(screen->isVisible());
        EXPECT_EQ(screen->result(), QDialog::Rejected);
        EXPECT_EQ(sounds(), QStringList{"warp.wav"});
    }
}

// The preview tab draws the patient the screen opened on, in millimetres of the 210 mm sheet,
// scrolled over its 455 mm, while the chart tab follows the patient chosen.
TEST_F(ChartScreenTest, PreviewShowsThePatientOfTheOpeningAndScrollsOverTheSheet) {
    direct()->execute("UPDATE TPatient SET Address1='  A-7 ' WHERE ID=99");
    open(99);
    QString drawnTitle;
    int drawnPatient = 0;
    screen->PicDraw->draw = [&](QPainter& p, const SheetSource& s) {
        drawnTitle = QGuiApplication::applicationDisplayName();
        drawnPatient = s.patientNo;
        EXPECT_NEAR(p.transform().m11() * 210.0, screen->PicDraw->width(), 0.5);
        return 64.0;
    };
    const QString title = QGuiApplication::applicationDisplayName();
    screen->resize(1366, 740);
    screen->SSTab1->setCurrentIndex(1);
    screen->show();
    screen->selectPatient(5); // the chart tab follows, the preview stays on 99
    screen->PicDraw->render();
    EXPECT_EQ(drawnPatient, 99);
    EXPECT_EQ(drawnTitle, "  A-7 "); // the case number as stored
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), title);

    const int w = screen->PicFrame->width();
    EXPECT_EQ(screen->PicDraw->height(), int(w * 455.0 / 210.0));
    EXPECT_EQ(screen->VScrPic->maximum(), screen->PicDraw->height() - screen->PicFrame->height());
    screen->VScrPic->setValue(100);
    EXPECT_EQ(screen->PicDraw->y(), -100);
}

// ---------------------------------------------------------------- view helpers

// Tooth 9's label of each pair; a stage without data contributes no value, whatever its bytes hold.
TEST(ChartViewModel, MobilityLabelShowsBothSidesOfThePair) {
    const std::tuple<int, int, bool, const char*> cases[] = {
        {0, 1, true, "0→1"}, {128, 3, true, "→3"}, {1, 128, true, "1→"}, {128, 128, true, ""}, {1, 2, false, "→2"}};
    for (int pair = 0; pair < 2; ++pair)
        for (const auto& [first, second, firstHasData, text] : cases) {
            ChartStages st;
            for (int s = 0; s < 4; ++s)
                st[s].HasData = s != pair * 2 || firstHasData;
            st[pair * 2].Mobility[9] = std::uint8_t(first);
            st[pair * 2 + 1].Mobility[9] = std::uint8_t(second);
            EXPECT_EQ(MobilityText(st, pair, 9), text) << pair << " " << first << " " << second;
            EXPECT_EQ(MobilityText(st, 1 - pair, 9), "");
        }
}

TEST(ChartViewModel, PreferredStageOfAPairFallsBackOnTheOther) {
    const std::tuple<std::array<bool, 4>, int, int> cases[] = {
        {{true, true, false, false}, 0, 0},  {{false, true, false, false}, 0, 1},
        {{false, false, false, false}, 0, 0}, {{false, false, true, true}, 1, 3},
        {{false, false, true, false}, 1, 2},  {{false, false, false, false}, 1, 3},
    };
    for (const auto& [data, pair, slot] : cases) {
        ChartStages st;
        for (int s = 0; s < 4; ++s) {
            st[s].HasData = data[s];
            st[s].ToothStatus[5] = std::uint16_t(s + 1);
        }
        EXPECT_EQ(PrioritySlot(st, pair), slot);
        EXPECT_EQ(PairToothStatus(st, pair)[5], data[slot] ? slot + 1 : 0);
    }
}

// ---------------------------------------------------------------- entry screen

class EntryToChartTest : public EntryScreenTest {};

TEST_F(EntryToChartTest, ChartCommandsOpenTheirTabAfterTheUnsavedQuestion) {
    QList<int> opened;
    screen->showChart = [&](QWidget*, int tab) { opened << tab; };
    pickPatient(99);
    reply({});
    screen->CmdChartDR->click();
    screen->CmdStyleDRS071->click();
    EXPECT_EQ(opened, QList<int>({0, 1}));
    EXPECT_TRUE(t.boxes->shown.isEmpty());

    opened.clear(); // unsaved values: the question first; No opens the chart screen
    screen->enterValue(5);
    ASSERT_TRUE(screen->unsaved());
    reply({MsgResult::No});
    screen->CmdChartDR->click();
    EXPECT_EQ(boxTexts(), QStringList{"データが保存されていません。保存しますか？　　"});
    EXPECT_EQ(opened, QList<int>{0});
}

} // namespace
