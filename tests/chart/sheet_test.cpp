// The case-report sheets: the chart pieces against values worked out by hand, the sheets as PDF
// files read back with poppler (page, fonts, headings, figures, places) and as images (colours),
// and the print runs (refusals, file names, copies, errors).
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

#include <map>

using namespace kvr;
using namespace kvr::test;

namespace {

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
bool infoHas(const QString& path, const QString& re) { return runTool("pdfinfo", {path}).contains(QRegularExpression(re)); }

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
    auto mm = [](const QString& pt) { return pt.toDouble() * 25.4 / 72.0; };
    for (const QString& line : runTool("pdftotext", {"-bbox", path, "-"}).split('\n')) {
        if (line.contains("<page ")) ++page;
        if (const auto m = wordRe.match(line); m.hasMatch())
            words.push_back({page, m.captured(5), mm(m.captured(1)), mm(m.captured(2)), mm(m.captured(3)), mm(m.captured(4))});
    }
    return words;
}
// The words equal to text (or starting with it, when it ends with "…"), top to bottom; with
// minX only those right of it (the data sheet's figure captions stand right of 140 mm).
QList<PdfWord> wordsNamed(const QList<PdfWord>& all, QString text, double minX = -1) {
    const bool prefix = text.endsWith("…");
    if (prefix) text.chop(1);
    QList<PdfWord> out;
    for (const PdfWord& w : all)
        if ((prefix ? w.text.startsWith(text) : w.text == text) && w.xMin > minX) out.push_back(w);
    std::sort(out.begin(), out.end(), [](const PdfWord& a, const PdfWord& b) {
        return a.page != b.page ? a.page < b.page : a.yMin < b.yMin;
    });
    return out;
}
QList<PdfWord> dataCaptions(const QList<PdfWord>& all, const QString& caption) { return wordsNamed(all, caption, 140); }
// The words of page 1 lying inside a box in millimetres.
QList<PdfWord> wordsIn(const QList<PdfWord>& all, const QRectF& mm) {
    QList<PdfWord> in;
    for (const PdfWord& w : all)
        if (w.page == 1 && w.xMin > mm.left() - 0.1 && w.xMax < mm.right() + 0.1 && w.yMin > mm.top() - 0.1 &&
            w.yMax < mm.bottom() + 0.1)
            in.push_back(w);
    return in;
}
// The words of page 1 lying inside a box, joined in x order.
QString textIn(const QList<PdfWord>& all, const QRectF& mm) {
    QList<PdfWord> in = wordsIn(all, mm);
    std::sort(in.begin(), in.end(), [](const PdfWord& a, const PdfWord& b) { return a.xMin < b.xMin; });
    QString out;
    for (const PdfWord& w : in)
        out += w.text;
    return noBlanks(out);
}
// The words on the line of `anchor`, up to `to` mm right of it.
QString wordsBeside(const QList<PdfWord>& all, const PdfWord& anchor, double to) {
    return textIn(all, QRectF(anchor.xMax, anchor.yMin - 1, to, anchor.yMax - anchor.yMin + 2));
}
// Equal to expected, or starting with it when it ends with "…".
bool reads(const QString& text, const QString& expected) {
    return expected.endsWith("…") ? text.startsWith(expected.chopped(1)) : text == expected;
}

