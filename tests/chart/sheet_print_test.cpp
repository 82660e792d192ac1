// The print buttons' runs: refusals, the PDF file in KVR-DB-SAVE and its name, the
// printer dialog path with its copies, a folder that cannot be made, and the printer
// mode of the system settings.
#include "chart/SheetFigures.h"
#include "shell/PFrmMessageS.h"
#include "sheet_fixture.h"

#include <QApplication>

using namespace kvr;
using namespace kvr::test;

namespace {

const QString kNothing = "印刷対象のデータがありません。";
const QString kDone = "プリンタへの出力が完了しました。　　";

class SheetPrintTest : public SheetTest {
protected:
    void SetUp() override {
        SheetTest::SetUp();
        QGuiApplication::setApplicationDisplayName("entry");
    }
    // Every box shown as "title|text".
    QStringList boxes() const {
        QStringList out;
        for (const auto& b : t.boxes->shown)
            out << b.title + "|" + b.text;
        return out;
    }
    void expectRestored() {
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::applicationDisplayName(), "entry");
    }
};

TEST_F(SheetPrintTest, RefusesWhereTheSheetHasNothingToShow) {
    auto none = namedStages();
    auto sptOnly = namedStages();
    sptOnly[2] = madeStage("ＳＰＴ移行時", 3, QDate(2024, 5, 1));
    auto basicOnly = namedStages();
    basicOnly[1] = madeStage("基本治療終了時", 3, QDate(2024, 5, 1));
    const struct {
        const char* name;
        const std::array<ChartStageData, 4>* stages;
        bool chartPrints, dataPrints;
    } cases[] = {{"no stage", &none, false, false},
                 {"only the move to SPT", &sptOnly, true, false},
                 {"only the end of basic therapy", &basicOnly, true, true}};
    for (const auto& c : cases) {
        for (bool data : {false, true}) {
            t.boxes->clear();
            QDir(app().SaveFolder).removeRecursively();
            const SheetSource src{c.stages, 7, ""};
            if (data)
                PrintDataSheet(nullptr, src, ApplicantKind::Specialist, true);
            else
                PrintChartSheet(nullptr, src, ApplicantKind::Specialist, true);
            const bool prints = data ? c.dataPrints : c.chartPrints;
            ASSERT_EQ(t.boxes->shown.size(), 1) << c.name;
            EXPECT_EQ(boxes()[0], prints ? "完了|" + kDone : "確認|" + kNothing) << c.name << data;
            EXPECT_EQ(t.boxes->shown[0].icon, prints ? MsgIcon::Information : MsgIcon::Exclamation);
            EXPECT_EQ(savedFiles().size(), prints ? 1 : 0) << c.name << data;
            expectRestored();
        }
    }
    EXPECT_EQ(dialogs, 0);
}

// The file is named by applicant kind, member, case (the patient number without one) and
// minute: a second run in the same minute replaces the file.
TEST_F(SheetPrintTest, PdfFileNamedByKindMemberCaseAndMinute) {
    auto stages = namedStages();
    stages[0] = madeStage("初診時", 3, QDate(2024, 5, 1));
    t.clock->current = QDateTime(QDate(2024, 8, 4), QTime(9, 5, 59));
    const struct {
        QString caseNumber;
        ApplicantKind kind;
        bool data;
        QString file, shown;
    } cases[] = {
        {"   ", ApplicantKind::Specialist, false, "S_123456_42_C_20240804_0905.pdf", "症例番号４２"},
        {"  K-7 ", ApplicantKind::CertifiedDentist, true, "N_123456_K-7_D_20240804_0905.pdf", "症例番号Ｋ－７"},
        {"12", ApplicantKind::CertifiedHygienist, false, "H_123456_12_C_20240804_0905.pdf", "症例番号１２"},
    };
    for (const auto& c : cases) {
        QDir(app().SaveFolder).removeRecursively();
        t.boxes->clear();
        const SheetSource src{&stages, 42, c.caseNumber};
        if (c.data)
            PrintDataSheet(nullptr, src, c.kind, true);
        else
            PrintChartSheet(nullptr, src, c.kind, true);
        EXPECT_EQ(savedFiles(), QStringList{c.file}); // nothing else, no temporary file
        const QString path = app().SaveFolder + "/" + c.file;
        EXPECT_TRUE(pdfTextCompact(path).contains(c.shown)) << c.file.toStdString();
        EXPECT_TRUE(runTool("pdfinfo", {path}).contains(QRegularExpression(
            "Title:\\s+" + QRegularExpression::escape(CaseIdentifier(c.caseNumber, 42)) + "\\n")));
        EXPECT_EQ(boxes(), QStringList{"完了|" + kDone});
        EXPECT_EQ(PFrmMessageS::MessageText, "ＰＤＦファイルへ出力中です。");
        expectRestored();
    }
    const SheetSource src{&stages, 42, "12"};
    for (const QTime& at : {QTime(9, 5, 0), QTime(9, 6, 0)}) {
        t.clock->current = QDateTime(QDate(2024, 8, 4), at);
        PrintChartSheet(nullptr, src, ApplicantKind::CertifiedHygienist, true);
    }
    EXPECT_EQ(savedFiles(), QStringList({"H_123456_12_C_20240804_0905.pdf", "H_123456_12_C_20240804_0906.pdf"}));
}

TEST_F(SheetPrintTest, FolderThatCannotBeMadeIsReportedAndLeavesNothing) {
    QFile blocker(t.paths->desktop + "/not-a-folder");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    app().SaveFolder = blocker.fileName() + "/KVR-DB-SAVE";
    auto stages = namedStages();
    stages[0] = madeStage("初診時", 3, QDate(2024, 5, 1));
    PrintChartSheet(nullptr, SheetSource{&stages, 5, ""}, ApplicantKind::Specialist, true);
    EXPECT_EQ(boxes(), QStringList{"エラー|「" + app().SaveFolder + "」が作成できません。\r\n\r\nＰＤＦ出力できません。"});
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(QDir(t.paths->desktop).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"not-a-folder"});
    expectRestored();
}

TEST_F(SheetPrintTest, PrinterDialogPathDrawsTheChosenCopies) {
    auto stages = namedStages();
    stages[0] = madeStage("初診時", 3, QDate(2024, 5, 1));
    stages[1] = madeStage("基本治療終了時", 2, QDate(2024, 7, 1));
    const SheetSource src{&stages, 5, "A1"};

    dialogAnswer = false; // cancel: silent
    PrintChartSheet(nullptr, src, ApplicantKind::Specialist, false);
    DrawBlankChart(nullptr);
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_FALSE(QFile::exists(printedPath()));
    expectRestored();

    dialogAnswer = true;
    const struct {
        std::function<void()> run;
        int copies;
        QString text;
    } cases[] = {
        {[&] { PrintChartSheet(nullptr, src, ApplicantKind::Specialist, false); }, 2, "検査チャート表"},
        {[&] { PrintDataSheet(nullptr, src, ApplicantKind::CertifiedDentist, false); }, 3, "検査データ表"},
        {[&] { DrawBlankChart(nullptr); }, 1, "ヴェルダ学会専門医症例報告書"},
    };
    for (const auto& c : cases) {
        t.boxes->clear();
        QFile::remove(printedPath());
        dialogCopies = c.copies;
        c.run();
        EXPECT_EQ(boxes(), QStringList{"完了|" + kDone});
        EXPECT_TRUE(runTool("pdfinfo", {printedPath()})
                        .contains(QRegularExpression(QString("Pages:\\s+%1\\n").arg(c.copies))))
            << c.text.toStdString();
        const QString text = pdfTextCompact(printedPath());
        EXPECT_EQ(text.count(c.text), c.copies) << c.text.toStdString();
        expectRestored();
    }
    EXPECT_TRUE(savedFiles().isEmpty()); // the print path writes nothing into KVR-DB-SAVE
}

} // namespace
