// Member number change: checking the new number, the folders it leaves, the clinic-code
// row and the end of the program; and a change killed at any moment, after which the
// member's data are complete under the old number or under the new one.
#include "data/ADODBMain.h"
#include "data/CClinicCode.h"
#include "data/DataObjects.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "shell/AppState.h"
#include "support/test_services.h"
#include "tools/MemberNumberChange.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace kvr;

namespace {

const char* const kAppVar = "KVR_KNO_CHANGE_APP";
const char* const kStepVar = "KVR_KNO_CHANGE_KILL_STEP";

const QString kOld = "123456";
const QString kNew = "654321";

// The patients and examinations of a member database, as text ("" when it cannot be
// opened with the program's key).
QString memberData(const QString& dbPath) {
    if (!QFileInfo(dbPath).isFile()) return QString();
    try {
        db::ConnectionPtr c = db::Connection::open(dbPath, kProgramPassword);
        QStringList lines;
        for (const char* sql : {"SELECT * FROM TPatient ORDER BY ID", "SELECT * FROM TExamData ORDER BY ID"}) {
            db::Recordset rs(c, sql);
            for (; !rs.eof(); rs.moveNext()) {
                QStringList f;
                for (int i = 0; i < rs.fieldCount(); ++i)
                    f << rs.value(i).toString();
                lines << f.join('|');
            }
        }
        return lines.join('\n');
    } catch (const RuntimeError&) {
        return QString();
    }
}

QString clinicCodeOf(const QString& dbPath) {
    db::ConnectionPtr c = db::Connection::open(dbPath, kProgramPassword);
    return c->scalar("SELECT ClinicCode FROM TClinicCode WHERE ID=0").toString();
}

// Relative path and contents of every file below folder, the database's journal aside
// (a journal left by a killed write is part of the database: it is rolled back on opening).
QMap<QString, QByteArray> filesOf(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        if (f.endsWith("-journal")) continue;
        QFile in(f);
        in.open(QIODevice::ReadOnly);
        files[QDir(folder).relativeFilePath(f)] = in.readAll();
    }
    return files;
}

QStringList visibleFolders(const QString& app) {
    return QDir(app).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// Points the program at member kOld in appFolder (its folder must exist).
void startAsOldMember() {
    closeAllConnections();
    AppState& a = app();
    a.MemberNo = kOld;
    a.MemberFolder = appFolder() + "/" + kOld;
    a.MemberDbFile = "/KVR-DB-" + kOld + ".MDB";
    setMemberSource(a.memberDbPath());
    OpenMemberDbHold(); // held by the entry screen while the tools screen is open
    LoadClinicCode();
}

// A member folder for kOld: the database with 40 patients more than the template, a
// settings file and a report in a subfolder.
void makeOldMemberFolder(const QString& app) {
    const QString folder = app + "/" + kOld;
    QDir().mkpath(folder + "/report");
    const QString db = folder + "/KVR-DB-" + kOld + ".MDB";
    ASSERT_TRUE(QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", db));
    QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner);
    {
        db::ConnectionPtr c = db::Connection::open(db, kProgramPassword);
        c->execute("CREATE TEMP TABLE One AS SELECT * FROM TPatient ORDER BY ID LIMIT 1");
        for (int i = 0; i < 40; ++i) {
            c->execute("UPDATE One SET ID = ID + 1000");
            c->execute("INSERT INTO TPatient SELECT * FROM One");
        }
        c->execute("UPDATE TClinicCode SET ClinicCode = ?", {kOld});
    }
    QFile ini(folder + "/KVR-DB.ini");
    ini.open(QIODevice::WriteOnly);
    ini.write("[Setting]\nStartTab=3\n");
    QFile report(folder + "/report/sheet.pdf");
    report.open(QIODevice::WriteOnly);
    report.write(QByteArray(3 << 20, 'r')); // a large file widens the copying window
}

class MemberNumberChangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        t = test::installTestServices();
        makeOldMemberFolder(appFolder());
        before = memberData(appFolder() + "/" + kOld + "/KVR-DB-" + kOld + ".MDB");
        ASSERT_FALSE(before.isEmpty());
        beforeFiles = filesOf(appFolder() + "/" + kOld);
        startAsOldMember();
    }
    void TearDown() override { closeAllConnections(); }

    test::TestServices t;
    QString before;
    QMap<QString, QByteArray> beforeFiles;
};

