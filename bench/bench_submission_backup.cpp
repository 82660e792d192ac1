// The three jobs that rewrite or copy the whole member database, on a generated member
// database of about 50 MB, each beside the outside tool it is measured against:
//   archive     WriteEncryptedZip (stored, WinZip AES-256)   vs  7z a -mem=AES256 -p...
//   compaction  CompactDatabaseFile (export, check, rename)  vs  sqlcipher CLI sqlcipher_export
//   backup      CopyFile (temporary name, fsync, rename)     vs  cp + sync
// Each pair runs once per iteration; the ratio ours / tool is the counter "ratio".
#include "data/Compaction.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "shell/FileUtil.h"
#include "support/test_services.h"
#include "tools/EncryptedZip.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace kvr;

namespace {

struct Fixture {
    test::TestServices t = test::installTestServices();
    QTemporaryDir dir;
    QString db;
    Fixture() {
        db = dir.filePath("KVR-DB-123456.MDB");
        QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", db);
        QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner);
        auto c = db::Connection::open(db, kProgramPassword);
        c->execute("CREATE TABLE TBulk (ID INTEGER, Body TEXT)");
        c->beginTransaction();
        // Examination-like text: digits and blanks, about 50 MB in all.
        QString body;
        for (int i = 0; i < 1000; ++i)
            body += QString::number((i * 7919) % 1000).rightJustified(3, ' ');
        for (int i = 0; i < 16000; ++i)
            c->execute("INSERT INTO TBulk VALUES (?, ?)", {i, body.mid(i % 97) + body.left(i % 97)});
        c->commit();
    }
    qint64 size() const { return QFileInfo(db).size(); }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

double seconds(const std::function<void()>& job) {
    QElapsedTimer t;
    t.start();
    job();
    return double(t.nsecsElapsed()) / 1e9;
}

void runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(-1);
    if (p.exitCode() != 0) throw std::runtime_error(p.readAllStandardError().toStdString());
}

void report(benchmark::State& state, double ours, double tool) {
    state.SetIterationTime(ours);
    state.counters["ours_s"] = ours;
    state.counters["tool_s"] = tool;
    state.counters["ratio"] = ours / tool;
    state.counters["MB"] = double(fixture().size()) / 1e6;
}

void BM_Archive(benchmark::State& state) {
    Fixture& f = fixture();
    const QString ours = f.dir.filePath("ours.zip"), tool = f.dir.filePath("tool.zip");
    for (auto _ : state) {
        QFile::remove(ours);
        QFile::remove(tool);
        const double a = seconds([&] {
            WriteEncryptedZip(ours, f.db, "KVR-DB-123456.MDB", kSubmissionArchivePassword);
        });
        const double b = seconds([&] {
            runTool("7z", {"a", "-bd", "-mem=AES256", QString("-p") + kSubmissionArchivePassword, tool, f.db});
        });
        state.counters["ours_MB"] = double(QFileInfo(ours).size()) / 1e6;
        state.counters["tool_MB"] = double(QFileInfo(tool).size()) / 1e6;
        report(state, a, b);
    }
}
BENCHMARK(BM_Archive)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The archive when deflated: the time deflating costs and the bytes it saves.
void BM_ArchiveDeflated(benchmark::State& state) {
    Fixture& f = fixture();
    const QString ours = f.dir.filePath("deflated.zip");
    for (auto _ : state) {
        QFile::remove(ours);
        ZipOptions o;
        o.deflate = true;
        const double a = seconds([&] { WriteEncryptedZip(ours, f.db, "KVR-DB-123456.MDB", kSubmissionArchivePassword, o); });
        state.SetIterationTime(a);
        state.counters["zip_MB"] = double(QFileInfo(ours).size()) / 1e6;
        state.counters["MB"] = double(f.size()) / 1e6;
    }
}
BENCHMARK(BM_ArchiveDeflated)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_Compaction(benchmark::State& state) {
    Fixture& f = fixture();
    const QString work = f.dir.filePath("work.MDB"), temp = f.dir.filePath("VQCP.MDB");
    const QString cliOut = f.dir.filePath("cli.MDB");
    for (auto _ : state) {
        QFile::remove(work);
        QFile::copy(f.db, work);
        QFile::remove(cliOut);
        const QString sql = QString("PRAGMA key='%1'; PRAGMA cipher_page_size=4096; "
                                    "ATTACH DATABASE '%2' AS vqcp KEY '%1'; PRAGMA vqcp.cipher_page_size=4096; "
                                    "SELECT sqlcipher_export('vqcp'); DETACH DATABASE vqcp;")
                                .arg(kProgramPassword, cliOut);
        const double b = seconds([&] { runTool("sqlcipher", {work, sql}); });
        const double a = seconds([&] { CompactDatabaseFile(work, temp); });
        report(state, a, b);
    }
}
BENCHMARK(BM_Compaction)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_Backup(benchmark::State& state) {
    Fixture& f = fixture();
    const QString ours = f.dir.filePath("backup.MDB"), tool = f.dir.filePath("cp.MDB");
    for (auto _ : state) {
        QFile::remove(ours);
        QFile::remove(tool);
        const double a = seconds([&] { CopyFile(f.db, ours); });
        const double b = seconds([&] {
            runTool("cp", {f.db, tool});
            runTool("sync", {tool});
        });
        report(state, a, b);
    }
}
BENCHMARK(BM_Backup)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace
