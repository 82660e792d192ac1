// Printing and PDF output of the sheets: the printer dialog path, the PDF path into the
// desktop folder "KVR-DB-SAVE", the status window, the refusals and the completion.
#include "chart/Sheets.h"

#include "chart/SheetFigures.h"
#include "chart/SheetPainter.h"
#include "data/ADODBMain.h"
#include "data/RecordUtil.h"
#include "platform/disk.h"
#include "platform/printing.h"
#include "platform/services.h"
#include "shell/AppState.h"
#include "shell/PFrmMessageS.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace kvr {

namespace {

const QString kNothingToPrint = QStringLiteral("印刷対象のデータがありません。");
const QString kDone = QStringLiteral("プリンタへの出力が完了しました。　　");
const QString kPdfBusy = QStringLiteral("ＰＤＦファイルへ出力中です。");
const QString kCannotPdf = QStringLiteral("ＰＤＦ出力できません。");

// The hourglass and the application title for the length of a run; both come back
// whatever way the run ends.
class SheetRun {
public:
    explicit SheetRun() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~SheetRun() {
        if (titled_) QGuiApplication::setApplicationDisplayName(savedTitle_);
        QApplication::restoreOverrideCursor();
    }
    void setTitle(const QString& title) {
        if (!titled_) savedTitle_ = QGuiApplication::applicationDisplayName();
        titled_ = true;
        QGuiApplication::setApplicationDisplayName(title);
    }

private:
    bool titled_ = false;
    QString savedTitle_;
};

bool anyData(const SheetSource& s) {
    if (!s.stages) return false;
    for (const ChartStageData& d : *s.stages)
        if (d.HasData) return true;
    return false;
}

bool dataSheetHasData(const SheetSource& s) {
    return s.stages && ((*s.stages)[0].HasData || (*s.stages)[1].HasData);
}

bool stagePeriodProblem(int patientNo) {
    bool problem = false;
    MemberDbUse use;
    runWithRetryBox([&] { problem = CheckStagePeriod(memberConn(), patientNo); });
    return problem;
}

// Draws copies of a sheet on an active painter over a page device, a new page between
// copies.
void drawSheet(QPainter& painter, QPagedPaintDevice& device, SheetKind sheet, const SheetSource& source,
               ApplicantKind kind, bool periodProblem, int copies) {
    SheetPainter sp(painter);
    auto newPage = [&] {
        device.newPage();
        SheetPainter::toMillimetres(painter, device);
    };
    for (int c = 0; c < copies; ++c) {
        if (c > 0) newPage();
        SheetPainter::toMillimetres(painter, device);
        sp.InitPrinter();
        switch (sheet) {
        case SheetKind::Chart:
            DrawChartSheetPage(sp, source, kind);
            break;
        case SheetKind::Data:
            DrawDataSheetPages(sp, source, kind, periodProblem, newPage);
            break;
        case SheetKind::Blank:
            DrawBlankChartPage(sp);
            break;
        }
    }
}

void a4Portrait(QPagedPaintDevice& device) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                     QPageLayout::Millimeter));
}

void pdfError(const QString& what) {
    msgBox(what + "\r\n\r\n" + kCannotPdf, QStringLiteral("エラー"), MsgButtons::Ok, MsgIcon::Critical);
}

QString saveFolder() {
    return app().SaveFolder.isEmpty() ? desktopFolder() + "/KVR-DB-SAVE" : app().SaveFolder;
}

// The printer dialog path: copies from the dialog, drawn by us.
void printOnPrinter(QWidget* parent, SheetKind sheet, const SheetSource* source, ApplicantKind kind, bool period,
                    SheetRun& run) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true);
    a4Portrait(printer);
    QApplication::setOverrideCursor(Qt::ArrowCursor); // the normal pointer over the dialog
    const bool chosen = ShowPrinterDialog(printer, parent);
    QApplication::restoreOverrideCursor();
    if (!chosen) return;
    const int copies = std::max(1, printer.copyCount());
    printer.setCopyCount(1);
    static const SheetSource blank;
    const SheetSource& src = source ? *source : blank;
    if (source) {
        // On the printer the run is named by the case number as shown on the screen.
        const QString caseText = SheetCaseText(src.caseNumber, src.patientNo);
        run.setTitle(caseText);
        printer.setDocName(caseText);
    }
    QPainter painter;
    if (!painter.begin(&printer)) {
        msgBox(QStringLiteral("プリンタへ出力できません。"), QStringLiteral("エラー"), MsgButtons::Ok,
               MsgIcon::Critical);
        return;
    }
    drawSheet(painter, printer, sheet, src, kind, period, copies);
    painter.end();
    msgBox(kDone, QStringLiteral("完了"), MsgButtons::Ok, MsgIcon::Information);
}

