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
#include <QTemporaryDir>

namespace kvr {
namespace {

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
    return s.split("\r\n", Qt::SkipEmptyParts);
}

class ReviewTest : public test::ToolsTest {
protected:
    void SetUp() override {
        ToolsTest::SetUp();
        ASSERT_TRUE(work.isValid());
        for (const char* d : {"tmp", "xdg"})
            QDir().mkpath(work.filePath(d));
        QFile::setPermissions(work.filePath("xdg"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // Case patient id with patient 99's examinations of every stage and a case number.
    void addCase(int id, const QString& caseNumber, bool withInformation = true) {
        direct()->execute("INSERT INTO TPatient (ID, Name, Address1) VALUES (?, ?, ?)",
                          {id, "患者" + QString::number(id), caseNumber});
        direct()->execute("CREATE TABLE c AS SELECT * FROM TExamData WHERE PatientID=99");
        direct()->execute("UPDATE c SET ID = ID + ?, PatientID = ?", {id * 100000, id});
        for (const char* sql : {"INSERT INTO TExamData SELECT * FROM c", "DROP TABLE c"})
            direct()->execute(sql);
        if (withInformation) test::storePatientAdd(test::MinimalCompleteRecord(id));
    }
    // The member database as the submission step writes it into an archive.
    QString makeArchive(const QString& folder, const QString& name = "S_123456_20241015_1000_KVR-DB.zip") {
        direct()->execute("UPDATE TClinicCode SET ClinicCode='123456', ClinicCodeSub='S' WHERE ID=0");
        closeAllConnections();
        QDir().mkpath(folder);
        const QString zip = folder + "/" + name;
        EXPECT_TRUE(WriteSubmissionArchive(memberPath(), zip));
        QFile::remove(SubmissionCopyPath(zip));
        return zip;
    }
    // Runs the program; its error output goes to err. Its temporary files must be gone.
    int runProgram(const QStringList& args, QString* err = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KVR_REVIEW_PASSWORD", kSubmissionArchivePassword);
        env.insert("TMPDIR", work.filePath("tmp"));
        env.insert("XDG_RUNTIME_DIR", work.filePath("xdg"));
        p.setProcessEnvironment(env);
        p.start(KVR_REVIEW_PROGRAM, args);
        if (!p.waitForFinished(120000)) return -1;
        if (err) *err = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        EXPECT_TRUE(QDir(work.filePath("tmp")).entryList({"kvr-review-*"}, QDir::AllEntries | QDir::Hidden).isEmpty());
        return p.exitCode();
    }

    QTemporaryDir work;
};

// Three cases, the third without its additional information (exit 1), the first with a stage
// dated after the archive and out of order, the first two under one case number. The table
// holds each case's figures and checks (columns, not refusals); the sheets carry the same text
// as the program's own PDFs.
TEST_F(ReviewTest, MemberArchiveGivesTheChartFiguresTheProgramsOwnSheetsAndTheChecks) {
    addCase(1, "B-01");
    addCase(2, "B-01");
    addCase(3, "B-03", false);
    direct()->execute("UPDATE TExamData SET ExamDate='2030-01-01 00:00:00' WHERE PatientID=1 AND CommentID=2");
    const QString zip = makeArchive(work.filePath("in"));
    QString err;
    ASSERT_EQ(runProgram({"--out", work.filePath("out"), zip}, &err), 1) << err.toStdString();
    const QString folder = work.filePath("out/") + QFileInfo(zip).completeBaseName();
    const QStringList lines = csvLines(folder + "/summary.csv");
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], review::CsvHeading(false));
    // The sample patient's figures (its first stage as the chart screen shows it), the stage
    // period and the initial-case criterion, then the reviewer's checks as columns.
    const QString first = "2023/05/15,28,60 (35.7%),47.3%,3.4,991.1,2141.2,",
                  rest = ",28,14 (8.3%),19.6%,2.7,169.2,1497.6,2024/01/29,28,11 (6.5%),15.2%,2.7,111.7,1483.0,"
                         "2024/08/05,28,20 (11.9%),11.6%,2.8,222.0,1495.6,問題なし,43.5,16,満たす,";
    EXPECT_EQ(lines[1], "1,B-01," + first + "2030/01/01" + rest + "はい,,ok,10000,順序違い,あり,重複");
    EXPECT_EQ(lines[2], "2,B-01," + first + "2023/08/21" + rest + "はい,,ok,10000,正しい,なし,重複");
    EXPECT_EQ(lines[3], "3,B-03," + first + "2023/08/21" + rest + "いいえ,追加情報が入力されていません。,ok,10000,正しい,なし,なし");
    EXPECT_EQ(QDir(folder).entryList({"*_B-01_*.pdf"}, QDir::Files, QDir::Name),
              QStringList({"S_123456_B-01_C_20241015_1000.pdf", "S_123456_B-01_C_20241015_1000_2.pdf",
                           "S_123456_B-01_D_20241015_1000.pdf", "S_123456_B-01_D_20241015_1000_2.pdf"}));

    OpenMemberDb();
    LoadSubExamRows();
    ChartPatientData data;
    ASSERT_TRUE(LoadChartPatient(1, data));
    const SheetSource src{&data.stages, 1, data.caseNumber};
    app().MemberNo = "123456";
    for (bool chart : {true, false}) {
        const QString name = QString("S_123456_B-01_%1_20241015_1000.pdf").arg(chart ? "C" : "D");
        QDir(app().SaveFolder).removeRecursively();
        (chart ? PrintChartSheet : PrintDataSheet)(nullptr, src, ApplicantKind::Specialist, true);
        const QStringList own = QDir(app().SaveFolder).entryList({"*.pdf"}, QDir::Files);
        ASSERT_EQ(own.size(), 1);
        EXPECT_EQ(pdfText(folder + "/" + name), pdfText(app().SaveFolder + "/" + own[0])) << name.toStdString();
    }
    const QString overview = pdfText(folder + "/overview.pdf");
    EXPECT_TRUE(overview.contains("提出データ確認一覧") && overview.contains("B-01")) << overview.toStdString();
}

// Exit 0 for a complete member, 2 with one line on the error output for an archive that cannot
// be read; a folder is reviewed archive by archive into one table, past a broken one; 3 for a
// wrong call. No archive is ever written.
TEST_F(ReviewTest, ExitStatusAndOneLineForEachArchive) {
    addCase(1, "C-01");
    const QString in = work.filePath("in");
    const QString good = makeArchive(in), second = makeArchive(in, "S_123456_20241016_1000_KVR-DB.zip");
    const QString broken = in + "/S_999999_20241017_1000_KVR-DB.zip";
    test::writeFile(broken, "PK broken");
    QFile f(good);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    f.close();
    QByteArray flipped = bytes;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x01);
    const QString bad = work.filePath("bad/"), text = work.filePath("note.txt"), notDb = work.filePath("a.MDB");
    QDir().mkpath(bad);
    test::writeFile(text, "not a database\n");
    test::writeFile(notDb, "not a database either\n");
    test::writeFile(work.filePath("pw"), "WRONGPASS\n");
    test::writeFile(bad + "flipped.zip", flipped);
    WriteEncryptedZip(bad + "text.zip", text, "note.txt", kSubmissionArchivePassword);
    WriteEncryptedZip(bad + "notdb.zip", notDb, "a.MDB", kSubmissionArchivePassword);

    const struct {
        QStringList args;
        int exit;
        QString message; // the error output
    } cases[] = {
        {{"--out", work.filePath("out"), good}, 0, ""},
        {{"--password-file", work.filePath("pw"), good}, 2, good + ": パスワードが違います。"},
        {{bad + "flipped.zip"}, 2, bad + "flipped.zip: 圧縮ファイルが壊れています。"},
        {{bad + "text.zip"}, 2, bad + "text.zip: 圧縮ファイルに会員データベースがありません。"},
        {{bad + "notdb.zip"}, 2, bad + "notdb.zip: 会員データベースを開けません（データベースではないか、壊れています）。"},
        {{bad + "missing.zip"}, 2, bad + "missing.zip: ファイルがありません。"},
        {{in}, 2, broken + ": 圧縮ファイルが壊れています。…"}, // after the progress lines
        {{"--help"}, 0, "…"},
        {{}, 3, "使い方: kvr-review…"},
        {{"--bogus", "a.zip"}, 3, "不明なオプションです: --bogus…"},
    };
    for (const auto& c : cases) {
        QString err;
        EXPECT_EQ(runProgram(c.args, &err), c.exit) << c.args.join(' ').toStdString();
        EXPECT_TRUE(c.message.endsWith("…") ? err.contains(c.message.chopped(1)) : err == c.message)
            << err.toStdString();
    }
    const QStringList one = csvLines(work.filePath("out/S_123456_20241015_1000_KVR-DB/summary.csv"));
    ASSERT_EQ(one.size(), 2);
    EXPECT_TRUE(one[1].startsWith("1,C-01,")) << one[1].toStdString();
    EXPECT_EQ(one[1].split(',')[34], "はい");
    const QStringList lines = csvLines(in + "/combined.csv");
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], review::CsvHeading(true));
    EXPECT_TRUE(lines[1].startsWith("S_123456_20241015_1000_KVR-DB.zip,123456,S,1,C-01,"));
    EXPECT_TRUE(lines[2].startsWith("S_123456_20241016_1000_KVR-DB.zip,123456,S,1,C-01,"));
    EXPECT_EQ(lines[3].split(',').size(), lines[0].split(',').size());
    for (const QString& z : {good, second})
        EXPECT_TRUE(QFileInfo::exists(in + "/" + QFileInfo(z).completeBaseName() + "/overview.pdf"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), bytes);
}

} // namespace
} // namespace kvr
