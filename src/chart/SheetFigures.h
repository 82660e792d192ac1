// The texts the chart screen and both sheets show for a stage, and the names a sheet
// is filed under.
#pragma once

#include "chart/ChartStats.h"

#include <QDateTime>
#include <QString>

#include <array>

namespace kvr {

// The figure texts of one stage slot. A slot without data has its stage name and
// nothing else: no figure of such a slot is ever shown as a zero.
struct StageFigures {
    QString stage;
    QString date;      // "yyyy/mm/dd"
    QString teeth;     // present teeth
    QString implants;
    QString ppdCount;  // measured sites
    QString ppdMean;   // "2.8" (no unit)
    std::array<QString, 3> bands; // "n (p%)"
    QString bop;
    QString pisa, pesa; // six characters, right-aligned
    QString pcr;
};

// The pocket-depth band limits G0, G1, G2 of the item on display row 1; 1, 4, 7 (the
// standard definition) while no usable definition is loaded.
std::array<int, 3> PocketBandLimits();

StageFigures StageFiguresOf(const ChartStageData& slot, const std::array<int, 3>& limits);

// Mean as the chart screen shows it: the mean followed by "㎜"; empty without data.
QString ChartMeanText(const StageFigures& f, bool hasData);
// The data sheet's mean cell: mean + "㎜(" + measured sites + "点)"; empty without data.
QString DataSheetMeanText(const StageFigures& f, bool hasData);

// The case number after "症例番号 " on the sheets: as the patient record holds it, or the
// patient number when it is empty.
QString SheetCaseText(const QString& caseNumber, int patientNo);
// Trimmed case number, or the patient number when the case number is empty (the file
// name and title of a PDF sheet).
QString CaseIdentifier(const QString& caseNumber, int patientNo);
// Half-width letters, digits, signs and the blank turned into their full-width forms.
QString toFullWidth(const QString& text);

// "S", "N" or "H" + "_" + member number + "_" + case identifier + "_C_" or "_D_" +
// "yyyymmdd_hhnn" + ".pdf".
QString SheetPdfFileName(int applicantKind, const QString& memberNo, const QString& caseId, bool chartSheet,
                         const QDateTime& when);

} // namespace kvr
