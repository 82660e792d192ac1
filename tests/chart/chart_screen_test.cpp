// The chart screen on a copy of the template database (sample patients 98 and 99), and
// the chart-screen commands of the entry screen.
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
        MemberDbTest::TearDown();
    }
    void open(int patient) {
        screen = std::make_unique<PFrmChartDR>(patient);
        playedSounds().clear();
        t.boxes->clear();
    }
    QStringList sounds() {
        waitUntil([] { return playWavePlayer().count() == 0; });
        QStringList s = playedSounds();
        playedSounds().clear();
        return s;
    }
    // The patient 5 with a copy of patient 99's examination of one stage only.
    void copyStageTo5(int stage) {
        direct()->execute("INSERT INTO TExamData (ID, PatientID, ExamDate, Row, Examination, SubExam, PocketFree, "
                          "StartTime, EndTime, ChargeID, IsPrinted, \"UpDate\", CommentID, Comment, Data1, Data2, "
                          "Data3, Data4, Bui) SELECT ID + 1000, 5, ExamDate, Row, Examination, SubExam, PocketFree, "
                          "StartTime, EndTime, ChargeID, IsPrinted, \"UpDate\", CommentID, Comment, Data1, Data2, "
                          "Data3, Data4, Bui FROM TExamData WHERE PatientID=99 AND CommentID=?",
                          {stage});
    }
    QStringList figureRow(int s) const {
        QStringList row;
        for (QLabel* l : {screen->LblStage[s], screen->LblDate[s], screen->LblAll[s], screen->LblPD[s],
                          screen->LblBlood[s], screen->LblAve[s], screen->LblGP0[s], screen->LblGP1[s],
                          screen->LblGP2[s]})
            row << l->text();
        return row;
    }

    std::unique_ptr<PFrmChartDR> screen;
};

// ---------------------------------------------------------------- patient box

TEST_F(ChartScreenTest, TypedPatientNumberIsCheckedAgainstTheList) {
    struct Case {
        const char* typed;
        bool accepted;
        int shown; // patient shown afterwards
    };
    const Case cases[] = {{"31", false, 99}, {"97", false, 99}, {"100", false, 99}, {"0", false, 99},
                          {"abc", false, 99}, {"98", true, 98},   {"1", true, 1},     {"30", true, 30},
                          {" 98 ", true, 98}, {"", true, 99}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        open(99);
        screen->CmbOutNo->setEditText(QString::fromUtf8(c.typed));
        EXPECT_EQ(screen->validateTypedNumber(), c.accepted);
        EXPECT_EQ(screen->patient(), c.shown);
        if (c.accepted) {
            EXPECT_TRUE(t.boxes->shown.isEmpty());
        } else {
            ASSERT_EQ(t.boxes->shown.size(), 1);
            EXPECT_EQ(t.boxes->shown[0].title + "|" + t.boxes->shown[0].text,
                      "範囲外エラー|患者番号が範囲外です。再入力してください。");
            EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
        }
    }
}

// A keyboard user after the six PDF runs: click into the box, select, type 3 1, Tab. Keys go
// through the focused widget of the shown, active window as real key presses do; the combo box
// (not its line edit) is the widget that loses the focus then.
TEST_F(ChartScreenTest, TypedNumberLeftWithTabIsCheckedAfterThePdfRuns) {
    open(99);
    screen->show();
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    for (int i = 3; i < 6; ++i) {
        screen->BtnPrintChart[i]->click();
        screen->BtnPrintData[i]->click();
    }
    // The completion boxes took the activation; the user's click brings the window back.
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    QTest::mouseClick(screen->CmbOutNo->lineEdit(), Qt::LeftButton);
    QApplication::processEvents();
    auto keys = [](auto&& send) {
        QWidget* w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr);
        send(w);
        QApplication::processEvents();
    };
    keys([](QWidget* w) { QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier); });
    keys([](QWidget* w) { QTest::keyClick(w, Qt::Key_3); });
    keys([](QWidget* w) { QTest::keyClick(w, Qt::Key_1); });
    EXPECT_EQ(screen->CmbOutNo->currentText(), "31");
    t.boxes->clear();
    keys([](QWidget* w) { QTest::keyClick(w, Qt::Key_Tab); });
    QApplication::processEvents();
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].title + "|" + t.boxes->shown[0].text,
              "範囲外エラー|患者番号が範囲外です。再入力してください。");
    EXPECT_EQ(QApplication::focusWidget(), screen->CmbOutNo);
    EXPECT_EQ(screen->patient(), 99);
}