// The PDF path: the file is written under a temporary name in the save folder and
// renamed into place, so that the folder never holds half a sheet.
void printToPdf(QWidget* parent, SheetKind sheet, const SheetSource& source, ApplicantKind kind, bool period,
                SheetRun& run) {
    const QString folder = saveFolder();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        pdfError(QStringLiteral("「") + folder + QStringLiteral("」が作成できません。"));
        return;
    }
    const QString caseId = CaseIdentifier(source.caseNumber, source.patientNo);
    const QString name = SheetPdfFileName(int(kind), app().MemberNo, caseId, sheet == SheetKind::Chart, now());
    const QString target = folder + "/" + name;
    const QString temp = folder + "/." + name + ".part";

    auto status = std::make_unique<PFrmMessageS>(parent);
    PFrmMessageS::MessageText = kPdfBusy;
    PFrmMessageS::DisplayTime = 10000;
    status->show();
    doEvents();

    // This platform keeps no printer-mode value: the read reports -1 and nothing is set.
    if (GetLegacyDefaultPrinterMode() == 0) SetLegacyDefaultPrinterMode(1);

    run.setTitle(caseId);
    bool ok = WriteSheetPdf(temp, sheet, source, kind, period) && SyncToDisk(temp);
    if (ok) {
        QFile::remove(target);
        // A folder that cannot be flushed may lose the new name at a power cut: reported.
        ok = QFile::rename(temp, target) && SyncToDisk(folder, true);
    }
    status->close();
    status.reset();
    if (!ok) {
        QFile::remove(temp);
        pdfError(QStringLiteral("「") + target + QStringLiteral("」に書き込めません。"));
        return;
    }
    msgBox(kDone, QStringLiteral("完了"), MsgButtons::Ok, MsgIcon::Information);
}

void runSheet(QWidget* parent, const SheetSource& source, ApplicantKind kind, bool toPdf, SheetKind sheet) {
    const bool refused = sheet == SheetKind::Chart ? !anyData(source) : !dataSheetHasData(source);
    if (refused) {
        msgBox(kNothingToPrint, QStringLiteral("確認"), MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    SheetRun run;
    const bool period = sheet == SheetKind::Data && stagePeriodProblem(source.patientNo);
    if (toPdf)
        printToPdf(parent, sheet, source, kind, period, run);
    else
        printOnPrinter(parent, sheet, &source, kind, period, run);
}

} // namespace

bool WriteSheetPdf(const QString& path, SheetKind sheet, const SheetSource& source, ApplicantKind kind,
                   bool stagePeriodProblem) {
    // The PDF writer does not report failed writes: the sheet is made in memory and
    // written out here, where a full disk or an I/O error is seen.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        a4Portrait(writer);
        writer.setResolution(1200);
        writer.setTitle(sheet == SheetKind::Blank ? QString() : CaseIdentifier(source.caseNumber, source.patientNo));
        writer.setCreator(QStringLiteral("KVR-Chart-DB"));
        QPainter painter;
        if (!painter.begin(&writer)) return false;
        drawSheet(painter, writer, sheet, source, kind, stagePeriodProblem, 1);
        if (!painter.end()) return false;
    }
    QFile out(path);
    if (pdf.data().isEmpty() || !out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const bool written = out.write(pdf.data()) == pdf.data().size() && out.flush();
    out.close();
    return written && out.error() == QFileDevice::NoError;
}

void PrintChartSheet(QWidget* parent, const SheetSource& source, ApplicantKind kind, bool toPdf) {
    runSheet(parent, source, kind, toPdf, SheetKind::Chart);
}

void PrintDataSheet(QWidget* parent, const SheetSource& source, ApplicantKind kind, bool toPdf) {
    runSheet(parent, source, kind, toPdf, SheetKind::Data);
}

void DrawBlankChart(QWidget* parent) {
    SheetRun run;
    printOnPrinter(parent, SheetKind::Blank, nullptr, ApplicantKind::Specialist, false, run);
}

} // namespace kvr
