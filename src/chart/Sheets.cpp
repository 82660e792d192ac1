#include "chart/Sheets.h"

namespace kvr {

// Interim: the sheets are not drawn yet.
double DrawDataPreview(QPainter&, const SheetSource&) { return 0.0; }
void PrintChartSheet(QWidget*, const SheetSource&, ApplicantKind, bool) {}
void PrintDataSheet(QWidget*, const SheetSource&, ApplicantKind, bool) {}
void DrawBlankChart(QWidget*) {}

} // namespace kvr