// The same with each box a real modal window with its own event loop, answered by a Return
// key press once it is the active window, as the completion boxes of the PDF runs are.
TEST_F(ChartScreenTest, TypedNumberLeftWithTabIsCheckedAfterPdfRunsWithModalBoxes) {
    t.boxes->onShow = [](const MsgBoxRequest& r) {
        QMessageBox box(QMessageBox::Information, r.title, r.text, QMessageBox::Ok,
                        QApplication::activeWindow());
        QTimer::singleShot(0, &box, [&box] {
            box.activateWindow();
            (void)QTest::qWaitForWindowActive(&box);
            QTest::keyClick(&box, Qt::Key_Return);
        });
        box.exec();
    };
    open(99);
    screen->show();
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    for (int i = 3; i < 6; ++i) {
        QTest::mouseClick(screen->BtnPrintChart[i], Qt::LeftButton);
        QTest::mouseClick(screen->BtnPrintData[i], Qt::LeftButton);
    }
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    QTest::mouseClick(screen->CmbOutNo->lineEdit(), Qt::LeftButton);
    QApplication::processEvents();
    for (auto [key, mod] : {std::pair{Qt::Key_A, Qt::ControlModifier}, std::pair{Qt::Key_3, Qt::NoModifier},
                            std::pair{Qt::Key_1, Qt::NoModifier}}) {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), key, mod);
        QApplication::processEvents();
    }
    EXPECT_EQ(screen->CmbOutNo->currentText(), "31");
    t.boxes->clear();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QApplication::processEvents();
    QTest::qWait(50);
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].title + "|" + t.boxes->shown[0].text,
              "範囲外エラー|患者番号が範囲外です。再入力してください。");
    // The window gets the activation back from the closed box (at once with a window manager).
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    EXPECT_EQ(QApplication::focusWidget(), screen->CmbOutNo);
    EXPECT_EQ(screen->CmbOutNo->currentText(), "31");
    EXPECT_EQ(screen->patient(), 99);
}

TEST_F(ChartScreenTest, PatientBoxOffersCasesAndSamplesAndOpensOnTheCurrentPatient) {
    open(0);
    ASSERT_EQ(screen->CmbOutNo->count(), 32);
    EXPECT_EQ(QList<int>({screen->CmbOutNo->itemData(0).toInt(), screen->CmbOutNo->itemData(29).toInt(),
                          screen->CmbOutNo->itemData(30).toInt(), screen->CmbOutNo->itemData(31).toInt()}),
              QList<int>({1, 30, 98, 99}));
    EXPECT_EQ(screen->patient(), 0);
    EXPECT_EQ(screen->CmbOutNo->currentText(), "");
    EXPECT_EQ(screen->SSTab1->currentIndex(), 0);

    open(99);
    EXPECT_EQ(screen->CmbOutNo->currentText(), "99");
    EXPECT_EQ(screen->patient(), 99);
}

// ---------------------------------------------------------------- figures and lists

