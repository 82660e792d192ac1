// The sheets as PDF files, read back with poppler: page size, fonts, titles, figures,
// block places, file names and the refusals.
#include "chart/SheetFigures.h"
#include "sheet_fixture.h"

#include <QGuiApplication>

using namespace kvr;
using namespace kvr::test;

namespace {

class SheetPdfTest : public SheetTest {};

TEST_F(SheetPdfTest, WritesSamplePatientSheets) {
    const auto stages = loadStages(99);
    const SheetSource src{&stages, 99, ""};
    const QString out = qEnvironmentVariable("KVR_SHEET_OUT");
    for (auto sheet : {SheetKind::Chart, SheetKind::Data, SheetKind::Blank}) {
        const QString path = pdfPath(QString("sheet%1.pdf").arg(int(sheet)));
        ASSERT_TRUE(WriteSheetPdf(path, sheet, src, ApplicantKind::Specialist, true));
        if (!out.isEmpty()) {
            QFile::remove(out + "/" + QFileInfo(path).fileName());
            QFile::copy(path, out + "/" + QFileInfo(path).fileName());
        }
    }
}

} // namespace
