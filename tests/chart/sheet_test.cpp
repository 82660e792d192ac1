// The case-report sheets: the millimetre painter and the chart pieces against values
// worked out by hand, the sheets as PDF files read back with poppler (page, fonts, titles,
// figures, block places), and the print buttons' runs (refusals, file names, the printer
// dialog, a folder that cannot be made).
#include "chart/ChartStats.h"
#include "chart/SheetChart.h"
#include "chart/SheetFigures.h"
#include "chart/SheetPainter.h"
#include "chart/Sheets.h"
#include "chart/ToothPictures.h"
#include "data/member_db_fixture.h"
#include "exam/CExamData.h"
#include "platform/printing.h"
#include "shell/PFrmMessageS.h"

#include <QApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>

#include <cmath>

using namespace kvr;
using namespace kvr::test;

namespace {

// IPAGothic ("ＭＳ ゴシック") is monospaced: a full-width character is one em, a
// half-width one half an em; 10 pt = 3.527778 mm.
constexpr double kEm10 = 10 * 25.4 / 72;
const QString kNothing = "確認|印刷対象のデータがありません。";
const QString kDone = "完了|プリンタへの出力が完了しました。　　";

QString runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Without any white space, the ideographic blank included (layout splits cells with blanks).
QString noBlanks(QString s) {
    static const QRegularExpression blanks("\\s", QRegularExpression::UseUnicodePropertiesOption);
    return s.remove(blanks);
}
QString pdfText(const QString& path) { return noBlanks(runTool("pdftotext", {"-layout", path, "-"})); }
bool infoHas(const QString& path, const QString& re) {
    return runTool("pdfinfo", {path}).contains(QRegularExpression(re));
}

// A word of a PDF page with its box in millimetres.
struct PdfWord {
    int page;
    QString text;
    double xMin, yMin, xMax, yMax;
};

QList<PdfWord> pdfWords(const QString& path) {
    static const QRegularExpression wordRe(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>");
    QList<PdfWord> words;
    int page = 0;
    const double k = 25.4 / 72.0;
    for (const QString& line : runTool("pdftotext", {"-bbox", path, "-"}).split('\n')) {
        if (line.contains("<page ")) ++page;
        const auto m = wordRe.match(line);
        if (m.hasMatch())
            words.push_back({page, m.captured(5), m.captured(1).toDouble() * k, m.captured(2).toDouble() * k,
                             m.captured(3).toDouble() * k, m.captured(4).toDouble() * k});
    }
    return words;
}

// The words equal to text, top to bottom; with minX only those right of it (the data
// sheet's figure captions stand right of 140 mm).
QList<PdfWord> wordsNamed(const QList<PdfWord>& all, const QString& text, double minX = -1) {
    QList<PdfWord> out;
    for (const PdfWord& w : all)
        if (w.text == text && w.xMin > minX) out.push_back(w);
    std::sort(out.begin(), out.end(), [](const PdfWord& a, const PdfWord& b) {
        return a.page != b.page ? a.page < b.page : a.yMin < b.yMin;
    });
    return out;
}
QList<PdfWord> dataCaptions(const QList<PdfWord>& all, const QString& caption) {
    return wordsNamed(all, caption, 140);
}

// The words on the line of `anchor` (within 1 mm) up to `to` mm right of it, joined in x order.
QString wordsBeside(const QList<PdfWord>& all, const PdfWord& anchor, double to) {
    QList<PdfWord> line;
    for (const PdfWord& w : all)
        if (w.page == anchor.page && std::abs(w.yMin - anchor.yMin) < 1.0 && w.xMin > anchor.xMax &&
            w.xMin < anchor.xMax + to)
            line.push_back(w);
    std::sort(line.begin(), line.end(), [](const PdfWord& a, const PdfWord& b) { return a.xMin < b.xMin; });
    QString out;
    for (const PdfWord& w : line)
        out += w.text;
    return out;
}

// A stage with data: every tooth present, every depth `depth`, bleeding at site 0 of
// every tooth, plaque on one surface of every tooth.
ChartStageData madeStage(const QString& name, int depth, const QDate& date) {
    ChartStageData s;
    s.StageName = name;
    s.HasData = true;
    s.ExamDate = QDateTime(date, QTime(0, 0));
    s.Ppd.fill(std::uint8_t(depth));
    s.Bop.fill(0);
    for (int t = 0; t < 32; ++t) {
        s.Bop[t * 6] = 1;
        s.Plaque[t] = 1;
        s.Mobility[t] = 0;
    }
    return s;
}

// Hand-made stages: every slot named, none with data.
std::array<ChartStageData, 4> namedStages() {
    std::array<ChartStageData, 4> s;
    const QStringList names = {"初診時", "基本治療終了時", "ＳＰＴ移行時", "最新ＳＰＴ時"};
    for (int k = 0; k < 4; ++k)
        s[k].StageName = names[k];
    return s;
}

// Member database with the sample patient 99, a save folder on the test desktop and a
// printer dialog that never shows.
class SheetTest : public MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        app().SaveFolder = t.paths->desktop + "/KVR-DB-SAVE";
        static const bool pictures = (BuildToothPictureTable(builtAppFolder() + "/BMP"), true);
        (void)pictures;
        QGuiApplication::setApplicationDisplayName("entry");
        setPrinterDialogFunction([this](QPrinter& printer, QWidget*) {
            ++dialogs;
            if (!dialogAnswer) return false;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(printedPath());
            printer.setCopyCount(dialogCopies);
            return true;
        });
    }
    void TearDown() override {
        setPrinterDialogFunction({});
        MemberDbTest::TearDown();
    }

    // The stage slots of a patient as the chart screen loads them.
    std::array<ChartStageData, 4> loadStages(int patientId) {
        std::array<ChartStageData, 4> s = namedStages();
        auto conn = direct();
        for (int k = 0; k < 4; ++k)
            LoadChartStage(conn, patientId, k + 1, s[k]);
        return s;
    }
    QString write(SheetKind sheet, const std::array<ChartStageData, 4>& stages,
                  ApplicantKind kind = ApplicantKind::Specialist, bool periodProblem = false) {
        const QString path = t.paths->app + QString("/sheet%1.pdf").arg(++written);
        EXPECT_TRUE(WriteSheetPdf(path, sheet, SheetSource{&stages, 99, ""}, kind, periodProblem));
        return path;
    }
    // Draws on one A4 PDF page in millimetres; returns what `draw` returns.
    template <class F> auto drawPage(const QString& path, F draw) {
        QPdfWriter w(path);
        w.setPageSize(QPageSize(QPageSize::A4));
        w.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p(&w);
        SheetPainter::toMillimetres(p, w);
        return draw(p);
    }
    QString printedPath() const { return t.paths->app + "/printed.pdf"; }
    QStringList savedFiles() const {
        return QDir(app().SaveFolder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // Every box shown as "title|text".
    QStringList boxes() const {
        QStringList out;
        for (const auto& b : t.boxes->shown)
            out << b.title + "|" + b.text;
        return out;
    }
    // The wait cursor and the title a run sets are taken back.
    void expectRestored() {
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::applicationDisplayName(), "entry");
    }

    int written = 0, dialogs = 0, dialogCopies = 1;
    bool dialogAnswer = true;
};

// ------------------------------------------------------------------ painter and chart pieces

TEST(SheetFonts, TableMapsTheFourSheetFonts) {
    const QList<QPair<QString, QString>> table = {{"ＭＳ Ｐ明朝", "IPAPMincho"}, {"ＭＳ 明朝", "IPAMincho"},
                                                  {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"ＭＳ ゴシック", "IPAGothic"},
                                                  {"IPAGothic", "IPAGothic"}};
    for (const auto& [name, family] : table)
        EXPECT_EQ(SheetFontFamily(name), family) << name.toStdString();
}

// Fitting grows from 4 pt in steps of 0.6 while the rounded text width and height stay
// below the rounded box, then steps back 0.7. "ＡＢＣ" is 3 em = 1.058333 mm per point:
// box 30: the first size reaching 29.5 mm is 28.0 (27.4 gives 28.998) -> 27.3;
// box 10: 9.4 pt gives 9.95 -> rounds to 10 -> 8.7; box 5: 4.6 pt (4.87 -> 5) -> 3.9.
// The height limit stops the growth too: the text cell is one em, which rounds to
// 3 mm from 7.09 pt on; 7.0 pt (2.47 mm) still grows, 7.6 pt stops -> 6.9.
TEST_F(SheetTest, FitFontSizeStepsAsWorkedOut) {
    QPdfWriter w(t.paths->app + "/f.pdf");
    QPainter p(&w);
    SheetPainter sp(p);
    sp.setFont(kGothic, 10);
    for (auto [width, height, size] : {std::tuple{30.0, 30.0, 27.3}, {10.0, 10.0, 8.7}, {5.0, 5.0, 3.9},
                                       {100.0, 3.0, 6.9}}) {
        EXPECT_NEAR(sp.FitFontSize("ＡＢＣ", width, height), size, 1e-6) << width;
        EXPECT_EQ(sp.fontSize(), 10); // the current size is kept
    }
}

// Every case draws at (20, 40) at 10 pt.
TEST_F(SheetTest, PrintTextPlacesAndSpreadsAsWorkedOut) {
    const double w3 = 3 * kEm10; // "ＡＢＣ" at 10 pt
    const struct {
        const char* name;
        double width, height;
        QString text;
        bool fit;
        int align, count;
        QList<QPair<QString, double>> xs; // word and its left edge
        double top;
    } cases[] = {
        {"left", 60, 0, "ＡＢＣ", false, AlignLeft, 0, {{"ＡＢＣ", 20.0}}, 40.0},
        {"right", 60, 0, "ＡＢＣ", false, AlignRight, 0, {{"ＡＢＣ", 80.0 - w3}}, 40.0},
        {"right, half-width: half an em each", 60, 0, "AB12", false, AlignRight, 0, {{"AB12", 80.0 - 2 * kEm10}}, 40.0},
        {"centred in a box", 60, 10, "ＡＢＣ", false, AlignCenter, 0, {{"ＡＢＣ", 20.0 + (60 - w3) / 2}},
         40.0 + (10 - kEm10) / 2},
        {"spread, first four", 40, 0, "ＡＢＣＤＥ", false, AlignLeft, 4,
         {{"Ａ", 20.0}, {"Ｂ", 30.0}, {"Ｃ", 40.0}, {"Ｄ", 50.0}}, 40.0},
        {"spread, last four when right-aligned", 40, 0, "ＡＢＣＤＥ", false, AlignRight, 4,
         {{"Ｂ", 20.0}, {"Ｃ", 30.0}, {"Ｄ", 40.0}, {"Ｅ", 50.0}}, 40.0},
        {"shorter than the count: one piece", 40, 0, "ＡＢＣ", false, AlignRight, 4, {{"ＡＢＣ", 60.0 - w3}}, 40.0},
        {"fit never grows past the given size", 60, 0, "ＡＢＣ", true, AlignRight, 0, {{"ＡＢＣ", 80.0 - w3}}, 40.0},
        {"fit shrinks to the box: 3.9 pt in 5 mm", 5, 0, "ＡＢＣ", true, AlignRight, 0,
         {{"ＡＢＣ", 25.0 - 3 * 3.9 * 25.4 / 72}}, 40.0},
    };
    const QString path = t.paths->app + "/p.pdf";
    for (const auto& c : cases) {
        drawPage(path, [&](QPainter& p) {
            SheetPainter sp(p);
            sp.InitPrinter();
            sp.setFont(kGothic, 10);
            sp.PrintText(20, 40, c.width, c.height, c.text, c.fit, 10, c.align, Qt::black, c.count);
        });
        const QList<PdfWord> words = pdfWords(path);
        ASSERT_EQ(words.size(), c.xs.size()) << c.name;
        for (int i = 0; i < words.size(); ++i) {
            EXPECT_EQ(words[i].text, c.xs[i].first) << c.name;
            EXPECT_NEAR(words[i].xMin, c.xs[i].second, 0.05) << c.name;
            EXPECT_NEAR(words[i].yMin, c.top, 0.05) << c.name;
        }
    }
}

// The graph in units of 1/64 of the jaw: tooth j's sites stand at 4j + 1..3 by their place,
// quadrants 0 and 2 are visited mesial (place 2) to distal. The sheet puts those points on
// its strip, the two stages of a pair 0.12 mm apart.
TEST(PocketGraph, PointsStandAtTheirChartPlacesInVisitingOrder) {
    ChartStageData s;
    s.HasData = true;
    for (int site = 0; site < 6; ++site)
        s.Ppd[site] = std::uint8_t(site + 1); // tooth 18: 1..6 mm
    s.Ppd[8 * 6 + 0] = 7;                     // tooth 21, first row 7, 8, 9
    s.Ppd[8 * 6 + 1] = 8;
    s.Ppd[8 * 6 + 2] = 9;
    s.Ppd[18 * 6 + 3] = 15; // tooth 46: deeper than the limit; site 4 unmeasured
    s.Ppd[18 * 6 + 5] = 2;
    const struct {
        int jaw, row;
        QList<QPointF> points;
    } cases[] = {
        {0, 0, {{3, 3}, {2, 2}, {1, 1}, {33, 7}, {34, 8}, {35, 9}}},
        {0, 1, {{3, 6}, {2, 5}, {1, 4}}},
        {1, 1, {{11, 2}, {9, 13}}},
        {1, 0, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PocketGraphPoints(s, c.jaw, c.row, 13), c.points) << c.jaw << " " << c.row;

    // A strip from x = 10, two millimetres a unit, zero line at y = 100, depths upwards
    // and limited to 10.5 mm, or downwards.
    PocketGraphGeometry g;
    g.left = 10;
    g.width = 128;
    g.zeroY = 100;
    EXPECT_EQ(SheetGraphPoints(g, s, 1, 1, 0), (std::vector<QPointF>{{31.88, 98}, {27.88, 89.5}}));
    g.direction = 1;
    EXPECT_EQ(SheetGraphPoints(g, s, 1, 1, 1), (std::vector<QPointF>{{32.12, 102}, {28.12, 110.5}}));
    s.HasData = false;
    EXPECT_TRUE(PocketGraphPoints(s, 0, 0, 13).isEmpty());
}

TEST(FurcationMarks, ByToothKind) {
    ChartStageData s;
    s.HasData = true;
    for (int t : {1, 3, 17, 7})
        for (int site = 0; site < 6; ++site)
            s.Furcation[t * 6 + site] = std::uint8_t(site % 4); // 0, 1, 2, 3, 0, 1
    auto marks = [&](int tooth) {
        QStringList out;
        for (const auto& m : FurcationMarks(s, tooth))
            out << QString::number(m.site) + m.text;
        return out;
    };
    EXPECT_EQ(marks(1), QStringList({"1Ⅰ", "3Ⅲ", "5Ⅰ"})); // upper molar
    EXPECT_EQ(marks(3), QStringList({"0 ", "2Ⅱ"}));        // upper premolar
    EXPECT_EQ(marks(17), QStringList({"1Ⅰ", "4 "}));       // lower molar
    EXPECT_EQ(marks(7), QStringList({"4 "}));               // no furcation kind: site 4 only
    EXPECT_TRUE(marks(2).isEmpty());                        // nothing entered
}

// ------------------------------------------------------------------ the sheets as PDF

TEST_F(SheetTest, PageFontsTitlesAndFormNumbersForEveryKind) {
    const auto stages = loadStages(99);
    for (int k = 0; k < 3; ++k) {
        const auto kind = ApplicantKind(k);
        const struct {
            SheetKind sheet;
            QString title, formNo;
        } sheets[] = {{SheetKind::Chart, ChartSheetTitle(kind), ChartSheetFormNo(kind)},
                      {SheetKind::Data, DataSheetTitle(kind), DataSheetFormNo(kind)}};
        for (const auto& s : sheets) {
            const QString path = write(s.sheet, stages, kind);
            EXPECT_TRUE(infoHas(path, "Pages:\\s+1\\n"));
            EXPECT_TRUE(infoHas(path, "Page size:\\s+595(\\.\\d+)? x 841\\.89 pts \\(A4\\)") ||
                        infoHas(path, "Page size:\\s+595 x 842 pts \\(A4\\)"));
            EXPECT_TRUE(infoHas(path, "Page rot:\\s+0\\n"));
            const QStringList fonts = runTool("pdffonts", {path}).split('\n', Qt::SkipEmptyParts).mid(2);
            ASSERT_GE(fonts.size(), 3);
            for (const QString& f : fonts) {
                const QStringList cols = f.split(' ', Qt::SkipEmptyParts);
                EXPECT_TRUE(f.startsWith("IPA") && cols.at(cols.size() - 5) == "yes") // embedded
                    << f.toStdString();
            }
            const QString text = pdfText(path);
            EXPECT_TRUE(text.contains(noBlanks(s.title))) << s.title.toStdString();
            EXPECT_TRUE(text.contains(s.formNo));
        }
    }
    EXPECT_TRUE(pdfText(write(SheetKind::Blank, stages)).contains("ヴェルダ学会専門医症例報告書"));
}

TEST_F(SheetTest, FiguresOfTheSamplePatientAreTheStatisticsTexts) {
    const auto stages = loadStages(99);
    const QList<PdfWord> chart = pdfWords(write(SheetKind::Chart, stages));
    const QList<PdfWord> data = pdfWords(write(SheetKind::Data, stages));
    for (int k = 0; k < 4; ++k) {
        ASSERT_TRUE(stages[k].HasData) << k; // the sample patient has all four stages
        const StageFigures f = StageFiguresOf(stages[k], PocketBandLimits());
        // Chart sheet: the stage's row of the figure table.
        const auto names = wordsNamed(chart, f.stage);
        ASSERT_FALSE(names.isEmpty()) << k;
        EXPECT_EQ(wordsBeside(chart, names[0], 170),
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
            EXPECT_EQ(wordsBeside(data, at[k], 30), noBlanks(r.value)) << r.caption.toStdString() << k;
        }
        EXPECT_TRUE(wordsBeside(data, dataCaptions(data, "PISA")[k], 30).startsWith(noBlanks(f.pisa) + "mm"));
        EXPECT_TRUE(wordsBeside(data, dataCaptions(data, "PESA")[k], 30).startsWith(noBlanks(f.pesa) + "mm"));
    }
}

// Slot 1 has no data; slot 2 has data but no remaining tooth.
TEST_F(SheetTest, StagesWithoutDataOrTeethShowWhatTheyHave) {
    auto stages = namedStages();
    stages[0] = madeStage("初診時", 3, QDate(2024, 1, 10));
    stages[2] = madeStage("ＳＰＴ移行時", 3, QDate(2024, 6, 10));
    stages[2].ToothStatus.fill(kMissingTooth);

    const QList<PdfWord> chart = pdfWords(write(SheetKind::Chart, stages));
    auto row = [&](const QString& stage) { return wordsBeside(chart, wordsNamed(chart, stage)[0], 170); };
    EXPECT_EQ(row("初診時"), "2024/01/1032192" "32(16.7%)" "3.0㎜" "192(100.0%)" "0(0.0%)" "0(0.0%)");
    EXPECT_EQ(row("基本治療終了時"), "");
    EXPECT_EQ(row("ＳＰＴ移行時"), "2024/06/10" "0" "0" "㎜");
    EXPECT_EQ(row("最新ＳＰＴ時"), "");

    const QList<PdfWord> data = pdfWords(write(SheetKind::Data, stages));
    ASSERT_EQ(dataCaptions(data, "ステージ").size(), 2); // no block for a stage without data
    const struct {
        QString caption, value;
    } rows[] = {{"ステージ", "ＳＰＴ移行時"}, {"現在歯数", "0"}, {"PPD平均", "㎜(0点)"},
                {"BOP(+)率", ""},           {"PCR", "0%"}};
    for (const auto& r : rows)
        EXPECT_EQ(wordsBeside(data, dataCaptions(data, r.caption)[1], 30), r.value) << r.caption.toStdString();
    EXPECT_TRUE(wordsBeside(data, dataCaptions(data, "PISA")[1], 30).startsWith("0.0mm"));
    EXPECT_TRUE(wordsBeside(data, dataCaptions(data, "PESA")[1], 30).startsWith("0.0mm"));
}

// Blocks stand at 26.5 + 63 k on paper whatever the stages before them; the preview stacks
// them 64 apart. A caption of 8 pt is centred in its 5.5636 mm row, 1.4 below the block top.
TEST_F(SheetTest, DataBlocksKeepTheirSlotOnPaperAndCloseUpInThePreview) {
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
        if (period) {
            EXPECT_NEAR(marks[0].xMin, 160.5, 0.05);
        }
    }

    const QString preview = t.paths->app + "/preview.pdf";
    const double height = drawPage(preview, [&](QPainter& p) { return DrawDataPreview(p, SheetSource{&stages, 99, ""}); });
    EXPECT_EQ(height, 128.0);
    const auto at = dataCaptions(pdfWords(preview), "ステージ");
    ASSERT_EQ(at.size(), 2);
    EXPECT_NEAR(at[0].yMin, captionOffset, 0.05);
    EXPECT_NEAR(at[1].yMin, 64 + captionOffset, 0.05);
}

// "症例番号 " is followed by the case number as the patient record holds it (the patient
// number when it is empty): full-width on the chart sheet, right-aligned at 187 mm, as it is
// on the data sheet. Only the file name trims it.
TEST_F(SheetTest, CaseNumberAfterTheHeadingsAsStored) {
    auto stages = namedStages();
    stages[0] = madeStage("初診時", 3, QDate(2024, 5, 1));
    const double em11 = 11 * 25.4 / 72;
    const struct {
        QString caseNumber, chart, data;
        double chartRight; // right edge of the last printed word
    } cases[] = {
        {"12", "１２", "12", 187},
        {"", "４２", "42", 187},
        {"K-7 ", "Ｋ－７", "K-7", 187 - em11}, // the trailing blank keeps its place
        {"   ", "", "", 187 - 3 * em11},      // blanks only: no patient number
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caseNumber.toStdString());
        for (SheetKind sheet : {SheetKind::Chart, SheetKind::Data}) {
            const QString path = t.paths->app + QString("/case%1.pdf").arg(++written);
            ASSERT_TRUE(WriteSheetPdf(path, sheet, SheetSource{&stages, 42, c.caseNumber}, ApplicantKind::Specialist,
                                      false));
            const QList<PdfWord> words = pdfWords(path);
            const auto heads = wordsNamed(words, "症例番号");
            ASSERT_EQ(heads.size(), 1);
            EXPECT_EQ(wordsBeside(words, heads[0], 40), sheet == SheetKind::Chart ? c.chart : c.data);
            if (sheet == SheetKind::Chart) {
                double right = heads[0].xMax;
                for (const PdfWord& w : words)
                    if (std::abs(w.yMin - heads[0].yMin) < 1.0 && w.xMin >= heads[0].xMax) right = std::max(right, w.xMax);
                if (!c.chart.isEmpty()) {
                    EXPECT_NEAR(right, c.chartRight, 0.1);
                }
            }
        }
    }
}