TEST_F(MemberNumberChangeTest, RefusedNumbersTouchNothing) {
    QDir().mkpath(appFolder() + "/222222");
    const struct {
        QString input;
        MemberNoChange result;
        QString title, text;
    } cases[] = {
        {"", MemberNoChange::Empty, "未入力", "会員番号が未入力です。入力してください。"},
        {"　 ", MemberNoChange::Empty, "未入力", "会員番号が未入力です。入力してください。"},
        {"12345", MemberNoChange::Invalid, "エラー", "会員番号を正しく入力してください。"},
        {"1234567", MemberNoChange::Invalid, "エラー", "会員番号を正しく入力してください。"},
        {"12a456", MemberNoChange::Invalid, "エラー", "会員番号を正しく入力してください。"},
        {"１２３４５Ａ", MemberNoChange::Invalid, "エラー", "会員番号を正しく入力してください。"},
        {"+12345", MemberNoChange::Invalid, "エラー", "会員番号を正しく入力してください。"},
        {"222222", MemberNoChange::TargetExists, "エラー",
         "変更後の会員番号フォルダが存在するため変更できません。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        t.boxes->clear();
        EXPECT_EQ(ChangeMemberNumber(c.input), c.result);
        ASSERT_EQ(t.boxes->shown.size(), 1);
        EXPECT_EQ(t.boxes->shown[0].title, c.title);
        EXPECT_EQ(t.boxes->shown[0].text, c.text);
        EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Exclamation);
        EXPECT_EQ(visibleFolders(appFolder()), QStringList({kOld, "222222"}));
        EXPECT_EQ(filesOf(appFolder() + "/222222").size(), 0);
        EXPECT_EQ(app().MemberNo, kOld);
    }
    EXPECT_EQ(filesOf(appFolder() + "/" + kOld), beforeFiles);
}

TEST_F(MemberNumberChangeTest, FullWidthNumberMovesTheDatabaseAndKeepsTheOldFolderAside) {
    EXPECT_EQ(NormalizeMemberNo(" ６５４３２１　"), kNew);
    ASSERT_EQ(ChangeMemberNumber("６５４３２１"), MemberNoChange::Done);
    EXPECT_TRUE(t.boxes->shown.isEmpty());

    const QString setAside = kOld + "_20240814_163000"; // the test clock's time
    EXPECT_EQ(visibleFolders(appFolder()), QStringList({kOld + "_20240814_163000", kNew}));
    EXPECT_EQ(filesOf(appFolder() + "/" + setAside), beforeFiles);
    const QString newDb = appFolder() + "/" + kNew + "/KVR-DB-" + kNew + ".MDB";
    EXPECT_EQ(filesOf(appFolder() + "/" + kNew).keys(), QStringList({"KVR-DB-" + kNew + ".MDB"}));
    EXPECT_EQ(memberData(newDb), before);
    EXPECT_FALSE(QDir(appFolder()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot).join(',').contains('.'))
        << "no work folders left";

    // The running program now works on the new number.
    EXPECT_EQ(app().MemberNo, kNew);
    EXPECT_EQ(app().memberDbPath(), newDb);
    EXPECT_EQ(TheClinicCode().ClinicCode, kNew);
    closeAllConnections();
    EXPECT_EQ(clinicCodeOf(newDb), kNew);

    EXPECT_THROW(FinishMemberNumberChange(), ProgramEnded);
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].title, "完了");
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(t.boxes->shown[0].text,
              "会員番号の変更が完了しました。\r\n\r\nプログラムを終了しますので、プログラムを再起動してください。");
}

// ------------------------------------------------------------------ killed changes

// The child: changes kOld to kNew in the given program folder and kills itself before
// the given step (0: not at a step; the parent kills it after a delay).
TEST(MemberNumberChangeChild, Run) {
    const QString app = qEnvironmentVariable(kAppVar);
    if (app.isEmpty()) GTEST_SKIP() << "runs only as the child of MemberNumberKill";
    test::TestServices t = test::installTestServices();
    t.paths->app = app;
    startAsOldMember();
    const int killStep = qEnvironmentVariableIntValue(kStepVar);
    std::printf("READY\n");
    std::fflush(stdout);
    ChangeMemberNumber(kNew, [&](int step) {
        if (step == killStep) ::kill(::getpid(), SIGKILL);
    });
    std::printf("DONE\n");
    std::fflush(stdout);
}

class MemberNumberKill : public ::testing::Test {
protected:
    void SetUp() override {
        test::installTestServices();
        ASSERT_TRUE(dir.isValid());
        pristine = dir.filePath("pristine");
        QDir().mkpath(pristine);
        makeOldMemberFolder(pristine);
        before = memberData(pristine + "/" + kOld + "/KVR-DB-" + kOld + ".MDB");
        beforeFiles = filesOf(pristine + "/" + kOld);
    }

