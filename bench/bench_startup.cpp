// Start-up work on the member database: the version test and the maintenance steps
// (master list, clinic code, old-format test, sample patients, stage repair, record
// upgrade), on a fresh member database copied from the template, as at a first start.
#include "data/ADODBMain.h"
#include "platform/database.h"
#include "shell/AppState.h"
#include "shell/startup/startup.h"
#include "support/test_services.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>

using namespace kvr;

static void BM_StartupDatabaseSteps(benchmark::State& state) {
    int opens = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto t = test::installTestServices();
        resetAppState();
        closeAllConnections();
        const QString member = t.paths->app + "/123456";
        QDir().mkpath(member);
        QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", t.paths->app + "/KVR-DB_ORG.MDB");
        QFile::copy(test::builtAppFolder() + "/TMaster.txt", t.paths->app + "/TMaster.txt");
        QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", member + "/KVR-DB-123456.MDB");
        app().MemberNo = "123456";
        app().MemberFolder = member;
        app().MemberDbFile = "/KVR-DB-123456.MDB";
        setMemberSource(member + "/KVR-DB-123456.MDB");
        setTemplateSource(t.paths->app + "/KVR-DB_ORG.MDB");
        const int before = db::Connection::openCount();
        state.ResumeTiming();

        CheckDbVersion();
        StartupMaintenance();

        state.PauseTiming();
        opens = db::Connection::openCount() - before;
        closeAllConnections();
        state.ResumeTiming();
    }
    state.counters["database_opens"] = opens;
}
BENCHMARK(BM_StartupDatabaseSteps)->Unit(benchmark::kMillisecond)->Iterations(5);