// The headings' texts as written for each applicant kind, at their places: chart title at
// (24, 15), its form number right-aligned at 187; data title at (11, 15), form number at 172.
TEST_F(SheetTest, HeadingTextsForEveryKindAtTheirPlaces) {
    const struct {
        ApplicantKind kind;
        const char *chartTitle, *chartForm, *dataTitle, *dataForm;
    } kinds[] = {
        {ApplicantKind::Specialist, "ヴェルダ学会　専門医認定申請　症例報告　検査チャート表", "様式８－２",
         "ヴェルダ学会　専門医認定申請　症例報告　検査データ表　　PISA対応版", "様式８－１"},
        {ApplicantKind::CertifiedDentist, "ヴェルダ学会　認定医認定申請　症例報告　検査チャート表", "様式８－２",
         "ヴェルダ学会　認定医認定申請　症例報告　検査データ表　　PISA対応版", "様式８－１"},
        {ApplicantKind::CertifiedHygienist, "ヴェルダ学会　認定歯科衛生士認定申請　症例報告　検査チャート表",
         "様式７－２", "ヴェルダ学会　認定歯科衛生士認定申請　症例報告　検査データ表　　PISA対応版", "様式７－１"},
    };
    const auto stages = loadStages(99);
    for (const auto& k : kinds) {
        SCOPED_TRACE(int(k.kind));
        EXPECT_EQ(ChartSheetTitle(k.kind), k.chartTitle);
        EXPECT_EQ(ChartSheetFormNo(k.kind), k.chartForm);
        EXPECT_EQ(DataSheetTitle(k.kind), k.dataTitle);
        EXPECT_EQ(DataSheetFormNo(k.kind), k.dataForm);

        const QList<PdfWord> chart = pdfWords(write(SheetKind::Chart, stages, k.kind));
        const auto cForm = wordsNamed(chart, k.chartForm);
        ASSERT_EQ(cForm.size(), 1);
        EXPECT_NEAR(cForm[0].xMax, 187, 0.1);
        EXPECT_NEAR(cForm[0].yMin, 10, 0.1);
        const QList<PdfWord> data = pdfWords(write(SheetKind::Data, stages, k.kind));
        const auto dForm = wordsNamed(data, k.dataForm);
        ASSERT_EQ(dForm.size(), 1);
        EXPECT_NEAR(dForm[0].xMin, 172, 0.1);
        for (const auto& [words, left] : {std::pair{chart, 24.0}, std::pair{data, 11.0}}) {
            auto first = std::find_if(words.begin(), words.end(),
                                      [](const PdfWord& w) { return w.text.startsWith("ヴェルダ学会"); });
            ASSERT_NE(first, words.end());
            EXPECT_NEAR(first->xMin, left, 0.1);
            EXPECT_NEAR(first->yMin, 15, 0.1);
        }
    }
    // The chart sheet's priority note, the data sheet's legend and maker mark.
    const QList<PdfWord> chart = pdfWords(write(SheetKind::Chart, stages));
    const QString chartText = pdfText(write(SheetKind::Chart, stages));
    EXPECT_TRUE(chartText.contains(
        noBlanks("＊根分岐部病変 および 歯の情報表示は、上段：初診時、下段：最新ＳＰＴ時 が優先されます。")));
    // The chart blocks' row captions, in both blocks.
    for (const char* caption : {"頬側", "口蓋側", "舌側", "PPD", "BOP", "(+)", "上顎", "下顎", "歯番", "動揺度", "初→基",
                                "S→最", "根分岐部", "病変"}) {
        const int expected = QString(caption) == "初→基" || QString(caption) == "S→最" ? 1 : 2;
        EXPECT_GE(int(wordsNamed(chart, caption).size()), expected) << caption;
    }
    for (const char* mark : {"10", "6", "3", "0"})
        EXPECT_GE(int(wordsNamed(chart, mark).size()), 8) << mark; // four strips per block
    const auto note = std::find_if(chart.begin(), chart.end(), [](const PdfWord& w) { return w.text.startsWith("＊"); });
    ASSERT_NE(note, chart.end());
    EXPECT_NEAR(note->xMin, 25, 0.1);
    EXPECT_NEAR(note->yMin, 269.2, 0.1);
    const QString dataPath = write(SheetKind::Data, stages);
    EXPECT_TRUE(pdfText(dataPath).contains(noBlanks("PCR : O'Leary      動揺度 : Miller      根分岐部病変 : Lindhe & "
                                                    "Nyman              PPD  赤数字＝BOP(+)  黄背景＝排膿")));
    const auto maker = wordsNamed(pdfWords(dataPath), "KVR-TRM");
    ASSERT_EQ(maker.size(), 1);
    EXPECT_NEAR(maker[0].xMax, 198, 0.1);
    EXPECT_NEAR(maker[0].yMin, 276.5, 0.1);
}

