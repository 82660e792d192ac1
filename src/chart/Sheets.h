// The two case-report sheets (the examination chart sheet and the examination data
// sheet) and the blank chart form, drawn by one set of routines in millimetres on any
// QPainter: the printer, the PDF writer and the chart screen's data-sheet preview.
#pragma once

#include "chart/ChartStats.h"

#include <QString>

#include <array>

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

} // namespace kvr