TEST_F(ChartScreenTest, SamplePatientShowsItsFourStages) {
    direct()->execute("UPDATE TPatient SET Address1=' 12' WHERE ID=99");
    open(99);
    EXPECT_EQ(screen->LblApplyNo->text(), " 12");
    const QStringList entries = {"2023/05/15  初診時", "2023/08/21  基本治療終了時", "2024/01/29  ＳＰＴ移行時",
                                 "2024/08/05  最新ＳＰＴ時"};
    ASSERT_EQ(screen->LstEntry->count(), entries.size());
    for (int i = 0; i < entries.size(); ++i)
        EXPECT_EQ(screen->LstEntry->item(i)->text(), entries[i]);
    // Band limits of the pocket item: 1, 4, 6.
    EXPECT_EQ(QStringList({screen->LblGPH[0]->text(), screen->LblGPH[1]->text(), screen->LblGPH[2]->text()}),
              QStringList({"1-3㎜", "4-5㎜", "6㎜以上"}));
    EXPECT_EQ(figureRow(0), QStringList({"初診時", "2023/05/15", "28", "168", "60 (35.7%)", "3.4㎜", "95 (56.5%)",
                                         "57 (33.9%)", "16 (9.5%)"}));
    EXPECT_EQ(figureRow(3), QStringList({"最新ＳＰＴ時", "2024/08/05", "28", "168", "20 (11.9%)", "2.8㎜",
                                         "143 (85.1%)", "25 (14.9%)", "0 (0.0%)"}));
}

TEST_F(ChartScreenTest, StagesWithoutDataLeaveTheirFiguresEmpty) {
    copyStageTo5(3);
    open(5);
    EXPECT_EQ(screen->LblApplyNo->text(), "");
    ASSERT_EQ(screen->LstEntry->count(), 1);
    EXPECT_EQ(screen->LstEntry->item(0)->text(), "2024/01/29  ＳＰＴ移行時");
    const QStringList empty = {"", "", "", "", "", "", "", ""};
    for (int s : {0, 1, 3}) {
        const QStringList row = figureRow(s);
        EXPECT_EQ(row.mid(1), empty) << s; // no "0" or "0.0" for a stage without data
        EXPECT_FALSE(row[0].isEmpty()) << s;
    }
    EXPECT_EQ(figureRow(2)[2], "28");
    // Mobility of the upper pair: nothing; the lower pair shows the SPT side only.
    for (int tooth = 0; tooth < 32; ++tooth)
        EXPECT_EQ(screen->LblMOB[tooth]->text(), "");
    EXPECT_TRUE(screen->LblMOB[32 + 1]->text().endsWith("→"));

    // Switching back to a patient with data fills them again; to one without, clears.
    screen->selectPatient(99);
    EXPECT_EQ(figureRow(0)[1], "2023/05/15");
    screen->selectPatient(1);
    EXPECT_EQ(figureRow(0).mid(1), empty);
    EXPECT_EQ(screen->LstEntry->count(), 0);
}

TEST_F(ChartScreenTest, ToothCellsShowFurcationAndStatusOfThePreferredStage) {
    open(99);
    for (int pair = 0; pair < 2; ++pair) {
        const ChartStageData& prio = screen->stages()[pair == 0 ? 0 : 3];
        for (int tooth = 0; tooth < 32; ++tooth) {
            SCOPED_TRACE(pair * 32 + tooth);
            ToothButton* c = screen->Th[pair * 32 + tooth];
            EXPECT_EQ(c->kind(), ToothButton::KindSixSite);
            EXPECT_EQ(c->status(), prio.ToothStatus[tooth]);
            for (int site = 0; site < 6; ++site) {
                const int v = prio.Furcation[tooth * 6 + site];
                const int expected = (v == kNoValue || !IsRemainingTooth(prio.ToothStatus[tooth])) ? -1 : v;
                EXPECT_EQ(c->value(site, 0), expected);
            }
        }
    }
    // The sample has furcation marks somewhere, so the comparison above means something.
    int marks = 0;
    for (ToothButton* c : screen->Th)
        for (int site = 0; site < 6; ++site)
            marks += c->value(site, 0) > 0;
    EXPECT_GT(marks, 0);
}

// ---------------------------------------------------------------- print buttons