// Every slot named; slot k with depths[k] > 0 has data: every tooth present, every depth
// depths[k], bleeding at site 0 and plaque on one surface of every tooth.
std::array<ChartStageData, 4> namedStages(std::array<int, 4> depths = {}) {
    std::array<ChartStageData, 4> st;
    const QStringList names = {"初診時", "基本治療終了時", "ＳＰＴ移行時", "最新ＳＰＴ時"};
    for (int k = 0; k < 4; ++k) {
        ChartStageData& s = st[k];
        s.StageName = names[k];
        if (!depths[k]) continue;
        s.HasData = true;
        s.ExamDate = QDateTime(QDate(2024, 1 + k, 10), QTime(0, 0));
        s.Ppd.fill(std::uint8_t(depths[k]));
        s.Bop.fill(0);
        s.Mobility.fill(0);
        for (int t = 0; t < 32; ++t) {
            s.Bop[t * 6] = 1;
            s.Plaque[t] = 1;
        }
    }
    return st;
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
QColor pixelAt(const QImage& img, double xMm, double yMm) { return img.pixelColor(int(xMm * kPx), int(yMm * kPx)); }
// Pixels that differ between two drawings inside a box in millimetres.
int differing(const QImage& a, const QImage& b, const QRectF& mm) {
    int n = 0;
    for (int y = int(mm.top() * kPx); y < int(mm.bottom() * kPx); ++y)
        for (int x = int(mm.left() * kPx); x < int(mm.right() * kPx); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
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
    QString write(SheetKind sheet, const std::array<ChartStageData, 4>& stages,
                  ApplicantKind kind = ApplicantKind::Specialist, bool periodProblem = false) {
        const QString path = t.paths->app + QString("/sheet%1.pdf").arg(++written);
        EXPECT_TRUE(WriteSheetPdf(path, sheet, SheetSource{&stages, 99, ""}, kind, periodProblem));
        return path;
    }
    QString printedPath() const { return t.paths->app + "/printed.pdf"; }
    QStringList savedFiles() const { return QDir(app().SaveFolder).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
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
};

// The graph in units of 1/64 of the jaw: tooth j's sites stand at 4j + 1..3 by their place,
// quadrants 0 and 2 are visited mesial (place 2) to distal. The sheet puts those points on
// its strip, the two stages of a pair 0.12 mm apart.
TEST(PocketGraph, PointsStandAtTheirChartPlacesInVisitingOrder) {
    ChartStageData s;
    s.HasData = true;
    // Tooth 18: 1..6 mm; tooth 21, first row 7, 8, 9; tooth 46: deeper than the limit, site 4 unmeasured.
    for (auto [site, depth] : {std::pair{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {48, 7}, {49, 8}, {50, 9}, {111, 15}, {113, 2}})
        s.Ppd[site] = std::uint8_t(depth);
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
    const std::pair<int, QStringList> cases[] = {
        {1, {"1Ⅰ", "3Ⅲ", "5Ⅰ"}}, // upper molar
        {3, {"0 ", "2Ⅱ"}},        // upper premolar
        {17, {"1Ⅰ", "4 "}},       // lower molar
        {7, {"4 "}},               // no furcation kind: site 4 only
        {2, {}},                   // nothing entered
    };
    for (const auto& [tooth, expected] : cases) {
        QStringList marks;
        for (const auto& m : FurcationMarks(s, tooth))
            marks << QString::number(m.site) + m.text;
        EXPECT_EQ(marks, expected) << tooth;
    }
}

// Every sheet is one A4 portrait page with embedded IPA fonts; its headings read as written
// for each applicant kind and stand at their places (a word ending in "…" is a prefix).
TEST_F(SheetTest, HeadingsOfEveryKindAtTheirPlaces) {
    const auto S = ApplicantKind::Specialist, N = ApplicantKind::CertifiedDentist, H = ApplicantKind::CertifiedHygienist;
    const auto C = SheetKind::Chart, D = SheetKind::Data, B = SheetKind::Blank;
    const struct {
        SheetKind sheet;
        ApplicantKind kind;
        QString word;
        double left, right, top; // < 0: not checked
        QString text;            // held by the page's text
    } rows[] = {
        {C, S, "ヴェルダ学会…", 24, -1, 15, "ヴェルダ学会　専門医認定申請　症例報告　検査チャート表"},
        {C, S, "様式８－２", -1, 187, 10, "＊根分岐部病変 および 歯の情報表示は、上段：初診時、下段：最新ＳＰＴ時 が優先されます。"},
        {C, S, "＊…", 25, -1, 269.2, "初→基"},
        {C, N, "様式８－２", -1, 187, 10, "ヴェルダ学会　認定医認定申請　症例報告　検査チャート表"},
        {C, H, "様式７－２", -1, 187, 10, "ヴェルダ学会　認定歯科衛生士認定申請　症例報告　検査チャート表"},
        {D, S, "ヴェルダ学会…", 11, -1, 15, "ヴェルダ学会　専門医認定申請　症例報告　検査データ表　　PISA対応版"},
        {D, S, "様式８－１", 172, -1, -1, "PCR : O'Leary 動揺度 : Miller 根分岐部病変 : Lindhe & Nyman PPD 赤数字＝BOP(+) 黄背景＝排膿"},
        {D, S, "KVR-TRM", -1, 198, 276.5, ""},
        {D, N, "様式８－１", 172, -1, -1, "ヴェルダ学会　認定医認定申請　症例報告　検査データ表　　PISA対応版"},
        {D, H, "様式７－１", 172, -1, -1, "ヴェルダ学会　認定歯科衛生士認定申請　症例報告　検査データ表　　PISA対応版"},
        {B, S, "ヴェルダ…", 55, -1, 15, "ヴェルダ学会専門医症例報告書"},
        {B, S, "様式８", 162, -1, 10, "印"},
        {B, S, "患者番号", 162, -1, -1, ""},
        {B, S, "指導医氏名", 112.5, -1, 272, ""},
    };
    const auto stages = namedStages({2, 3, 4, 5});
    std::map<std::pair<int, int>, QString> paths;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.word.toStdString() + " " + std::to_string(int(r.sheet)) + std::to_string(int(r.kind)));
        QString& path = paths[{int(r.sheet), int(r.kind)}];
        if (path.isEmpty()) {
            path = write(r.sheet, stages, r.kind);
            EXPECT_TRUE(infoHas(path, "Pages:\\s+1\\n"));
            EXPECT_TRUE(infoHas(path, "Page size:\\s+595(\\.\\d+)? x 84[12](\\.89)? pts \\(A4\\)"));
            const QStringList fonts = runTool("pdffonts", {path}).split('\n', Qt::SkipEmptyParts).mid(2);
            ASSERT_GE(fonts.size(), 3);
            for (const QString& f : fonts) {
                const QStringList cols = f.split(' ', Qt::SkipEmptyParts);
                EXPECT_TRUE(f.startsWith("IPA") && cols.at(cols.size() - 5) == "yes") << f.toStdString(); // embedded
            }
            EXPECT_TRUE(wordsNamed(pdfWords(path), "●").isEmpty()); // no stage-period problem
        }
        EXPECT_TRUE(pdfText(path).contains(noBlanks(r.text)));
        const auto at = wordsNamed(pdfWords(path), r.word);
        ASSERT_EQ(at.size(), 1);
        for (auto [want, got] : {std::pair{r.left, at[0].xMin}, {r.right, at[0].xMax}, {r.top, at[0].yMin}})
            if (want >= 0) EXPECT_NEAR(got, want, 0.1);
    }
}

// The chart sheet's caption column (at 10.5 mm) and the pocket scales beside it (at 24-27 mm)
// read top to bottom, once for the upper pair of stages and once for the lower; the blank
// form's patient number box is drawn from 160 to 188 mm, 15 to 23 mm down.
TEST_F(SheetTest, ChartSheetCaptionColumnAndBlankPatientBox) {
    const QList<PdfWord> words = pdfWords(write(SheetKind::Chart, namedStages({2, 3, 4, 5})));
    auto column = [&](double from, double to, double top) {
        QList<PdfWord> in = wordsIn(words, QRectF(from, top, to - from, 266 - top));
        std::sort(in.begin(), in.end(), [](const PdfWord& a, const PdfWord& b) {
            return a.yMin != b.yMin ? a.yMin < b.yMin : a.xMin < b.xMin;
        });
        QStringList out;
        for (const PdfWord& w : in)
            out << w.text;
        return out.join(' ');
    };
    const QString half = "頬側 PPD BOP (+) 上顎 歯番 口蓋側 PPD 舌側 PPD BOP (+) 下顎 歯番 頬側 PPD 動揺度 %1 根分岐部 病変";
    EXPECT_EQ(column(10, 22, 50), half.arg("初→基") + " " + half.arg("S→最"));
    const QString scales = "10 6 3 0 10 6 3 0 0 3 6 10 0 3 6 10";
    EXPECT_EQ(column(24, 27, 50), scales + " " + scales);

    const QImage blank = drawnImage([](SheetPainter& sp) { DrawBlankChartPage(sp); });
    for (auto [x, y, line] : {std::tuple{160.0, 21.0, true}, {188.0, 21.0, true}, {180.0, 15.0, true},
                              {180.0, 23.0, true}, {180.0, 21.0, false}, {158.5, 21.0, false}, {189.5, 21.0, false}})
        EXPECT_EQ(pixelAt(blank, x, y).lightness() < 128, line) << x << " " << y;
}

// Slot 0: 32 teeth, 192 sites of 3 mm, site 0 of every tooth bleeding, one of four surfaces
// with plaque (32 of 128: 25.0%); PESA the sum over the teeth at x = 3 (past 1000 mm², all six
// characters shown), PISA a sixth of it. Slot 1 has no data; slot 2 has data but no remaining
// tooth. The chart sheet's row of each stage; the data sheet's blocks at 26.5 + 63 k whatever
// the slots before them, their tables caption by caption ("…": a prefix), an 8 pt caption
// centred in its 5.5636 mm row 1.4 below the block top, and the red mark at 160.5 mm for a
// stage-period problem. The preview stacks the blocks 64 apart. Slot 2's block: the number
// rows show every tooth's one-character label (the deciduous letter where the tooth is
// deciduous, also when it is not a remaining tooth); the mobility row a value, nothing for
// 128; deep and three-digit pockets keep to their third.
TEST_F(SheetTest, StageFiguresStandInBothSheetsTables) {
    auto stages = namedStages({3, 0, 3, 0});
    ChartStageData& s = stages[2];
    s.ExamDate = QDateTime(QDate(2024, 6, 10), QTime(0, 0));
    s.ToothStatus.fill(kMissingTooth);
    s.ToothStatus[3] = s.ToothStatus[11] = kDeciduous | kMissingTooth; // 15 -> "E", 24 -> "D"
    s.Mobility.fill(kNoValue);
    s.Mobility[6] = 2;
    s.Mobility[25] = 3;
    for (auto [site, depth] : {std::pair{30, 16}, {31, 100}, {32, 9}}) // tooth 13's first row
        s.Ppd[site] = std::uint8_t(depth);

    const QList<PdfWord> chart = pdfWords(write(SheetKind::Chart, stages));
    const std::pair<QString, QString> rows[] = {
        {"初診時", "2024/01/1032192" "32(16.7%)" "3.0㎜" "192(100.0%)" "0(0.0%)" "0(0.0%)"},
        {"基本治療終了時", ""},
        {"ＳＰＴ移行時", "2024/06/10" "0" "0" "㎜"},
        {"最新ＳＰＴ時", ""}};
    for (const auto& [stage, row] : rows)
        EXPECT_EQ(wordsBeside(chart, wordsNamed(chart, stage)[0], 170), row) << stage.toStdString();

    const QList<PdfWord> data = pdfWords(write(SheetKind::Data, stages, ApplicantKind::Specialist, true));
    const double captionOffset = 1.4 + (5.5636363 - 8 * 25.4 / 72) / 2;
    const auto blocks = dataCaptions(data, "ステージ");
    ASSERT_EQ(blocks.size(), 2); // no block for a stage without data
    EXPECT_NEAR(blocks[0].yMin, 26.5 + captionOffset, 0.05);
    EXPECT_NEAR(blocks[1].yMin, 26.5 + 2 * 63 + captionOffset, 0.05);
    const auto marks = wordsNamed(data, "●");
    ASSERT_EQ(marks.size(), 1);
    EXPECT_NEAR(marks[0].xMin, 160.5, 0.05);
    const struct {
        QString caption, first, third;
    } cells[] = {{"ステージ", "初診時", "ＳＰＴ移行時"},
                 {"検査日", "2024/01/10", "2024/06/10"},
                 {"現在歯数", "32", "0"},
                 {"ｲﾝﾌﾟﾗﾝﾄ数", "0", "0"},
                 {"PPD平均", "3.0㎜(192点)", "㎜(0点)"},
                 {"1-3mm", "192(100.0%)", ""},
                 {"4-6mm", "0(0.0%)", ""},
                 {"7mm以上", "0(0.0%)", ""},
                 {"BOP(+)率", "32(16.7%)", ""},
                 {"PCR", "25.0%", "0%"},
                 {"PISA", "271.3mm…", "0.0mm…"},
                 {"PESA", "1628.1mm…", "0.0mm…"}};
    for (const auto& c : cells) {
        const auto at = dataCaptions(data, c.caption);
        ASSERT_EQ(at.size(), 2) << c.caption.toStdString();
        EXPECT_TRUE(reads(wordsBeside(data, at[0], 30), c.first)) << c.caption.toStdString();
        EXPECT_TRUE(reads(wordsBeside(data, at[1], 30), c.third)) << c.caption.toStdString();
    }
    const double top = 26.5 + 2 * 63, cell = 7.0 / 3, tooth5 = 32 + 5 * 7.0;
    const std::pair<QRectF, QString> texts[] = {
        {{32, top + 4 * 6.8, 112, 3.4}, "876E4321123D5678"}, {{32, top + 4 * 6.8 + 3.4, 112, 3.4}, "8765432112345678"},
        {{32, top + 1 * 6.8, 112, 6.8}, "2"},                 {{32, top + 7 * 6.8, 112, 6.8}, "3"},
        {{tooth5, top + 20.4, cell, 3.4}, "16"},              {{tooth5 + cell, top + 20.4, cell, 3.4}, "100"},
        {{tooth5 + 2 * cell, top + 20.4, cell, 3.4}, "9"}};
    for (const auto& [box, text] : texts)
        EXPECT_EQ(textIn(data, box), text);

    const QString preview = t.paths->app + "/preview.pdf";
    {
        QPdfWriter w(preview);
        w.setPageSize(QPageSize(QPageSize::A4));
        w.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p(&w);
        SheetPainter::toMillimetres(p, w);
        EXPECT_EQ(DrawDataPreview(p, SheetSource{&stages, 99, ""}), 128.0);
    }
    const auto shown = dataCaptions(pdfWords(preview), "ステージ");
    ASSERT_EQ(shown.size(), 2);
    EXPECT_NEAR(shown[0].yMin, captionOffset, 0.05);
    EXPECT_NEAR(shown[1].yMin, 64 + captionOffset, 0.05);
}

// Chart sheet, tooth 13 (index 5) of the upper block: a remaining tooth has crown and root, an
// implant its crown over the implant picture, a pontic the crown only, a missing tooth nothing;
// a tooth that is not a remaining tooth has a grey number cell. The first stage's pocket graph
// is drawn in blue, 3 mm above the zero line where crown meets root. The data block at
// (12, 26.5): the number cell's colour by status (implant, pontic, 0x1000, missing, in that
// order of precedence), grey PPD cells without depth, yellow ones with pus, red digits where
// a site bleeds, and the plaque symbol's surfaces red (plaque), grey (second pass) or unfilled.
TEST_F(SheetTest, SheetColoursAsWorkedOut) {
    auto chartWith = [](std::uint16_t status, int depth) {
        auto stages = namedStages({3, 0, 0, 0});
        stages[0].Ppd.fill(std::uint8_t(depth ? depth : kNoValue));
        stages[0].ToothStatus[5] = status;
        const SheetSource src{&stages, 5, ""};
        return drawnImage([&](SheetPainter& sp) { DrawChartSheetPage(sp, src, ApplicantKind::Specialist); });
    };
    const QImage tooth = chartWith(0, 0), missing = chartWith(kMissingTooth, 0), pontic = chartWith(kPontic, 0),
                 implant = chartWith(kImplant, 0), other = chartWith(kOtherExcluded, 0), graph = chartWith(0, 3);
    const double bandTop = 50 + 3.5, x = 27 + 5 * 10 + (10 - kPictureW) / 2;
    const QRectF root(x, bandTop + 0.3, kPictureW, kRootH - 0.6), crown(x, bandTop + kRootH + 0.3, kPictureW, kCrownH - 0.6),
        band(x, bandTop, kPictureW, kBandH);
    const struct {
        const char* name;
        const QImage *a, *b;
        QRectF box;
        bool differs;
    } pictures[] = {{"missing: no crown", &tooth, &missing, crown, true}, {"missing: no root", &tooth, &missing, root, true},
                    {"pontic: crown", &pontic, &tooth, crown, false},   {"pontic: no root", &pontic, &missing, root, false},
                    {"implant: crown", &implant, &tooth, crown, false}, {"implant: fixture", &implant, &tooth, root, true},
                    {"implant: fixture drawn", &implant, &missing, root, true},
                    {"0x1000 like a remaining tooth", &other, &tooth, band, false}};
    for (const auto& p : pictures)
        EXPECT_EQ(differing(*p.a, *p.b, p.box) > 100, p.differs) << p.name;

    const QColor yellow(255, 255, 128), pink(255, 192, 192), purple(224, 128, 224), blue(128, 128, 255);
    const std::pair<std::uint16_t, QColor> numbers[] = {
        {0, Qt::white},          {kDeciduous, Qt::white},    {kImplant, yellow},
        {kPontic, pink},         {kOtherExcluded, purple},   {kMissingTooth, blue},
        {kImplant | kPontic | kMissingTooth, yellow},        {kPontic | kMissingTooth, pink},
        {kOtherExcluded | kMissingTooth, purple}};
    ChartStageData s = namedStages({3, 0, 0, 0})[0];
    for (int i = 0; i < 9; ++i)
        s.ToothStatus[i] = s.ToothStatus[16 + i] = numbers[i].first; // teeth 0..8 of both jaws
    s.Ppd[1 * 6 + 1] = kNoValue; // tooth 1, first row, middle third
    s.Pus[2 * 6 + 2] = 1;        // tooth 2, first row, last third, also bleeding
    s.Bop[2 * 6 + 2] = 1;
    s.Plaque[3] = 1 | 4;      // top and bottom
    s.PlaqueItemB[3] = 4 | 8; // bottom and left: grey wins over red
    s.Plaque[4] = kNoValue;   // no symbol
    s.PlaqueItemB[4] = 0x0F;
    const QImage data = drawnImage([&](SheetPainter& sp) { DrawDataBlock(sp, s, 12, 26.5); });
    const double grid = 32, w = 7, ppdTop = 26.5 + 3 * 6.8, cy = 26.5 + 3.4, sym = grid + 3.5;
    const QColor grey(208, 208, 208), red(255, 0, 0), white(Qt::white);
    const struct {
        QString name;
        const QImage* img;
        double x, y;
        QColor colour;
    } points[] = {
        {"pocket graph of the first stage", &graph, 27 + 5 * 10 + 5, bandTop + kRootH - 3, QColor(0, 0, 255)},
        {"PPD cell without depth", &data, grid + w + w / 3 + 0.3, ppdTop + 0.4, grey},
        {"PPD cell with pus", &data, grid + 2 * w + 2 * w / 3 + 0.3, ppdTop + 0.4, QColor(255, 255, 0)},
        {"PPD cell without pus", &data, grid + 2 * w + 0.3, ppdTop + 0.4, white},
        {"plaque surface 1", &data, sym + 3 * w, cy - 1.5, red},
        {"no plaque on surface 2", &data, sym + 3 * w + 1.5, cy, white},
        {"surface 4 in both passes", &data, sym + 3 * w, cy + 1.5, grey},
        {"surface 8 in the second pass", &data, sym + 3 * w - 1.5, cy, grey},
        {"plaque not examined: no symbol", &data, sym + 4 * w, cy - 1.5, white},
        {"plaque not examined: no symbol", &data, sym + 4 * w - 1.5, cy, white},
    };
    for (const auto& p : points)
        EXPECT_EQ(pixelAt(*p.img, p.x, p.y), p.colour) << p.name.toStdString();
    for (auto [img, colour] : {std::pair{&tooth, white}, {&missing, grey}, {&pontic, grey}, {&implant, grey}, {&other, white}})
        EXPECT_EQ(pixelAt(*img, 77.6, 76.1), colour) << "the chart's number cell"; // white for a remaining tooth
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(pixelAt(data, grid + i * w + 0.6, 26.5 + 27.7), numbers[i].second) << "upper " << i;
        EXPECT_EQ(pixelAt(data, grid + i * w + 0.6, 26.5 + 31.1), numbers[i].second) << "lower " << i;
    }
    // Digits: red at a bleeding site (site 0 of every tooth, and tooth 2's last third on
    // yellow), black elsewhere.
    auto inkIn = [&](double x) {
        int red = 0, dark = 0;
        for (int py = int(ppdTop * kPx); py < int((ppdTop + 3.4) * kPx); ++py)
            for (int px = int((x + 0.2) * kPx); px < int((x + w / 3 - 0.2) * kPx); ++px) {
                const QColor c = data.pixelColor(px, py);
                red += c.red() > 200 && c.green() < 80 && c.blue() < 80;
                dark += c.red() < 80 && c.green() < 80 && c.blue() < 80;
            }
        return std::pair{red > 20, dark > 20};
    };
    EXPECT_EQ(inkIn(grid + 5 * w), std::pair(true, false));
    EXPECT_EQ(inkIn(grid + 5 * w + w / 3), std::pair(false, true));
    EXPECT_EQ(inkIn(grid + 2 * w + 2 * w / 3).first, true);
}

// A PDF run refuses a sheet without data (the data sheet needs the first or second stage);
// else it writes the file named by applicant kind, member, case (trimmed; the patient number
// without one) and minute, shows the case number after "症例番号" as stored, and reports
// completion. A save folder that cannot be made is reported and leaves nothing.
TEST_F(SheetTest, PdfRunsRefuseOrWriteTheirNamedFile) {
    const auto C = SheetKind::Chart, D = SheetKind::Data;
    const auto S = ApplicantKind::Specialist, N = ApplicantKind::CertifiedDentist, H = ApplicantKind::CertifiedHygienist;
    const struct {
        std::array<int, 4> depths;
        SheetKind sheet;
        ApplicantKind kind;
        QString caseNumber, file, shown; // file "": refused
    } cases[] = {
        {{0, 0, 0, 0}, C, S, "", "", ""},
        {{0, 0, 3, 0}, D, S, "", "", ""},
        {{0, 0, 3, 0}, C, S, "", "S_123456_42_C_20240804_0905.pdf", "４２"},
        {{0, 3, 0, 0}, D, N, "  K-7 ", "N_123456_K-7_D_20240804_0905.pdf", "K-7"},
        {{3, 0, 0, 0}, C, H, "12", "H_123456_12_C_20240804_0905.pdf", "１２"},
        {{3, 0, 0, 0}, C, S, "   ", "S_123456_42_C_20240804_0905.pdf", ""}, // blanks: no patient number,
        {{0, 3, 0, 0}, D, N, "K-7", "N_123456_K-7_D_20240804_0905.pdf", "K-7"},
        {{3, 0, 0, 0}, C, H, " 12 ", "H_123456_12_C_20240804_0905.pdf", "１２"},
    };
    std::map<QString, PdfWord> numberAt; // the first word after the heading, by case number
    t.clock->current = QDateTime(QDate(2024, 8, 4), QTime(9, 5, 59));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        QDir(app().SaveFolder).removeRecursively();
        t.boxes->clear();
        const auto stages = namedStages(c.depths);
        const SheetSource src{&stages, 42, c.caseNumber};
        (c.sheet == D ? PrintDataSheet : PrintChartSheet)(nullptr, src, c.kind, true);
        EXPECT_EQ(boxes(), QStringList{c.file.isEmpty() ? kNothing : kDone});
        EXPECT_EQ(t.boxes->shown[0].icon, c.file.isEmpty() ? MsgIcon::Exclamation : MsgIcon::Information);
        EXPECT_EQ(savedFiles(), c.file.isEmpty() ? QStringList() : QStringList{c.file}); // no temporary file
        expectRestored();
        if (c.file.isEmpty()) continue;
        // The case number after its heading as stored (the chart sheet in full-width), and
        // the patient number only when no case number is stored.
        const QString path = app().SaveFolder + "/" + c.file;
        const QList<PdfWord> words = pdfWords(path);
        const auto heads = wordsNamed(words, "症例番号");
        ASSERT_EQ(heads.size(), 1);
        EXPECT_EQ(wordsBeside(words, heads[0], 40), c.shown);
        for (const PdfWord& w : words)
            if (w.xMin > heads[0].xMax && std::abs(w.yMin - heads[0].yMin) < 1 && !numberAt.count(c.caseNumber))
                numberAt[c.caseNumber] = w;
        EXPECT_TRUE(infoHas(path, "Title:\\s+" + QRegularExpression::escape(CaseIdentifier(c.caseNumber, 42)) + "\\n"));
        EXPECT_EQ(PFrmMessageS::MessageText, "ＰＤＦファイルへ出力中です。");
    }
    // Blanks around a case number are printed: the data sheet's number (left-aligned) moves
    // right, the chart sheet's (right-aligned, full-width) moves left.
    EXPECT_GT(numberAt["  K-7 "].xMin, numberAt["K-7"].xMin + 0.5);
    EXPECT_LT(numberAt[" 12 "].xMax, numberAt["12"].xMax - 0.5);
    // A second run in the same minute replaces its file; a run in the next minute adds one.
    const auto stages = namedStages({3, 0, 0, 0});
    QDir(app().SaveFolder).removeRecursively();
    for (const QTime& at : {QTime(9, 5, 0), QTime(9, 5, 30), QTime(9, 6, 0)}) {
        t.clock->current = QDateTime(QDate(2024, 8, 4), at);
        PrintChartSheet(nullptr, SheetSource{&stages, 42, "12"}, H, true);
    }
    EXPECT_EQ(savedFiles(), QStringList({"H_123456_12_C_20240804_0905.pdf", "H_123456_12_C_20240804_0906.pdf"}));

    QDir(app().SaveFolder).removeRecursively();
    ASSERT_TRUE(QFile(t.paths->desktop + "/not-a-folder").open(QIODevice::WriteOnly));
    app().SaveFolder = t.paths->desktop + "/not-a-folder/KVR-DB-SAVE";
    t.boxes->clear();
    PrintChartSheet(nullptr, SheetSource{&stages, 5, ""}, S, true);
    EXPECT_EQ(boxes(), QStringList{"エラー|「" + app().SaveFolder + "」が作成できません。\r\n\r\nＰＤＦ出力できません。"});
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(QDir(t.paths->desktop).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"not-a-folder"});
    expectRestored();
    EXPECT_EQ(dialogs, 0);
}

