// The two case-report sheets (the examination chart sheet and the examination data
// sheet) and the blank chart form, drawn by one set of routines in millimetres on any
// QPainter: the printer, the PDF writer and the chart screen's data-sheet preview.
#pragma once

#include "chart/ChartStats.h"

#include <QString>

#include <array>
#include <functional>

class QPainter;
class QWidget;

namespace kvr {

// The applicant kind of a print button: its index modulo 3.
enum class ApplicantKind { Specialist = 0, CertifiedDentist = 1, CertifiedHygienist = 2 };

// What a sheet shows: the chart screen's four stage slots and the patient's case
// identifier.
struct SheetSource {
    const std::array<ChartStageData, 4>* stages = nullptr;
    int patientNo = 0;
    QString caseNumber; // the case number as stored (may be empty or padded)
};

// Draws the data-sheet preview: the stage blocks of the stages with data, one after
// another without gaps, on a painter whose unit is one millimetre. Returns the height
// drawn in millimetres.
double DrawDataPreview(QPainter& painter, const SheetSource& source);

// The print buttons of the chart screen. toPdf false: the printer dialog, then the
// sheet on the chosen printer (cancel = silent end). toPdf true: the PDF file in the
// desktop folder "KVR-DB-SAVE" under its generated name, with the status window and the
// completion message. The refusals and errors show their own boxes.
void PrintChartSheet(QWidget* parent, const SheetSource& source, ApplicantKind kind, bool toPdf);
void PrintDataSheet(QWidget* parent, const SheetSource& source, ApplicantKind kind, bool toPdf);
// The blank chart form on the printer chosen in the printer dialog.
void DrawBlankChart(QWidget* parent);

// ---------------------------------------------------------------- drawing (headless)

class SheetPainter;

enum class SheetKind { Chart, Data, Blank };

// Titles and form numbers of the sheets by applicant kind.
QString ChartSheetTitle(ApplicantKind kind);
QString ChartSheetFormNo(ApplicantKind kind);
QString DataSheetTitle(ApplicantKind kind); // ends with "　　PISA対応版"
QString DataSheetFormNo(ApplicantKind kind);

// One copy of a sheet on a painter in millimetres from the paper's corner (after
// InitPrinter). newPage starts a new page where one copy needs more than one.
void DrawChartSheetPage(SheetPainter& sp, const SheetSource& source, ApplicantKind kind);
void DrawDataSheetPages(SheetPainter& sp, const SheetSource& source, ApplicantKind kind, bool stagePeriodProblem,
                        const std::function<void()>& newPage);
void DrawBlankChartPage(SheetPainter& sp);

// One stage block of the data sheet with its top-left corner at (left, top).
void DrawDataBlock(SheetPainter& sp, const ChartStageData& stage, double left, double top);
// Top of stage slot k's block on the data sheet.
double DataBlockTop(int slot);
// Height of one stage block in the data-sheet preview.
inline constexpr double kPreviewBlockPitch = 64.0;

// Writes one copy of a sheet as an A4 portrait PDF whose document title is the case
// identifier. False when the file cannot be written.
bool WriteSheetPdf(const QString& path, SheetKind sheet, const SheetSource& source, ApplicantKind kind,
                   bool stagePeriodProblem);

} // namespace kvr