TEST_F(ChartScreenTest, PrintButtonsRefuseWhenTheirSheetHasNoData) {
    copyStageTo5(3);
    struct Case {
        int patient;
        bool chartRefused;
        bool dataRefused;
    };
    // Patient 1 has nothing; patient 5 only "ＳＰＴ移行時" (chart yes, data sheet no).
    for (const Case& c : {Case{1, true, true}, Case{5, false, true}}) {
        open(c.patient);
        EXPECT_EQ(ChartSheetPrintable(screen->stages()), !c.chartRefused);
        EXPECT_EQ(DataSheetPrintable(screen->stages()), !c.dataRefused);
        for (int i = 0; i < 12; ++i) {
            SCOPED_TRACE(QString("patient %1 button %2").arg(c.patient).arg(i).toStdString());
            if (!(i < 6 ? c.dataRefused : c.chartRefused)) continue;
            t.boxes->clear();
            (i < 6 ? screen->BtnPrintData[i] : screen->BtnPrintChart[i - 6])->click();
            ASSERT_EQ(t.boxes->shown.size(), 1);
            EXPECT_EQ(t.boxes->shown[0].text, "印刷対象のデータがありません。");
            EXPECT_EQ(sounds(), QStringList{"click1.wav"});
        }
    }
}

TEST_F(ChartScreenTest, PdfButtonsWriteTheSheetOfTheirKindForThePatientShown) {
    direct()->execute("UPDATE TPatient SET Address1=' 7 ' WHERE ID=99");
    open(99);
    const QString folder = t.paths->desktop + "/KVR-DB-SAVE";
    struct Case {
        QPushButton* button;
        const char* file; // written at the fixed clock, 2024-08-14 16:30
    };
    const Case cases[] = {
        {screen->BtnPrintChart[3], "S_123456_7_C_20240814_1630.pdf"},
        {screen->BtnPrintChart[4], "N_123456_7_C_20240814_1630.pdf"},
        {screen->BtnPrintData[5], "H_123456_7_D_20240814_1630.pdf"},
    };
    for (const Case& c : cases) {
        t.boxes->clear();
        c.button->click();
        EXPECT_TRUE(QFile::exists(folder + "/" + c.file)) << c.file;
        ASSERT_FALSE(t.boxes->shown.isEmpty());
        EXPECT_EQ(t.boxes->shown.last().text, "プリンタへの出力が完了しました。　　");
    }
    // The screen's patient decides: patient 98 has no case number, so its number names the file.
    screen->selectPatient(98);
    screen->BtnPrintChart[3]->click();
    EXPECT_TRUE(QFile::exists(folder + "/S_123456_98_C_20240814_1630.pdf"));
}

// Each print button sits under the heading of its applicant kind (index modulo 3); inputs
// read as their labels.
TEST_F(ChartScreenTest, ButtonsSitUnderTheirKindAndCarryTheirNames) {
    open(99);
    const char* kinds[] = {"専門医", "認定医", "認定歯科衛生士"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(screen->BtnPrintChart[i]->accessibleDescription(), QString("BtnPrintChart%1").arg(i));
        for (QPushButton* b : {screen->BtnPrintChart[i], screen->BtnPrintData[i]}) {
            auto* box = qobject_cast<QGroupBox*>(b->parentWidget());
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->title(), kinds[i % 3]) << i;
        }
    }
    EXPECT_EQ(QStringList({screen->CmbOutNo->accessibleName(), screen->LstEntry->accessibleName()}),
              QStringList({"患者番号", "登録済一覧"}));
}