// Through the printer dialog each chosen copy is one page of its own with its heading (the data
// sheet's four blocks each), and nothing goes into the save folder. (Cancelling it ends
// silently: the chart screen's buttons test that.) The blank form has two empty grids, one above
// the other, each with every caption.
TEST_F(SheetTest, PrinterDialogPathDrawsTheChosenCopies) {
    const auto stages = namedStages({2, 3, 4, 5});
    const SheetSource src{&stages, 5, "A1"};
    const struct {
        std::function<void()> run;
        int copies;
        QString text;
        int blocks; // data-sheet stage captions per copy
    } cases[] = {
        {[&] { PrintChartSheet(nullptr, src, ApplicantKind::Specialist, false); }, 2, "検査チャート表", 0},
        {[&] { PrintDataSheet(nullptr, src, ApplicantKind::CertifiedDentist, false); }, 3, "検査データ表", 4},
        {[&] { DrawBlankChart(nullptr); }, 1, "ヴェルダ学会専門医症例報告書", 0},
    };
    for (const auto& c : cases) {
        t.boxes->clear();
        QFile::remove(printedPath());
        dialogCopies = c.copies;
        c.run();
        EXPECT_EQ(boxes(), QStringList{kDone});
        EXPECT_TRUE(infoHas(printedPath(), QString("Pages:\\s+%1\\n").arg(c.copies))) << c.text.toStdString();
        EXPECT_EQ(pdfText(printedPath()).count(noBlanks(c.text)), c.copies) << c.text.toStdString();
        EXPECT_EQ(dataCaptions(pdfWords(printedPath()), "ステージ").size(), c.blocks * c.copies) << c.text.toStdString();
        expectRestored();
    }
    EXPECT_TRUE(savedFiles().isEmpty());
    const auto grids = wordsNamed(pdfWords(printedPath()), "検査日"); // the blank form, printed last
    ASSERT_EQ(grids.size(), 2);
    EXPECT_TRUE(grids[0].yMin < 35 && grids[1].yMin > 149 && grids[1].yMin < 159) << grids[1].yMin;
    const QString text = pdfText(printedPath());
    for (const char* h : {"総歯数", "PD総数", "出血", "PD平均", "(%)", "MOB", "頬", "側", "上顎", "口", "蓋", "歯番",
                          "舌", "下顎", "BOP", "Furcation"})
        EXPECT_GE(text.count(QString::fromUtf8(h)), 2) << h; // in both grids
}

} // namespace