// The blank form: its title, form number, patient-number box, the instructor's line and two
// empty grids of the older layout, one at top 25 and one at top 149.
TEST_F(SheetTest, BlankFormTextsAndPlaces) {
    const QString path = write(SheetKind::Blank, namedStages());
    const QList<PdfWord> words = pdfWords(path);
    const struct {
        const char* word;
        double x, y; // y < 0: not checked
    } placed[] = {{"様式８", 162, 10}, {"患者番号", 162, -1}, {"指導医氏名", 112.5, 272}};
    for (const auto& p : placed) {
        const auto at = wordsNamed(words, p.word);
        ASSERT_EQ(at.size(), 1) << p.word;
        EXPECT_NEAR(at[0].xMin, p.x, 0.1) << p.word;
        if (p.y >= 0) {
            EXPECT_NEAR(at[0].yMin, p.y, 0.1) << p.word;
        }
    }
    auto title = std::find_if(words.begin(), words.end(), [](const PdfWord& w) { return w.text.startsWith("ヴェルダ"); });
    ASSERT_NE(title, words.end());
    EXPECT_NEAR(title->xMin, 55, 0.1);
    EXPECT_NEAR(title->yMin, 15, 0.1);
    EXPECT_TRUE(pdfText(path).contains("ヴェルダ学会専門医症例報告書"));
    EXPECT_FALSE(wordsNamed(words, "印").isEmpty());
    const auto grids = wordsNamed(words, "検査日");
    ASSERT_EQ(grids.size(), 2);
    EXPECT_LT(grids[0].yMin, 35);
    EXPECT_GT(grids[1].yMin, 149);
    EXPECT_LT(grids[1].yMin, 159);
    const QString text = pdfText(path);
    for (const char* h : {"総歯数", "PD総数", "出血", "PD平均", "(%)", "MOB", "頬", "側", "上顎", "口", "蓋", "歯番",
                          "舌", "下顎", "BOP", "Furcation"})
        EXPECT_EQ(text.count(QString::fromUtf8(h)) >= 2, true) << h; // in both grids
    EXPECT_FALSE(text.contains("初診時")); // no stage, no figure
}

