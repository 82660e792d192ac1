// Opening the tools screen from the entry screen: the window and its seven tabs built,
// the master lists filled, patient 1's stored additional information shown, and the
// first frame painted. The member connection is held, as the entry screen holds it.
#include "data/ADODBMain.h"
#include "data/DataObjects.h"
#include "shell/AppState.h"
#include "support/test_services.h"
#include "tools/CPatientAdd.h"
#include "tools/PFrmImport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <benchmark/benchmark.h>

using namespace kvr;

namespace {

void setUp() {
    auto t = test::installTestServices();
    app().MemberNo = "123456";
    app().MemberFolder = t.paths->app + "/123456";
    app().MemberDbFile = "/KVR-DB-123456.MDB";
    QDir().mkpath(app().MemberFolder);
    QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", app().memberDbPath());
    QFile::copy(test::builtAppFolder() + "/TMaster.txt", appFolder() + "/TMaster.txt");
    QFile::setPermissions(app().memberDbPath(), QFile::ReadOwner | QFile::WriteOwner);
    setMemberSource(app().memberDbPath());
    OpenMemberDbHold();
    TheMaster().CheckTable();
    // Patient 1 with every item answered.
    memberConn()->execute(
        "INSERT INTO TPatientAdd (ID, BirthDay, Sex, ChiefComplaint2, SmokingHistory, PackDay, "
        "MedicalHistory, "
        "DiseaseName, Ingestion, MedicineName, OcclusalTrauma, PrematureContact, KvrDiagnosis, "
        "KvrDiagnosisLW, "
        "KvrDiagnosisCA, NewDiagnosisStage, NewDiagnosisGrade, PerioSurgeryTreatment, AblativeTherapy, "
        "MissingToothNum) VALUES (1, '1970/05/01', 1, '1001000000', 1, '20', 1, '0010000000010000000000', 1, "
        "'010000000000', 1, '10000000000000000100000000000000', 1, 2, 1, 3, 2, 1, "
        "'00100000000000000000000000000000', 2)");
}

void BM_OpenToolsScreen(benchmark::State& state) {
    QImage canvas(1280, 700, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        PFrmImport w(PFrmImport::Settings{1, -1, true});
        w.show();
        w.render(&canvas);
        benchmark::DoNotOptimize(canvas.bits());
    }
}
BENCHMARK(BM_OpenToolsScreen)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    setUp();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    closeAllConnections();
    return 0;
}
