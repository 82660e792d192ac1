// Switching the patient on the chart screen: the four stages read from the database, the
// figures and the cells filled, and the chart tab painted, at the smallest screen size
// the program supports (1366 x 768), on a copy of the template database with the member
// connection held open as the entry screen holds it.
#include "chart/PFrmChartDR.h"
#include "chart/ToothPictures.h"
#include "data/ADODBMain.h"
#include "exam/ExamObjects.h"
#include "exam/ExamSession.h"
#include "shell/AppState.h"
#include "support/test_services.h"
#include "held_member.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <benchmark/benchmark.h>

using namespace kvr;

namespace {

struct Database : bench::HeldTemplateMember {
    Database() { BuildToothPictureTable(test::builtAppFolder() + "/BMP"); }
};

// One switch between the two sample patients, painted before the next one.
void BM_SwitchPatientOnChartScreen(benchmark::State& state) {
    Database d;
    PFrmChartDR screen(99);
    screen.resize(1366, 740);
    screen.show();
    QApplication::processEvents();
    int patient = 99;
    for (auto _ : state) {
        patient = patient == 99 ? 98 : 99;
        screen.selectPatient(patient);
        screen.SSTab1->currentWidget()->repaint();
    }
    if (screen.patient() != patient) state.SkipWithError("patient not switched");
}
BENCHMARK(BM_SwitchPatientOnChartScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

// The chart tab painted again without a switch.
void BM_PaintChartTab(benchmark::State& state) {
    Database d;
    PFrmChartDR screen(99);
    screen.resize(1366, 740);
    screen.show();
    QApplication::processEvents();
    for (auto _ : state)
        screen.SSTab1->currentWidget()->repaint();
}
BENCHMARK(BM_PaintChartTab)->Unit(benchmark::kMillisecond)->UseRealTime();

// The database part of a switch alone.
void BM_LoadChartPatient(benchmark::State& state) {
    Database d;
    for (auto _ : state) {
        ChartPatientData data;
        LoadChartPatient(99, data);
        benchmark::DoNotOptimize(data);
    }
}
BENCHMARK(BM_LoadChartPatient)->Unit(benchmark::kMillisecond)->UseRealTime();

// Opening the screen for a patient (load, figures, preview page, chart tab painted).
void BM_OpenChartScreen(benchmark::State& state) {
    Database d;
    for (auto _ : state) {
        PFrmChartDR screen(99);
        screen.resize(1366, 740);
        screen.show();
        screen.repaint();
    }
}
BENCHMARK(BM_OpenChartScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