// Four blocks fill one page: no empty page follows them, and each copy of the print path is
// one page of its own with its heading.
TEST_F(SheetTest, DataSheetOfFourBlocksIsOnePagePerCopy) {
    auto stages = namedStages();
    for (int k = 0; k < 4; ++k)
        stages[k] = madeStage(stages[k].StageName, k + 2, QDate(2024, 1 + k, 10));
    const QString one = write(SheetKind::Data, stages);
    EXPECT_TRUE(infoHas(one, "Pages:\\s+1\\n"));
    EXPECT_EQ(dataCaptions(pdfWords(one), "ステージ").size(), 4);

    for (int copies : {1, 2, 3}) {
        QFile::remove(printedPath());
        dialogCopies = copies;
        PrintDataSheet(nullptr, SheetSource{&stages, 5, ""}, ApplicantKind::Specialist, false);
        EXPECT_TRUE(infoHas(printedPath(), QString("Pages:\\s+%1\\n").arg(copies))) << copies;
        const QList<PdfWord> words = pdfWords(printedPath());
        for (int page = 1; page <= copies; ++page) {
            int blocks = 0, forms = 0;
            for (const PdfWord& w : words) {
                blocks += w.page == page && w.text == "ステージ" && w.xMin > 140;
                forms += w.page == page && w.text == "様式８－１";
            }
            EXPECT_EQ(blocks, 4) << copies << " page " << page;
            EXPECT_EQ(forms, 1) << copies << " page " << page;
        }
    }
}