    // Runs the child on a fresh copy of the pristine program folder; killed before step
    // killStep, or delayUs after READY. Returns whether it was killed.
    bool run(const QString& app, int killStep, int delayUs) {
        QDir(app).removeRecursively();
        QDir().mkpath(app + "/" + kOld + "/report");
        for (auto it = beforeFiles.begin(); it != beforeFiles.end(); ++it) {
            QFile f(app + "/" + kOld + "/" + it.key());
            f.open(QIODevice::WriteOnly);
            f.write(it.value());
        }
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kAppVar, app);
        env.insert(kStepVar, QString::number(killStep));
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=MemberNumberChangeChild.*"});
        EXPECT_TRUE(p.waitForStarted());
        if (delayUs >= 0) {
            QByteArray out;
            while (!out.contains("READY\n") && p.state() == QProcess::Running) {
                p.waitForReadyRead(100);
                out += p.readAllStandardOutput();
            }
            readyAt.start();
            if (measureOnly) {
                while (!out.contains("DONE\n") && p.state() == QProcess::Running) {
                    p.waitForReadyRead(100);
                    out += p.readAllStandardOutput();
                }
                spanUs = int(readyAt.nsecsElapsed() / 1000);
            } else {
                ::usleep(useconds_t(delayUs));
                ::kill(pid_t(p.processId()), SIGKILL);
            }
        }
        EXPECT_TRUE(p.waitForFinished(60000));
        return p.exitStatus() == QProcess::CrashExit;
    }

    // What a start with either number finds: every visible member folder is complete;
    // the data are there under the old number or the new one.
    void expectHarmless(const QString& app, const QString& what) {
        SCOPED_TRACE(what.toStdString());
        const QString oldDb = app + "/" + kOld + "/KVR-DB-" + kOld + ".MDB";
        const QString newDb = app + "/" + kNew + "/KVR-DB-" + kNew + ".MDB";
        const bool hasOld = QFileInfo(app + "/" + kOld).isDir();
        const bool hasNew = QFileInfo(app + "/" + kNew).isDir();
        EXPECT_TRUE(hasOld || hasNew);
        if (hasOld) {
            EXPECT_EQ(filesOf(app + "/" + kOld), beforeFiles);
            EXPECT_EQ(clinicCodeOf(oldDb), kOld);
        }
        if (hasNew) {
            EXPECT_EQ(memberData(newDb), before);
            EXPECT_TRUE(QStringList({kOld, kNew}).contains(clinicCodeOf(newDb)));
            EXPECT_EQ(filesOf(app + "/" + kNew).size(), 1);
        }
        if (!hasOld) { // the old folder goes only when its set-aside copy is complete
            const QStringList aside = QDir(app).entryList({kOld + "_*"}, QDir::Dirs);
            ASSERT_EQ(aside.size(), 1);
            EXPECT_EQ(filesOf(app + "/" + aside[0]), beforeFiles);
        }
    }

    QTemporaryDir dir;
    QElapsedTimer readyAt; // started when the child is ready to change the number
    bool measureOnly = false; // let the child finish and measure the change itself
    int spanUs = 0;
    QString pristine, before;
    QMap<QString, QByteArray> beforeFiles;
};

TEST_F(MemberNumberKill, KilledBeforeEveryStepOrAtRandomLeavesTheDataComplete) {
    const QString app = dir.filePath("app");
    int killed = 0, finished = 0;
    for (int step = 1; step <= 6; ++step) {
        EXPECT_TRUE(run(app, step, -1));
        expectHarmless(app, "killed before step " + QString::number(step));
        ++killed;
    }
    // Random moments over the whole change: its length is measured first (a kill
    // "after" an untouched run that already finished changes nothing).
    measureOnly = true;
    EXPECT_FALSE(run(app, 0, 0));
    measureOnly = false;
    const int span = std::max(1000, spanUs);
    QRandomGenerator rng(17);
    const int runs = qEnvironmentVariableIsSet("KVR_KILL_RUNS") ? qEnvironmentVariableIntValue("KVR_KILL_RUNS") : 30;
    for (int i = 0; i < runs; ++i) {
        const int delay = int(rng.bounded(span));
        const bool wasKilled = run(app, 0, delay);
        expectHarmless(app, "killed after " + QString::number(delay) + " us");
        wasKilled ? ++killed : ++finished;
    }
    std::printf("killed %d, finished before the kill %d\n", killed, finished);
    EXPECT_GT(killed, runs / 2);
}

} // namespace
