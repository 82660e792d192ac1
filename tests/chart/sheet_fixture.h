// Member database with the sample patient 99, its four stage slots, a save folder on
// the test desktop and a printer dialog that never shows; helpers that read a PDF back
// with poppler.
#pragma once

#include "chart/ChartStats.h"
#include "chart/Sheets.h"
#include "chart/ToothPictures.h"
#include "data/member_db_fixture.h"
#include "platform/printing.h"

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>

#include <cmath>

namespace kvr::test {

// A word of a PDF page with its box in millimetres.
struct PdfWord {
    int page;
    QString text;
    double xMin, yMin, xMax, yMax;
};

inline QString runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Without any white space, the ideographic blank included.
inline QString noBlanks(QString s) {
    static const QRegularExpression blanks("\\s", QRegularExpression::UseUnicodePropertiesOption);
    return s.remove(blanks);
}

// The page text without any white space (layout splits cells with blanks).
inline QString pdfTextCompact(const QString& path) {
    return noBlanks(runTool("pdftotext", {"-layout", path, "-"}));
}


inline QList<PdfWord> pdfWords(const QString& path) {
    const QString html = runTool("pdftotext", {"-bbox", path, "-"});
    QList<PdfWord> words;
    int page = 0;
    static const QRegularExpression wordRe(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>");
    for (const QString& line : html.split('\n')) {
        if (line.contains("<page ")) ++page;
        const auto m = wordRe.match(line);
        if (!m.hasMatch()) continue;
        const double k = 25.4 / 72.0;
        words.push_back({page, m.captured(5), m.captured(1).toDouble() * k, m.captured(2).toDouble() * k,
                         m.captured(3).toDouble() * k, m.captured(4).toDouble() * k});
    }
    return words;
}

// The words equal to text, top to bottom.
inline QList<PdfWord> wordsNamed(const QList<PdfWord>& all, const QString& text) {
    QList<PdfWord> out;
    for (const PdfWord& w : all)
        if (w.text == text) out.push_back(w);
    std::sort(out.begin(), out.end(), [](const PdfWord& a, const PdfWord& b) {
        return a.page != b.page ? a.page < b.page : a.yMin < b.yMin;
    });
    return out;
}

// The words on the line of `anchor` (within 1 mm) from anchor.xMax + from to anchor.xMax + to,
// joined in x order without blanks.
inline QString wordsBeside(const QList<PdfWord>& all, const PdfWord& anchor, double from, double to) {
    QList<PdfWord> line;
    for (const PdfWord& w : all)
        if (w.page == anchor.page && std::abs(w.yMin - anchor.yMin) < 1.0 && w.xMin > anchor.xMax + from &&
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
inline ChartStageData madeStage(const QString& name, int depth, const QDate& date) {
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

class SheetTest : public MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        app().SaveFolder = t.paths->desktop + "/KVR-DB-SAVE";
        static const bool pictures = (BuildToothPictureTable(builtAppFolder() + "/BMP"), true);
        (void)pictures;
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
    // Hand-made stages: every slot named, none with data.
    static std::array<ChartStageData, 4> namedStages() {
        std::array<ChartStageData, 4> s;
        const QStringList names = {"初診時", "基本治療終了時", "ＳＰＴ移行時", "最新ＳＰＴ時"};
        for (int k = 0; k < 4; ++k)
            s[k].StageName = names[k];
        return s;
    }

    QString pdfPath(const QString& name) const { return t.paths->app + "/" + name; }
    QString printedPath() const { return t.paths->app + "/printed.pdf"; }
    QStringList savedFiles() const {
        return QDir(app().SaveFolder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    int dialogs = 0;
    bool dialogAnswer = true;
    int dialogCopies = 1;
};

} // namespace kvr::test
