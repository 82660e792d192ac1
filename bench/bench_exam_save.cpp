// Saving one examination and loading a patient's examination, on a copy of the template
// database with the member connection held open as the entry screen holds it.
#include "data/ADODBMain.h"
#include "exam/ExamObjects.h"
#include "exam/ExamSession.h"
#include "shell/AppState.h"
#include "support/test_services.h"
#include "held_member.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>

using namespace kvr;

namespace {

const QDate kStage2(2023, 8, 21);

// A member folder with a fresh template copy, opened and held.
struct Database : bench::HeldTemplateMember {
    Database() { LoadCharge(1); }
};

// Saves patient 99's stage-2 examination on its own date (save action 2: the stage is
// cleared from the other dates, the six rows are replaced with new keys), with every
// pocket site filled.
void BM_SaveExamination(benchmark::State& state) {
    Database d;
    SaveRequest r;
    r.patientId = 99;
    r.year = "2023";
    r.month = "8";
    r.day = "21";
    r.stage = 2;
    r.isNew = false;
    r.loadedDate = kStage2;
    r.chargeId = 1;
    LoadExamination(99, kStage2, &r.status);
    for (int i = 0; i < kCells; ++i)
        ExamSlots()[0].setBData(i, std::uint8_t(1 + i % 9));
    for (auto _ : state) {
        const SaveOutcome out = SaveExamination(r);
        if (!out.saved || out.action != kSaveLoaded) state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_SaveExamination)->Unit(benchmark::kMillisecond)->UseRealTime();

// Selecting a patient: the patient row, his examination list and the first examination
// loaded into the twelve slots.
void BM_SelectPatient(benchmark::State& state) {
    Database d;
    for (auto _ : state) {
        LoadPatient(99);
        const QList<ExamEntry> list = ListExaminations(99);
        ToothStatus status{};
        LoadExamination(99, list.first().date, &status);
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_SelectPatient)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Loading one examination into the twelve slots.
void BM_LoadExamination(benchmark::State& state) {
    Database d;
    for (auto _ : state) {
        ToothStatus status{};
        LoadExamination(99, kStage2, &status);
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_LoadExamination)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
