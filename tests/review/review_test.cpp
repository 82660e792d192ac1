// The reviewer's program over archives made by the program's own submission code.
#include "chart/ChartViewModel.h"
#include "chart/SheetFigures.h"
#include "chart/Sheets.h"
#include "exam/ExamSession.h"
#include "review/Review.h"
#include "tools/EncryptedZip.h"
#include "tools/Submission.h"
#include "tools/case_records.h"
#include "tools/tools_fixture.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <zip.h>

namespace kvr {
namespace {

const QString kArchiveName = "S_123456_20241015_1000_KVR-DB.zip";

QString pdfText(const QString& path) {
    QProcess p;
    p.start("pdftotext", {"-layout", path, "-"});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList csvLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {"<none>"};
    QString s = QString::fromUtf8(f.readAll());
    if (s.startsWith(QChar(0xFEFF))) s.remove(0, 1);
    QStringList l = s.split("\r\n");
    if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
    return l;
}

class ReviewTest : public test::ToolsTest {
protected:
    void SetUp() override {
        ToolsTest::SetUp();
        ASSERT_TRUE(work.isValid());
        qputenv("TMPDIR", QFile::encodeName(work.filePath("tmp")));
        QDir().mkpath(work.filePath("tmp"));
        QDir().mkpath(work.filePath("xdg"));
        QFile::setPermissions(work.filePath("xdg"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void TearDown() override {
        qunsetenv("TMPDIR");
        ToolsTest::TearDown();
    }
    // Case patient id with patient 99's examinations of every stage and a case number.
    void addCase(int id, const QString& caseNumber, bool withInformation = true) {
        direct()->execute("INSERT INTO TPatient (ID, Name, Address1) VALUES (?, ?, ?)",
                          {id, "患者" + QString::number(id), caseNumber});
        direct()->execute("INSERT INTO TExamData (ID, PatientID, ExamDate, Row, Examination, SubExam, PocketFree, "
                          "StartTime, EndTime, ChargeID, IsPrinted, \"UpDate\", CommentID, Comment, Data1, Data2, "
                          "Data3, Data4, Bui) SELECT ID + ? , ?, ExamDate, Row, Examination, SubExam, PocketFree, "
                          "StartTime, EndTime, ChargeID, IsPrinted, \"UpDate\", CommentID, Comment, Data1, Data2, "
                          "Data3, Data4, Bui FROM TExamData WHERE PatientID=99",
                          {id * 100000, id});
        if (withInformation) test::storePatientAdd(test::MinimalCompleteRecord(id));
    }
    // The member database as the submission step writes it into an archive.
    QString makeArchive(const QString& folder, const QString& name = kArchiveName) {
        direct()->execute("UPDATE TClinicCode SET ClinicCode='123456', ClinicCodeSub='S' WHERE ID=0");
        closeAllConnections();
        QDir().mkpath(folder);
        const QString zip = folder + "/" + name;
        EXPECT_TRUE(WriteSubmissionArchive(memberPath(), zip));
        QFile::remove(SubmissionCopyPath(zip));
        return zip;
    }
    int runProgram(const QStringList& args, QByteArray* err = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KVR_REVIEW_PASSWORD", kSubmissionArchivePassword);
        env.insert("TMPDIR", work.filePath("tmp"));
        env.insert("XDG_RUNTIME_DIR", work.filePath("xdg"));
        p.setProcessEnvironment(env);
        p.start(KVR_REVIEW_PROGRAM, args);
        if (!p.waitForFinished(120000)) return -1;
        if (err) *err = p.readAllStandardError();
        return p.exitCode();
    }
    bool tempEmpty() { return QDir(work.filePath("tmp")).entryList({"kvr-review-*"}, QDir::AllEntries | QDir::Hidden).isEmpty(); }

    QTemporaryDir work;
};

TEST_F(ReviewTest, CompleteMemberGivesFiguresOfTheChartStatsAndTheProgramsOwnSheets) {
    addCase(1, "A-01");
    addCase(2, "A-02");
    const QString zip = makeArchive(work.filePath("in"));
    const QString out = work.filePath("out");
    QByteArray err;
    ASSERT_EQ(runProgram({"--out", out, zip}, &err), 0) << err.toStdString();
    EXPECT_TRUE(tempEmpty());
    const QString folder = out + "/" + QFileInfo(zip).completeBaseName();
    const QStringList lines = csvLines(folder + "/summary.csv");
    ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], review::CsvHeading(false));

    // Each figure equals the texts the chart part computes from the member database.
    OpenMemberDb();
    LoadSubExamRows();
    for (int id : {1, 2}) {
        ChartPatientData data;
        ASSERT_TRUE(LoadChartPatient(id, data));
        const QStringList f = lines[id].split(',');
        EXPECT_EQ(f[0], QString::number(id));
        EXPECT_EQ(f[1], data.caseNumber);
        for (int k = 0; k < 4; ++k) {
            const StageFigures s = StageFiguresOf(data.stages[k], PocketBandLimits());
            EXPECT_EQ(f.mid(2 + k * 7, 7),
                      QStringList({s.date, s.teeth, s.bop, s.pcr, s.ppdMean, s.pisa.trimmed(), s.pesa.trimmed()}))
                << id << " stage " << k;
        }
        QString pct, count;
        const bool met = !CheckInitialCaseCriteria(memberConn(), id, pct, count);
        EXPECT_EQ(f.mid(31, 5), QStringList({pct, count, met ? "満たす" : "満たさない", "はい", ""}));
        EXPECT_EQ(f.mid(36), QStringList({"ok", "10000", "正しい", "なし", "なし"}));
    }

    // The sheets under the chart screen's names carry the same text as the program's own PDFs.
    ChartPatientData data;
    ASSERT_TRUE(LoadChartPatient(2, data));
    SheetSource src{&data.stages, 2, data.caseNumber};
    app().MemberNo = "123456";
    for (bool chart : {true, false}) {
        const QString name = SheetPdfFileName(0, "123456", "A-02", chart, QDateTime(QDate(2024, 10, 15), QTime(10, 0)));
        ASSERT_TRUE(QFileInfo::exists(folder + "/" + name)) << name.toStdString();
        QDir(app().SaveFolder).removeRecursively();
        if (chart)
            PrintChartSheet(nullptr, src, ApplicantKind::Specialist, true);
        else
            PrintDataSheet(nullptr, src, ApplicantKind::Specialist, true);
        const QStringList own = QDir(app().SaveFolder).entryList({"*.pdf"}, QDir::Files);
        ASSERT_EQ(own.size(), 1);
        EXPECT_EQ(pdfText(folder + "/" + name), pdfText(app().SaveFolder + "/" + own[0])) << name.toStdString();
    }
    const QString overview = pdfText(folder + "/overview.pdf");
    EXPECT_TRUE(overview.contains("提出データ確認一覧")) << overview.toStdString();
    EXPECT_TRUE(overview.contains("A-02")) << overview.toStdString();
}

TEST_F(ReviewTest, IncompleteCaseAndTheReviewersChecksAreColumnsNotRefusals) {
    addCase(1, "B-01");
    addCase(2, "B-01");
    addCase(3, "B-03", false);
    // A stage dated after the archive, out of order with the stages before it.
    direct()->execute("UPDATE TExamData SET ExamDate='2030-01-01 00:00:00' WHERE PatientID=1 AND CommentID=2");
    const QString zip = makeArchive(work.filePath("in"));
    QByteArray err;
    ASSERT_EQ(runProgram({"--out", work.filePath("out"), zip}, &err), 1) << err.toStdString();
    const QStringList lines = csvLines(work.filePath("out/") + QFileInfo(zip).completeBaseName() + "/summary.csv");
    ASSERT_EQ(lines.size(), 4);
    const QList<QStringList> expected{
        {"はい", "順序違い", "あり", "重複"}, // patient 1: stage 2 in 2030, before stages 3 and 4
        {"はい", "正しい", "なし", "重複"},
        {"いいえ", "正しい", "なし", "なし"}};
    for (int i = 0; i < 3; ++i) {
        const QStringList f = lines[i + 1].split(',');
        EXPECT_EQ(QStringList({f[34], f[38], f[39], f[40]}), expected[i]) << "patient " << i + 1;
    }
    EXPECT_EQ(lines[3].split(',')[35], "追加情報が入力されていません。");
    // The second case under one case number keeps its own sheets.
    const QDir out(work.filePath("out/") + QFileInfo(zip).completeBaseName());
    EXPECT_EQ(out.entryList({"*_B-01_*.pdf"}, QDir::Files, QDir::Name),
              QStringList({"S_123456_B-01_C_20241015_1000.pdf", "S_123456_B-01_C_20241015_1000_2.pdf",
                           "S_123456_B-01_D_20241015_1000.pdf", "S_123456_B-01_D_20241015_1000_2.pdf"}));
}

TEST_F(ReviewTest, ArchivesThatCannotBeOpenedSayWhyInOneLineAndLeaveNothingBehind) {
    addCase(1, "C-01");
    const QString good = makeArchive(work.filePath("src"));
    QFile f(good);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    f.close();
    const QString text = work.filePath("note.txt"), db = work.filePath("a.MDB"), db2 = work.filePath("b.MDB");
    test::writeFile(text, "not a database\n");
    test::writeFile(db, "not a database either\n");
    ASSERT_TRUE(QFile::copy(memberPath(), db2));

    struct Case {
        const char* name;
        std::function<void(const QString&)> make;
        QStringList args;
        QString message;
    };
    const QList<Case> cases{
        {"wrong password", [&](const QString& p) { QFile::copy(good, p); }, {"--password-file", work.filePath("pw")},
         "パスワードが違います。"},
        {"flipped byte",
         [&](const QString& p) {
             QByteArray b = bytes;
             b[b.size() / 2] = char(b[b.size() / 2] ^ 0x01);
             test::writeFile(p, b);
         },
         {}, "圧縮ファイルが壊れています。"},
        {"truncated", [&](const QString& p) { test::writeFile(p, bytes.left(bytes.size() - 100)); }, {},
         "圧縮ファイルが壊れています。"},
        {"text file", [&](const QString& p) { WriteEncryptedZip(p, text, "note.txt", kSubmissionArchivePassword); },
         {}, "圧縮ファイルに会員データベースがありません。"},
        {"not a database", [&](const QString& p) { WriteEncryptedZip(p, db, "a.MDB", kSubmissionArchivePassword); },
         {}, "会員データベースを開けません（データベースではないか、壊れています）。"},
        {"missing", [](const QString&) {}, {}, "ファイルがありません。"},
    };
    test::writeFile(work.filePath("pw"), "WRONGPASS\n");
    for (const Case& c : cases) {
        const QString zip = work.filePath(QString("bad/%1.zip").arg(c.name));
        QDir().mkpath(work.filePath("bad"));
        c.make(zip);
        QByteArray err;
        EXPECT_EQ(runProgram(c.args + QStringList{"--out", work.filePath("out"), zip}, &err), 2) << c.name;
        EXPECT_EQ(QString::fromLocal8Bit(err).trimmed(), zip + ": " + c.message) << c.name;
        EXPECT_TRUE(tempEmpty()) << c.name;
    }

    // Two databases in one archive.
    const QString two = work.filePath("bad/two.zip");
    {
        int e = 0;
        zip_t* z = zip_open(QFile::encodeName(two).constData(), ZIP_CREATE | ZIP_TRUNCATE, &e);
        ASSERT_TRUE(z);
        for (const QString& p : {db2, QString(memberPath())})
            zip_file_add(z, QFileInfo(p).fileName().toUtf8().constData(),
                         zip_source_file(z, QFile::encodeName(p).constData(), 0, -1), 0);
        ASSERT_EQ(zip_close(z), 0);
    }
    QByteArray err;
    EXPECT_EQ(runProgram({two}, &err), 2);
    EXPECT_EQ(QString::fromLocal8Bit(err).trimmed(), two + ": 圧縮ファイルに会員データベースが複数あります。");
    EXPECT_EQ(bytes, [&] {
        QFile g(good);
        g.open(QIODevice::ReadOnly);
        return g.readAll();
    }()) << "the archive is never written";
}

TEST_F(ReviewTest, FolderOfThreeWithOneBrokenGivesACombinedTableAndGoesOn) {
    addCase(1, "D-01");
    const QString in = work.filePath("in");
    const QString a = makeArchive(in, "S_123456_20241015_1000_KVR-DB.zip");
    const QString b = makeArchive(in, "S_123456_20241016_1000_KVR-DB.zip");
    test::writeFile(in + "/S_999999_20241017_1000_KVR-DB.zip", "PK broken");
    QByteArray err;
    EXPECT_EQ(runProgram({in}, &err), 2);
    EXPECT_TRUE(err.contains("S_999999_20241017_1000_KVR-DB.zip: 圧縮ファイルが壊れています。")) << err.toStdString();
    const QStringList lines = csvLines(in + "/combined.csv");
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], review::CsvHeading(true));
    EXPECT_TRUE(lines[1].startsWith("S_123456_20241015_1000_KVR-DB.zip,123456,S,1,D-01,"));
    EXPECT_TRUE(lines[2].startsWith("S_123456_20241016_1000_KVR-DB.zip,123456,S,1,D-01,"));
    EXPECT_EQ(lines[3].split(',').size(), lines[0].split(',').size());
    for (const QString& z : {a, b})
        EXPECT_TRUE(QFileInfo::exists(in + "/" + QFileInfo(z).completeBaseName() + "/overview.pdf"));
}

TEST_F(ReviewTest, OlderMemberDatabaseWithSmallPagesIsRead) {
    addCase(1, "E-01");
    const QString old = work.filePath("old.MDB");
    closeAllConnections();
    const QString sql = QString("PRAGMA key='%2'; PRAGMA cipher_page_size=4096; "
                                "ATTACH DATABASE '%1' AS old KEY '%2'; PRAGMA old.cipher_page_size=1024; "
                                "SELECT sqlcipher_export('old'); DETACH DATABASE old;")
                            .arg(old, kProgramPassword);
    ASSERT_EQ(run("sqlcipher", {memberPath(), sql}), 0);
    closeAllConnections();
    ASSERT_EQ(db::Connection::openReadOnly(old, kProgramPassword)->scalar("PRAGMA page_size").toInt(), 1024);
    ASSERT_TRUE(QFile::remove(memberPath()));
    ASSERT_TRUE(QFile::copy(old, memberPath()));
    const QString zip = makeArchive(work.filePath("in"));
    const review::ArchiveReview r =
        review::ReviewArchive(zip, kSubmissionArchivePassword, work.filePath("out"), false);
    ASSERT_TRUE(r.opened()) << r.error.toStdString();
    ASSERT_EQ(r.cases.size(), 1);
    EXPECT_EQ(r.cases[0].caseNumber, "E-01");
    EXPECT_TRUE(r.cases[0].complete());
    EXPECT_EQ(r.integrity, "ok");
}

TEST_F(ReviewTest, HelpAndWrongUsage) {
    QByteArray err;
    EXPECT_EQ(runProgram({"--help"}, &err), 0);
    EXPECT_EQ(runProgram({}, &err), 3);
    EXPECT_TRUE(QString::fromLocal8Bit(err).contains("使い方: kvr-review"));
    EXPECT_EQ(runProgram({"--bogus", "a.zip"}, &err), 3);
    EXPECT_TRUE(QString::fromLocal8Bit(err).contains("不明なオプションです: --bogus"));
    EXPECT_EQ(runProgram({"--password-file", work.filePath("none"), "a.zip"}, &err), 3);
    EXPECT_EQ(runProgram({work.filePath("empty-folder-that-is-missing")}, &err), 2);
}

TEST_F(ReviewTest, ArchiveDateComesFromItsName) {
    EXPECT_EQ(review::ArchiveDateOf("/x/H_42_20231231_2359_KVR-DB.zip"), QDateTime(QDate(2023, 12, 31), QTime(23, 59)));
    EXPECT_EQ(review::OutFolderOf("/x/H_42_20231231_2359_KVR-DB.zip", {}), "/x/H_42_20231231_2359_KVR-DB");
    EXPECT_EQ(review::OutFolderOf("/x/a.zip", "/o"), "/o/a");
}

} // namespace
} // namespace kvr