TEST_F(ChartScreenTest, ReturnButtonAndEscapePlayWarpAndClose) {
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

// Every button of the screen plays "click1.wav" and then refuses, asks for the printer or
// reports completion: patient 1 has nothing; patient 5 only "ＳＰＴ移行時" and "最新ＳＰＴ時",
// which the chart sheet prints and the data sheet refuses. The printer dialog is cancelled
// (a silent end) or answered.
TEST_F(ChartScreenTest, EveryButtonPlaysItsSoundAndRefusesOrRuns) {
    copyStageTo5(3);
    copyStageTo5(4);
    bool choose = false;
    int dialogs = 0;
    const QString printed = t.paths->app + "/printed.pdf";
    setPrinterDialogFunction([&](QPrinter& printer, QWidget*) {
        ++dialogs;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printed);
        return choose;
    });
    const QString refused = "確認|印刷対象のデータがありません。", done = "完了|プリンタへの出力が完了しました。　　";
    enum Outcome { Refused, Dialog, Pdf };
    struct Case {
        int patient;
        QString button;
        Outcome outcome;
    };
    QList<Case> cases;
    for (int i = 0; i < 6; ++i) {
        cases.append({1, QString("BtnPrintChart%1").arg(i), Refused});
        cases.append({1, QString("BtnPrintData%1").arg(i), Refused});
        cases.append({5, QString("BtnPrintChart%1").arg(i), i < 3 ? Dialog : Pdf});
        cases.append({5, QString("BtnPrintData%1").arg(i), Refused});
    }
    cases.append({1, "BtnBlankPrint", Dialog});
    cases.append({5, "BtnBlankPrint", Dialog});
    for (const Case& c : cases) {
        for (bool answer : {false, true}) {
            if (c.outcome != Dialog && answer) continue;
            SCOPED_TRACE(QString("patient %1 %2 %3").arg(c.patient).arg(c.button).arg(answer).toStdString());
            open(c.patient);
            choose = answer;
            dialogs = 0;
            QPushButton* b = nullptr;
            for (QPushButton* p : screen->findChildren<QPushButton*>())
                if (p->accessibleDescription() == c.button) b = p;
            ASSERT_NE(b, nullptr);
            b->click();
            EXPECT_EQ(sounds(), QStringList{"click1.wav"});
            QStringList shown;
            for (const auto& box : t.boxes->shown)
                shown << box.title + "|" + box.text;
            switch (c.outcome) {
            case Refused:
                EXPECT_EQ(shown, QStringList{refused});
                EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Exclamation);
                EXPECT_EQ(dialogs, 0);
                break;
            case Dialog:
                EXPECT_EQ(dialogs, 1);
                EXPECT_EQ(shown, answer ? QStringList{done} : QStringList{});
                break;
            case Pdf:
                EXPECT_EQ(dialogs, 0);
                EXPECT_EQ(shown, QStringList{done});
                EXPECT_EQ(t.boxes->shown.last().icon, MsgIcon::Information);
                break;
            }
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        }
    }
    setPrinterDialogFunction({});
}

// A patient with only the last two stages: the upper pair and its figure rows stay empty,
// the lower pair shows both stages; the chart tab is the one shown.
TEST_F(ChartScreenTest, PatientWithOnlyTheLastTwoStages) {
    copyStageTo5(3);
    copyStageTo5(4);
    open(5);
    EXPECT_EQ(screen->SSTab1->currentIndex(), 0);
    ASSERT_EQ(screen->LstEntry->count(), 2);
    EXPECT_EQ(screen->LstEntry->item(0)->text(), "2024/01/29  ＳＰＴ移行時");
    EXPECT_EQ(screen->LstEntry->item(1)->text(), "2024/08/05  最新ＳＰＴ時");
    for (int s : {0, 1})
        EXPECT_EQ(figureRow(s).mid(1), QStringList(8, QString())) << s;
    EXPECT_EQ(figureRow(2).mid(1, 2), QStringList({"2024/01/29", "28"}));
    EXPECT_EQ(figureRow(3).mid(1, 2), QStringList({"2024/08/05", "28"}));
    int upper = 0, lower = 0;
    for (int t = 0; t < 32; ++t) {
        upper += !screen->LblMOB[t]->text().isEmpty();
        lower += !screen->LblMOB[32 + t]->text().isEmpty();
    }
    EXPECT_EQ(upper, 0);
    EXPECT_GT(lower, 0);
    EXPECT_FALSE(DataSheetPrintable(screen->stages()));
    EXPECT_TRUE(ChartSheetPrintable(screen->stages()));
}