// Deep and three-digit pockets keep to their third of a tooth on the data sheet.
TEST_F(SheetTest, DeepPocketDigitsStayInTheirCells) {
    auto stages = namedStages();
    stages[0] = madeStage("初診時", 3, QDate(2024, 1, 10));
    stages[0].Ppd[5 * 6 + 0] = 16;
    stages[0].Ppd[5 * 6 + 1] = 100;
    stages[0].Ppd[5 * 6 + 2] = 9;
    const QList<PdfWord> words = pdfWords(write(SheetKind::Data, stages));
    const double cell = 7.0 / 3, toothLeft = 32 + 5 * 7.0;
    const struct {
        const char* digits;
        int place;
    } cases[] = {{"16", 0}, {"100", 1}, {"9", 2}};
    for (const auto& c : cases) {
        QList<PdfWord> at;
        for (const PdfWord& w : words)
            if (w.text == c.digits && w.yMin > 26.5 + 20.4 - 0.1 && w.yMin < 26.5 + 23.8 && w.xMin > toothLeft - 0.1 &&
                w.xMax < toothLeft + 7.1)
                at.push_back(w);
        ASSERT_EQ(at.size(), 1) << c.digits;
        EXPECT_GE(at[0].xMin, toothLeft + c.place * cell - 0.05) << c.digits;
        EXPECT_LE(at[0].xMax, toothLeft + (c.place + 1) * cell + 0.05) << c.digits;
    }
}

