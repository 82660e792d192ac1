// One keystroke of the entry screen: the value stored in the tooth cell at the cursor,
// that cell redrawn, the cursor moved on and highlighted. Runs the whole screen on a
// copy of the template database (sample patient 99 loaded), offscreen.
#include "data/ADODBMain.h"
#include "data/DataObjects.h"
#include "exam/PFrmInput.h"
#include "exam/PFrmPlayWave.h"
#include "exam/ToothButton.h"
#include "shell/AppState.h"
#include "support/test_services.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTimer>
#include <benchmark/benchmark.h>

using namespace kvr;

namespace {

std::unique_ptr<PFrmInput> g_screen;

void setUpScreen() {
    auto t = test::installTestServices();
    app().MemberNo = "123456";
    app().MemberFolder = t.paths->app + "/123456";
    app().MemberDbFile = "/KVR-DB-123456.MDB";
    app().VoiceOn = false; // the player's device and timer are not part of a keystroke
    QDir().mkpath(app().MemberFolder);
    QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", app().memberDbPath());
    QFile::setPermissions(app().memberDbPath(), QFile::ReadOwner | QFile::WriteOwner);
    setMemberSource(app().memberDbPath());
    TheClinicCode().ClinicName = "1";
    g_screen = std::make_unique<PFrmInput>();
    g_screen->TimerLoad->stop();
    g_screen->resize(1366, 740);
    g_screen->selectPatient(99);
}

// Keeps the pocket cursor going round: at the last site it starts again.
void keystroke(PFrmInput& s, QImage& canvas) {
    const int tooth = s.cursorTooth(), site = s.cursorSite();
    s.handleEntryKey(Qt::Key_3, QStringLiteral("3"));
    // The redraw of the cell that took the value (painted now instead of on the next frame).
    ToothButton* cell = s.cell(0, tooth);
    cell->render(&canvas);
    if (s.cursorTooth() == tooth && s.cursorSite() == site) s.setCurrentRow(0); // the last site
}

void BM_EntryKeystroke(benchmark::State& state) {
    PFrmInput& s = *g_screen;
    s.setCurrentRow(0);
    QImage canvas(s.cell(0, 0)->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        keystroke(s, canvas);
}
BENCHMARK(BM_EntryKeystroke)->Unit(benchmark::kMicrosecond);

// The same with a redraw of the whole cursor cell and the cell it left (both change).
void BM_EntryKeystrokeTwoCells(benchmark::State& state) {
    PFrmInput& s = *g_screen;
    s.setCurrentRow(0);
    QImage canvas(s.cell(0, 0)->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        const int before = s.cursorTooth();
        keystroke(s, canvas);
        if (s.cursorTooth() != before) s.cell(0, s.cursorTooth())->render(&canvas);
    }
}
BENCHMARK(BM_EntryKeystrokeTwoCells)->Unit(benchmark::kMicrosecond);

// The pure key reading and storing without painting.
void BM_EntryKeystrokeNoPaint(benchmark::State& state) {
    PFrmInput& s = *g_screen;
    s.setCurrentRow(0);
    for (auto _ : state) {
        const int tooth = s.cursorTooth(), site = s.cursorSite();
        s.handleEntryKey(Qt::Key_4, QStringLiteral("4"));
        if (s.cursorTooth() == tooth && s.cursorSite() == site) s.setCurrentRow(0);
    }
}
BENCHMARK(BM_EntryKeystrokeNoPaint)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setUpScreen();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    g_screen.reset();
    closeAllConnections();
    return 0;
}