// The captions of the screen as written: the pairs' priority notes, the mobility headings,
// the buttons and the kinds heading their rows.
TEST_F(ChartScreenTest, CaptionsAndPriorityNotesAsWritten) {
    open(99);
    auto label = [&](const char* name) {
        auto* l = screen->findChild<QLabel*>(name);
        return l ? l->text() : QString("(none)");
    };
    EXPECT_EQ(label("LblNote0"), "＊根分岐部病変 および 歯の情報表示は、初診時が優先されます。");
    EXPECT_EQ(label("LblNote1"), "＊根分岐部病変 および 歯の情報表示は、最新ＳＰＴ時 が優先されます。");
    EXPECT_EQ(screen->LblMOBH[0]->text(), "初→基");
    EXPECT_EQ(screen->LblMOBH[1]->text(), "S→最");
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(screen->BtnPrintChart[i]->text(), i < 3 ? "チャート印刷" : "PDF出力") << i;
        EXPECT_EQ(screen->BtnPrintData[i]->text(), i < 3 ? "検査データ印刷" : "PDF出力") << i;
    }
    EXPECT_EQ(screen->BtnBlankPrint->text(), "ブランク印刷");
    EXPECT_EQ(screen->BtnEnd->text(), "入力画面に戻る");
}

// On a larger screen the left column's text grows with the chart tab's, and its width with
// it (4K at 200 % gives a window of 1920 x 1080 device-independent pixels).
TEST_F(ChartScreenTest, LeftColumnGrowsWithTheChartText) {
    open(99);
    QWidget* side = screen->findChild<QWidget*>("SidePanel");
    ASSERT_NE(side, nullptr);
    const struct {
        int w, h, panel;
        double factor;
    } sizes[] = {{1366, 740, 236, 1.0}, {1920, 1080, 331, 1920 / 1366.0}, {1366, 768, 236, 1.0}};
    for (const auto& c : sizes) {
        screen->resize(c.w, c.h);
        screen->show();
        QApplication::processEvents();
        EXPECT_EQ(side->width(), c.panel) << c.w;
        EXPECT_NEAR(side->font().pointSizeF(), QApplication::font().pointSizeF() * c.factor, 0.01) << c.w;
        EXPECT_EQ(side->font(), screen->SSTab1->widget(0)->font()) << c.w;
        // Every button's caption fits.
        for (QPushButton* b : side->findChildren<QPushButton*>())
            EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text())) << b->text().toStdString() << c.w;
    }
}

// ---------------------------------------------------------------- data-sheet preview

TEST_F(ChartScreenTest, PreviewShowsThePatientOfTheOpeningAndScrollsOverTheSheet) {
    copyStageTo5(3);
    direct()->execute("UPDATE TPatient SET Address1='  A-7 ' WHERE ID=99");
    open(99);
    QStringList titles;
    QList<int> patients;
    const auto sheetDraw = screen->PicDraw->draw;
    screen->PicDraw->draw = [&](QPainter& p, const SheetSource& s) {
        titles << QGuiApplication::applicationDisplayName();
        patients << s.patientNo;
        // The painter's unit is one millimetre of the 210 mm wide sheet.
        EXPECT_NEAR(p.transform().m11() * 210.0, screen->PicDraw->width(), 0.5);
        return 64.0;
    };
    const QString title = QGuiApplication::applicationDisplayName();
    screen->resize(1366, 740);
    screen->SSTab1->setCurrentIndex(1);
    screen->show();
    screen->selectPatient(5); // the chart tab follows, the preview stays on 99
    screen->PicDraw->render();
    EXPECT_EQ(patients.last(), 99);
    EXPECT_EQ(titles.last(), "  A-7 "); // the case number as stored
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), title);

    const int w = screen->PicFrame->width(), frameH = screen->PicFrame->height();
    EXPECT_EQ(screen->PicDraw->width(), w);
    EXPECT_EQ(screen->PicDraw->height(), int(w * 455.0 / 210.0));
    EXPECT_EQ(screen->VScrPic->maximum(), screen->PicDraw->height() - frameH);
    EXPECT_EQ(screen->VScrPic->pageStep(), screen->VScrPic->maximum() / 10);
    screen->VScrPic->setValue(100);
    EXPECT_EQ(screen->PicDraw->y(), -100);

    // Drawn for real: something but white in the first and fourth block, nothing below.
    screen->PicDraw->draw = sheetDraw;
    screen->PicDraw->render();
    const QImage page = screen->PicDraw->grab().toImage();
    auto inkIn = [&](double topMm, double bottomMm) {
        int ink = 0;
        const double pxPerMm = page.height() / 455.0;
        for (int y = int(topMm * pxPerMm); y < int(bottomMm * pxPerMm) && y < page.height(); y += 2)
            for (int x = 0; x < page.width(); x += 2)
                ink += page.pixel(x, y) != qRgb(255, 255, 255);
        return ink;
    };
    EXPECT_GT(inkIn(0, 64), 1000);
    EXPECT_GT(inkIn(192, 256), 1000);
    EXPECT_EQ(inkIn(260, 455), 0);
}

