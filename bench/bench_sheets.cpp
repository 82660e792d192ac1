// One chart sheet and one data sheet of the sample patient 99 written as PDF files,
// pictures and fonts included, as the PDF buttons of the chart screen write them.
#include "chart/ChartStats.h"
#include "chart/Sheets.h"
#include "chart/ToothPictures.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "support/test_services.h"

#include <QApplication>
#include <QFile>

#include <benchmark/benchmark.h>

using namespace kvr;

namespace {

struct Sample {
    test::TestServices t = test::installTestServices();
    std::array<ChartStageData, 4> stages;
    Sample() {
        const QString db = t.paths->app + "/KVR-DB-123456.MDB";
        QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", db);
        auto conn = db::Connection::open(db, kProgramPassword);
        const char* names[4] = {"初診時", "基本治療終了時", "ＳＰＴ移行時", "最新ＳＰＴ時"};
        for (int k = 0; k < 4; ++k) {
            stages[k].StageName = QString::fromUtf8(names[k]);
            LoadChartStage(conn, 99, k + 1, stages[k]);
        }
        BuildToothPictureTable(test::builtAppFolder() + "/BMP");
    }
};

void writeSheet(benchmark::State& state, SheetKind sheet) {
    Sample s;
    const SheetSource src{&s.stages, 99, ""};
    const QString path = s.t.paths->desktop + "/sheet.pdf";
    for (auto _ : state)
        if (!WriteSheetPdf(path, sheet, src, ApplicantKind::Specialist, false)) state.SkipWithError("not written");
}

void BM_ChartSheetPdf(benchmark::State& state) {
    writeSheet(state, SheetKind::Chart);
}
void BM_DataSheetPdf(benchmark::State& state) {
    writeSheet(state, SheetKind::Data);
}
BENCHMARK(BM_ChartSheetPdf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DataSheetPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
