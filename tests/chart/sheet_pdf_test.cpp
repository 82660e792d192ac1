// The sheets as PDF files, read back with poppler: page, fonts, titles, the figures
// against the statistics, stages without data and the places of the data-sheet blocks.
#include "chart/SheetFigures.h"
#include "chart/SheetPainter.h"
#include "exam/CExamData.h"
#include "sheet_fixture.h"

#include <QPainter>
#include <QPdfWriter>

using namespace kvr;
using namespace kvr::test;

namespace {

class SheetPdfTest : public SheetTest {
protected:
    QString write(SheetKind sheet, const std::array<ChartStageData, 4>& stages, ApplicantKind kind = ApplicantKind::Specialist,
                  bool periodProblem = false, const QString& caseNumber = "") {
        const QString path = pdfPath(QString("sheet%1.pdf").arg(++n));
        const SheetSource src{&stages, 99, caseNumber};
        EXPECT_TRUE(WriteSheetPdf(path, sheet, src, kind, periodProblem));
        return path;
    }
    int n = 0;
};

// The words at the left edge of the figure table's caption column of the data sheet.
QList<PdfWord> dataCaptions(const QList<PdfWord>& words, const QString& caption) {
    QList<PdfWord> out;
    for (const PdfWord& w : wordsNamed(words, caption))
        if (w.xMin > 140) out.push_back(w);
    return out;
}

TEST_F(SheetPdfTest, PageFontsTitlesAndFormNumbersForEveryKind) {
    const auto stages = loadStages(99);
    const QString out = qEnvironmentVariable("KVR_SHEET_OUT"); // keeps the files for a look
    for (int k = 0; k < 3; ++k) {
        const auto kind = ApplicantKind(k);
        const struct {
            SheetKind sheet;
            QString title, formNo;
        } sheets[] = {{SheetKind::Chart, ChartSheetTitle(kind), ChartSheetFormNo(kind)},
                      {SheetKind::Data, DataSheetTitle(kind), DataSheetFormNo(kind)}};
        for (const auto& s : sheets) {
            const QString path = write(s.sheet, stages, kind);
            if (!out.isEmpty() && k == 0) QFile::copy(path, out + QString("/sheet%1.pdf").arg(int(s.sheet)));
            const QString info = runTool("pdfinfo", {path});
            EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\n"))) << info.toStdString();
            EXPECT_TRUE(info.contains(QRegularExpression("Page size:\\s+595(\\.\\d+)? x 841\\.89 pts \\(A4\\)")) ||
                        info.contains(QRegularExpression("Page size:\\s+595 x 842 pts \\(A4\\)")))
                << info.toStdString();
            EXPECT_TRUE(info.contains(QRegularExpression("Page rot:\\s+0\\n")));
            EXPECT_TRUE(info.contains(QRegularExpression("Title:\\s+99\\n")));

            const QStringList fonts = runTool("pdffonts", {path}).split('\n', Qt::SkipEmptyParts).mid(2);
            ASSERT_GE(fonts.size(), 3);
            for (const QString& f : fonts) {
                EXPECT_TRUE(f.startsWith("IPA")) << f.toStdString();
                EXPECT_EQ(f.split(' ', Qt::SkipEmptyParts).at(f.split(' ', Qt::SkipEmptyParts).size() - 5), "yes")
                    << "not embedded: " << f.toStdString();
            }
            const QString text = pdfTextCompact(path);
            EXPECT_TRUE(text.contains(noBlanks(s.title))) << s.title.toStdString();
            EXPECT_TRUE(text.contains(s.formNo));
            EXPECT_TRUE(text.contains("症例番号９９"));
        }
    }
    const QString blank = write(SheetKind::Blank, stages);
    if (!out.isEmpty()) QFile::copy(blank, out + "/sheet2.pdf");
    EXPECT_TRUE(pdfTextCompact(blank).contains("ヴェルダ学会専門医症例報告書"));
}

TEST_F(SheetPdfTest, FiguresOfTheSamplePatientAreTheStatisticsTexts) {
    const auto stages = loadStages(99);
    const auto g = PocketBandLimits();
    const QList<PdfWord> chart = pdfWords(write(SheetKind::Chart, stages));
    const QList<PdfWord> data = pdfWords(write(SheetKind::Data, stages));
    int blocks = 0;
    for (int k = 0; k < 4; ++k) {
        const ChartStageData& s = stages[k];
        ASSERT_TRUE(s.HasData) << k; // the sample patient has all four stages
        const StageFigures f = StageFiguresOf(s, g);
        // Chart sheet: the stage's row of the figure table.
        const auto names = wordsNamed(chart, f.stage);
        ASSERT_FALSE(names.isEmpty()) << k;
        EXPECT_EQ(wordsBeside(chart, names[0], 0, 170),
                  noBlanks(f.date + f.teeth + f.ppdCount + f.bop + ChartMeanText(f, true) + f.bands[0] + f.bands[1] +
                           f.bands[2]))
            << k;
        // Data sheet: the block's figure table, caption by caption.
        const struct {
            QString caption, value;
        } rows[] = {{"ステージ", f.stage}, {"検査日", f.date},   {"現在歯数", f.teeth}, {"ｲﾝﾌﾟﾗﾝﾄ数", f.implants},
                    {"PPD平均", DataSheetMeanText(f, true)}, {"1-3mm", f.bands[0]}, {"4-6mm", f.bands[1]},
                    {"7mm以上", f.bands[2]}, {"BOP(+)率", f.bop}, {"PCR", f.pcr}};
        for (const auto& r : rows) {
            const auto at = dataCaptions(data, r.caption);
            ASSERT_EQ(at.size(), 4) << r.caption.toStdString();
            EXPECT_EQ(wordsBeside(data, at[blocks], 0, 30), noBlanks(r.value)) << r.caption.toStdString() << k;
        }
        EXPECT_TRUE(wordsBeside(data, dataCaptions(data, "PISA")[blocks], 0, 30).startsWith(noBlanks(f.pisa) + "mm"));
        EXPECT_TRUE(wordsBeside(data, dataCaptions(data, "PESA")[blocks], 0, 30).startsWith(noBlanks(f.pesa) + "mm"));
        ++blocks;
    }
}

// Slot 1 has no data; slot 2 has data but no remaining tooth.
TEST_F(SheetPdfTest, StagesWithoutDataOrTeethShowWhatTheyHave) {
    auto stages = namedStages();
    stages[0] = madeStage("初診時", 3, QDate(2024, 1, 10));
    stages[2] = madeStage("ＳＰＴ移行時", 3, QDate(2024, 6, 10));
    stages[2].ToothStatus.fill(kMissingTooth);

    const QList<PdfWord> chart = pdfWords(write(SheetKind::Chart, stages));
    auto row = [&](const QString& stage) { return wordsBeside(chart, wordsNamed(chart, stage)[0], 0, 170); };
    EXPECT_EQ(row("初診時"), "2024/01/1032192" "32(16.7%)" "3.0㎜" "192(100.0%)" "0(0.0%)" "0(0.0%)");
    EXPECT_EQ(row("基本治療終了時"), "");
    EXPECT_EQ(row("ＳＰＴ移行時"), "2024/06/10" "0" "0" "㎜");
    EXPECT_EQ(row("最新ＳＰＴ時"), "");

    const QList<PdfWord> data = pdfWords(write(SheetKind::Data, stages));
    const auto stageCaptions = dataCaptions(data, "ステージ");
    ASSERT_EQ(stageCaptions.size(), 2); // no block for a stage without data
    const struct {
        QString caption, value;
    } rows[] = {{"ステージ", "ＳＰＴ移行時"}, {"現在歯数", "0"}, {"PPD平均", "㎜(0点)"},
                {"BOP(+)率", ""},           {"PCR", "0%"}};
    for (const auto& r : rows)
        EXPECT_EQ(wordsBeside(data, dataCaptions(data, r.caption)[1], 0, 30), r.value) << r.caption.toStdString();
    EXPECT_TRUE(wordsBeside(data, dataCaptions(data, "PISA")[1], 0, 30).startsWith("0.0mm"));
    EXPECT_TRUE(wordsBeside(data, dataCaptions(data, "PESA")[1], 0, 30).startsWith("0.0mm"));
}

// Blocks stand at 26.5 + 63 k on paper whatever the stages before them; the preview stacks
// them 64 apart. A caption of 8 pt is centred in its 5.5636 mm row, 1.4 below the block top.
TEST_F(SheetPdfTest, DataBlocksKeepTheirSlotOnPaperAndCloseUpInThePreview) {
    auto stages = namedStages();
    stages[0] = madeStage("初診時", 2, QDate(2024, 1, 10));
    stages[3] = madeStage("最新ＳＰＴ時", 4, QDate(2024, 12, 10));
    const double captionOffset = 1.4 + (5.5636363 - 8 * 25.4 / 72) / 2;

    for (bool period : {false, true}) {
        const QList<PdfWord> paper = pdfWords(write(SheetKind::Data, stages, ApplicantKind::Specialist, period));
        const auto at = dataCaptions(paper, "ステージ");
        ASSERT_EQ(at.size(), 2);
        EXPECT_NEAR(at[0].yMin, 26.5 + captionOffset, 0.05);
        EXPECT_NEAR(at[1].yMin, 215.5 + captionOffset, 0.05);
        // The red mark of the stage-period check.
        const auto marks = wordsNamed(paper, "●");
        ASSERT_EQ(marks.size(), period ? 1 : 0);
        if (period) EXPECT_NEAR(marks[0].xMin, 160.5, 0.05);
    }

    const QString preview = pdfPath("preview.pdf");
    double height = 0;
    {
        QPdfWriter w(preview);
        w.setPageSize(QPageSize(QPageSize::A4));
        w.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p(&w);
        SheetPainter::toMillimetres(p, w);
        height = DrawDataPreview(p, SheetSource{&stages, 99, ""});
    }
    EXPECT_EQ(height, 128.0);
    const auto at = dataCaptions(pdfWords(preview), "ステージ");
    ASSERT_EQ(at.size(), 2);
    EXPECT_NEAR(at[0].yMin, captionOffset, 0.05);
    EXPECT_NEAR(at[1].yMin, 64 + captionOffset, 0.05);
}

} // namespace
