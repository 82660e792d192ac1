// Importing the previous version's 30 case patients with 200 examination rows each into
// a fresh member database held open as the entry screen holds it: reading the previous
// file, the transaction of deletions and copies, the compaction and the import marker.
// Waits are the instant test doubles, so the figure is the work itself.
#include "data/ADODBMain.h"
#include "data/DataObjects.h"
#include "shell/AppState.h"
#include "support/previous_version_files.h"
#include "support/test_services.h"
#include "tools/ImportKVRChart.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>

using namespace kvr;

namespace {

void BM_ImportPrevious30x200(benchmark::State& state) {
    test::TestServices t = test::installTestServices();
    app().MemberNo = "123456";
    app().MemberFolder = t.paths->app + "/123456";
    app().MemberDbFile = "/KVR-DB-123456.MDB";
    QDir().mkpath(app().MemberFolder);
    const QString prevPath = t.paths->app + "/VAZUZ2.MDB";
    {
        test::PreviousVersionFile prev(prevPath);
        prev.conn()->beginTransaction();
        for (int id = 1; id <= 30; ++id) {
            prev.addPatient(id);
            prev.addExams(id, 200);
        }
        prev.conn()->commit();
    }
    for (auto _ : state) {
        state.PauseTiming();
        closeAllConnections();
        ResetDataObjects();
        QFile::remove(app().memberDbPath());
        QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", app().memberDbPath());
        QFile::setPermissions(app().memberDbPath(), QFile::ReadOwner | QFile::WriteOwner);
        setMemberSource(app().memberDbPath());
        OpenMemberDbHold();
        t.boxes->clear();
        t.boxes->answer(MsgResult::Yes);
        state.ResumeTiming();
        if (ImportKVRChart(prevPath, ReplaceAllCases) != ImportOutcome::Completed)
            state.SkipWithError("import failed");
    }
    closeAllConnections();
}
BENCHMARK(BM_ImportPrevious30x200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The parts: reading the previous file's rows, and the transaction that copies them.
void BM_ReadPrevious30x200(benchmark::State& state) {
    test::TestServices t = test::installTestServices();
    const QString prevPath = t.paths->app + "/VAZUZ2.MDB";
    {
        test::PreviousVersionFile prev(prevPath);
        prev.conn()->beginTransaction();
        for (int id = 1; id <= 30; ++id) {
            prev.addPatient(id);
            prev.addExams(id, 200);
        }
        prev.conn()->commit();
    }
    auto source = openPreviousVersionDb(prevPath);
    for (auto _ : state) {
        const PreviousData d = ReadPreviousData(*source);
        if (d.exams.rows.size() != 6000) state.SkipWithError("rows missing");
    }
}
BENCHMARK(BM_ReadPrevious30x200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