// A page drawn at 10 pixels per millimetre.
constexpr int kPx = 10;
template <class F> QImage drawnImage(F draw) {
    QImage img(210 * kPx, 297 * kPx, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.scale(kPx, kPx);
    SheetPainter sp(p);
    sp.InitPrinter();
    draw(sp);
    return img;
}
QColor pixelAt(const QImage& img, double xMm, double yMm) {
    return img.pixelColor(int(xMm * kPx), int(yMm * kPx));
}
// Pixels that differ between two drawings inside a box in millimetres.
int differing(const QImage& a, const QImage& b, const QRectF& mm) {
    int n = 0;
    for (int y = int(mm.top() * kPx); y < int(mm.bottom() * kPx); ++y)
        for (int x = int(mm.left() * kPx); x < int(mm.right() * kPx); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

// Chart sheet, tooth 13 (index 5) of the upper block: a remaining tooth has crown and
// root, an implant its crown over the implant picture, a pontic the crown only, a missing
// tooth nothing; a tooth that is not a remaining tooth has a grey number cell.
TEST_F(SheetTest, ChartPicturesAndNumberCellsByToothStatus) {
    auto imageWith = [](std::uint16_t status) {
        auto stages = namedStages();
        stages[0] = madeStage("初診時", 3, QDate(2024, 1, 10));
        stages[0].Ppd.fill(kNoValue); // no graph over the pictures
        stages[0].ToothStatus[5] = status;
        const SheetSource src{&stages, 5, ""};
        return drawnImage([&](SheetPainter& sp) { DrawChartSheetPage(sp, src, ApplicantKind::Specialist); });
    };
    const double bandTop = 50 + 3.5, x = 27 + 5 * 10 + (10 - kPictureW) / 2;
    const QRectF root(x, bandTop + 0.3, kPictureW, kRootH - 0.6), crown(x, bandTop + kRootH + 0.3, kPictureW, kCrownH - 0.6);
    const QImage tooth = imageWith(0), missing = imageWith(kMissingTooth), pontic = imageWith(kPontic),
                 implant = imageWith(kImplant), other = imageWith(kOtherExcluded);
    EXPECT_GT(differing(tooth, missing, crown), 100);
    EXPECT_GT(differing(tooth, missing, root), 100);
    EXPECT_EQ(differing(pontic, tooth, crown), 0);
    EXPECT_EQ(differing(pontic, missing, root), 0);
    EXPECT_EQ(differing(implant, tooth, crown), 0);
    EXPECT_GT(differing(implant, tooth, root), 100);
    EXPECT_GT(differing(implant, missing, root), 100);
    EXPECT_EQ(differing(other, tooth, QRectF(x, bandTop, kPictureW, kBandH)), 0);

    const struct {
        const char* name;
        const QImage* img;
        QColor cell;
    } cells[] = {{"remaining", &tooth, Qt::white},        {"missing", &missing, QColor(208, 208, 208)},
                 {"pontic", &pontic, QColor(208, 208, 208)}, {"implant", &implant, QColor(208, 208, 208)},
                 {"0x1000", &other, Qt::white}};
    for (const auto& c : cells)
        EXPECT_EQ(pixelAt(*c.img, 77.6, 50 + 25.5 + 0.6), c.cell) << c.name;
}

// Data sheet block at (12, 26.5): the number cell's colour by status (implant, pontic, 0x1000,
// missing, in that order of precedence), grey PPD cells without depth, yellow ones with pus,
// and the plaque symbol's surfaces grey (second pass), red (plaque) or unfilled.
TEST_F(SheetTest, DataBlockColoursByStatusDepthPusAndPlaque) {
    const double top = 26.5, grid = 32, w = 7;
    const struct {
        std::uint16_t status;
        QColor colour;
    } numbers[] = {{0, Qt::white},
                   {kDeciduous, Qt::white},
                   {kImplant, QColor(255, 255, 128)},
                   {kPontic, QColor(255, 192, 192)},
                   {kOtherExcluded, QColor(224, 128, 224)},
                   {kMissingTooth, QColor(128, 128, 255)},
                   {kImplant | kPontic | kMissingTooth, QColor(255, 255, 128)},
                   {kPontic | kMissingTooth, QColor(255, 192, 192)},
                   {kOtherExcluded | kMissingTooth, QColor(224, 128, 224)}};
    ChartStageData s = madeStage("初診時", 3, QDate(2024, 1, 10));
    for (int i = 0; i < 9; ++i) {
        s.ToothStatus[i] = numbers[i].status;     // upper jaw, teeth 0..8
        s.ToothStatus[16 + i] = numbers[i].status; // and the lower jaw
    }
    s.Ppd[1 * 6 + 1] = kNoValue; // tooth 1, first row, middle third
    s.Pus[2 * 6 + 2] = 1;        // tooth 2, first row, last third
    s.Bop[2 * 6 + 2] = 1;
    s.Plaque[3] = 1 | 4;          // top and bottom
    s.PlaqueItemB[3] = 4 | 8;     // bottom and left: grey wins over red
    s.Plaque[4] = kNoValue;       // no symbol
    s.PlaqueItemB[4] = 0x0F;
    const QImage img = drawnImage([&](SheetPainter& sp) { DrawDataBlock(sp, s, 12, top); });
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(pixelAt(img, grid + i * w + 0.6, top + 27.2 + 0.5), numbers[i].colour) << "upper " << i;
        EXPECT_EQ(pixelAt(img, grid + i * w + 0.6, top + 30.6 + 0.5), numbers[i].colour) << "lower " << i;
    }
    const double ppdTop = top + 3 * 6.8;
    EXPECT_EQ(pixelAt(img, grid + 1 * w + w / 3 + 0.3, ppdTop + 0.4), QColor(208, 208, 208));
    EXPECT_EQ(pixelAt(img, grid + 2 * w + 2 * w / 3 + 0.3, ppdTop + 0.4), QColor(255, 255, 0));
    EXPECT_EQ(pixelAt(img, grid + 2 * w + 0.3, ppdTop + 0.4), QColor(Qt::white));
    // Digits: red at a bleeding site (madeStage bleeds at site 0 of every tooth, and tooth 2's
    // last third bleeds on yellow), black elsewhere.
    auto redIn = [&](double x, double y) {
        int red = 0, dark = 0;
        for (int py = int(y * kPx); py < int((y + 3.4) * kPx); ++py)
            for (int px = int((x + 0.2) * kPx); px < int((x + w / 3 - 0.2) * kPx); ++px) {
                const QColor c = img.pixelColor(px, py);
                red += c.red() > 200 && c.green() < 80 && c.blue() < 80;
                dark += c.red() < 80 && c.green() < 80 && c.blue() < 80;
            }
        return std::pair{red, dark};
    };
    const auto site0 = redIn(grid + 5 * w, ppdTop), site1 = redIn(grid + 5 * w + w / 3, ppdTop),
               pusBleeding = redIn(grid + 2 * w + 2 * w / 3, ppdTop);
    EXPECT_GT(site0.first, 20);
    EXPECT_EQ(site0.second, 0);
    EXPECT_EQ(site1.first, 0);
    EXPECT_GT(site1.second, 20);
    EXPECT_GT(pusBleeding.first, 20);

    const double cy = top + 3.4;
    auto surface = [&](int tooth, double dx, double dy) { return pixelAt(img, grid + tooth * w + 3.5 + dx, cy + dy); };
    EXPECT_EQ(surface(3, 0, -1.5), QColor(255, 0, 0));     // bit 1 plaque
    EXPECT_EQ(surface(3, 1.5, 0), QColor(Qt::white));     // bit 2 nothing
    EXPECT_EQ(surface(3, 0, 1.5), QColor(208, 208, 208)); // bit 4 both: grey
    EXPECT_EQ(surface(3, -1.5, 0), QColor(208, 208, 208)); // bit 8 second pass only
    for (auto [dx, dy] : {std::pair{0.0, -1.5}, {1.5, 0.0}, {0.0, 1.5}, {-1.5, 0.0}})
        EXPECT_EQ(surface(4, dx, dy), QColor(Qt::white)); // Plaque 128: no symbol at all
}

// The number row shows every tooth's one-character label (the deciduous letter where the
// tooth is deciduous, also for a tooth that is not a remaining tooth); the mobility row a
// tooth's value, nothing for 128.
TEST_F(SheetTest, DataBlockLabelsAndMobility) {
    auto stages = namedStages();
    stages[0] = madeStage("初診時", 3, QDate(2024, 1, 10));
    ChartStageData& s = stages[0];
    s.Mobility.fill(kNoValue);
    s.ToothStatus[3] = kDeciduous;                // 15 -> "E" (in place of "5")
    s.ToothStatus[11] = kDeciduous | kMissingTooth; // 24 -> "D" (in place of "4"), still labelled
    s.ToothStatus[0] = kMissingTooth;             // 18 -> "8"
    s.Mobility[6] = 2;
    s.Mobility[25] = 3;
    const QList<PdfWord> words = pdfWords(write(SheetKind::Data, stages));
    auto rowText = [&](double top, double height = 6.8) {
        QList<PdfWord> row;
        for (const PdfWord& w : words)
            if (w.yMin > top - 0.1 && w.yMax < top + height + 0.1 && w.xMin > 31.9 && w.xMax < 144.1)
                row.push_back(w);
        std::sort(row.begin(), row.end(), [](const PdfWord& a, const PdfWord& b) { return a.xMin < b.xMin; });
        QString out;
        for (const PdfWord& w : row)
            out += w.text;
        return out;
    };
    const double top = 26.5;
    EXPECT_EQ(noBlanks(rowText(top + 4 * 6.8, 3.4)), "876E4321123D5678");
    EXPECT_EQ(noBlanks(rowText(top + 4 * 6.8 + 3.4, 3.4)), "8765432112345678");
    EXPECT_EQ(noBlanks(rowText(top + 1 * 6.8)), "2");
    EXPECT_EQ(noBlanks(rowText(top + 7 * 6.8)), "3");
}

// This platform has no printer-mode value: it reads as "cannot be read" and is never written.
TEST(PrinterMode, UnreadableValueIsNeverWritten) {
    EXPECT_EQ(GetLegacyDefaultPrinterMode(), -1);
    EXPECT_TRUE(SetLegacyDefaultPrinterMode(1));
    EXPECT_EQ(GetLegacyDefaultPrinterMode(), -1);
}

// ------------------------------------------------------------------ the print buttons

TEST_F(SheetTest, PrintRefusesWhereTheSheetHasNothingToShow) {
    auto none = namedStages(), sptOnly = namedStages(), basicOnly = namedStages();
    sptOnly[2] = madeStage("ＳＰＴ移行時", 3, QDate(2024, 5, 1));
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
            EXPECT_EQ(boxes(), QStringList{prints ? kDone : kNothing}) << c.name << data;
            EXPECT_EQ(t.boxes->shown[0].icon, prints ? MsgIcon::Information : MsgIcon::Exclamation);
            EXPECT_EQ(savedFiles().size(), prints ? 1 : 0) << c.name << data;
            expectRestored();
        }
    }
    EXPECT_EQ(dialogs, 0);
}