// ---------------------------------------------------------------- view helpers

TEST(ChartViewModel, MobilityLabelShowsBothSidesOfThePair) {
    struct Case {
        int first, second;
        const char* text;
    };
    const Case cases[] = {{0, 1, "0→1"}, {2, 2, "2→2"}, {128, 3, "→3"}, {1, 128, "1→"}, {128, 128, ""}};
    for (int pair = 0; pair < 2; ++pair)
        for (const Case& c : cases) {
            ChartStages st;
            for (ChartStageData& s : st)
                s.HasData = true;
            st[pair * 2].Mobility[9] = std::uint8_t(c.first);
            st[pair * 2 + 1].Mobility[9] = std::uint8_t(c.second);
            EXPECT_EQ(MobilityText(st, pair, 9), c.text) << pair << " " << c.first << " " << c.second;
            EXPECT_EQ(MobilityText(st, 1 - pair, 9), "");
        }
    // A stage without data contributes no value, whatever its bytes hold.
    ChartStages st;
    st[0].Mobility[3] = 1;
    st[1].HasData = true;
    st[1].Mobility[3] = 2;
    EXPECT_EQ(MobilityText(st, 0, 3), "→2");
}

TEST(ChartViewModel, PreferredStageOfAPairFallsBackOnTheOther) {
    struct Case {
        std::array<bool, 4> data;
        int pair, slot;
    };
    const Case cases[] = {
        {{true, true, false, false}, 0, 0},  {{false, true, false, false}, 0, 1},
        {{false, false, false, false}, 0, 0}, {{false, false, true, true}, 1, 3},
        {{false, false, true, false}, 1, 2},  {{false, false, false, false}, 1, 3},
    };
    for (const Case& c : cases) {
        ChartStages st;
        for (int s = 0; s < 4; ++s) {
            st[s].HasData = c.data[s];
            st[s].ToothStatus[5] = std::uint16_t(s + 1);
        }
        EXPECT_EQ(PrioritySlot(st, c.pair), c.slot);
        EXPECT_EQ(PairToothStatus(st, c.pair)[5], c.data[c.slot] ? c.slot + 1 : 0);
    }
}

// ---------------------------------------------------------------- entry screen

class EntryToChartTest : public EntryScreenTest {};

TEST_F(EntryToChartTest, ChartCommandsOpenTheirTabAfterTheUnsavedQuestion) {
    QList<int> opened;
    screen->showChart = [&](QWidget*, int tab) { opened << tab; };
    pickPatient(99);
    ASSERT_TRUE(screen->CmdChartDR->isEnabled());
    ASSERT_TRUE(screen->CmdStyleDRS071->isEnabled());

    reply({});
    screen->CmdChartDR->click();
    screen->CmdStyleDRS071->click();
    EXPECT_EQ(opened, QList<int>({0, 1}));
    EXPECT_TRUE(t.boxes->shown.isEmpty());

    // Unsaved values: the question first; No opens the chart screen.
    opened.clear();
    screen->enterValue(5);
    ASSERT_TRUE(screen->unsaved());
    reply({MsgResult::No});
    screen->CmdChartDR->click();
    EXPECT_EQ(boxTexts(), QStringList{"データが保存されていません。保存しますか？　　"});
    EXPECT_EQ(opened, QList<int>{0});
}

} // namespace