// The file is named by applicant kind, member, case (the patient number without one) and
// minute: a second run in the same minute replaces the file.
TEST_F(SheetTest, PdfFileNamedByKindMemberCaseAndMinute) {
    auto stages = namedStages();
    stages[0] = madeStage("初診時", 3, QDate(2024, 5, 1));
    t.clock->current = QDateTime(QDate(2024, 8, 4), QTime(9, 5, 59));
    const struct {
        QString caseNumber;
        ApplicantKind kind;
        bool data;
        QString file, shown;
    } cases[] = {
        {"   ", ApplicantKind::Specialist, false, "S_123456_42_C_20240804_0905.pdf", "症例番号"},
        {"  K-7 ", ApplicantKind::CertifiedDentist, true, "N_123456_K-7_D_20240804_0905.pdf", "症例番号K-7"},
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
        EXPECT_TRUE(pdfText(path).contains(c.shown)) << c.file.toStdString();
        EXPECT_TRUE(infoHas(path, "Title:\\s+" + QRegularExpression::escape(CaseIdentifier(c.caseNumber, 42)) + "\\n"));
        EXPECT_EQ(boxes(), QStringList{kDone});
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

TEST_F(SheetTest, SaveFolderThatCannotBeMadeIsReportedAndLeavesNothing) {
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

TEST_F(SheetTest, PrinterDialogPathDrawsTheChosenCopies) {
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
        EXPECT_EQ(boxes(), QStringList{kDone});
        EXPECT_TRUE(infoHas(printedPath(), QString("Pages:\\s+%1\\n").arg(c.copies))) << c.text.toStdString();
        EXPECT_EQ(pdfText(printedPath()).count(c.text), c.copies) << c.text.toStdString();
        expectRestored();
    }
    EXPECT_TRUE(savedFiles().isEmpty()); // the print path writes nothing into KVR-DB-SAVE
}

} // namespace
