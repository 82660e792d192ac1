// Member number change: the refusals, the folders it leaves, the clinic-code row and the
// end of the program. A change cut short by a kill or a power cut is a row of the crash
// test.
#include "data/CClinicCode.h"
#include "tools/MemberNumberChange.h"
#include "tools_fixture.h"

#include <QDirIterator>

using namespace kvr;

namespace {

const QString kOld = "123456";
const QString kNew = "654321";

QString dbOf(const QString& app, const QString& no) {
    return app + "/" + no + "/KVR-DB-" + no + ".MDB";
}

// The patients and examinations of a member database ("" when it does not open).
QString memberData(const QString& path) {
    try {
        if (!QFileInfo(path).isFile()) return QString();
        return test::rowsText(db::Connection::open(path, kProgramPassword),
                              {"SELECT * FROM TPatient ORDER BY ID", "SELECT * FROM TExamData ORDER BY ID"});
    } catch (const RuntimeError&) {
        return QString();
    }
}

QString clinicCodeOf(const QString& path) {
    return db::Connection::open(path, kProgramPassword)->scalar("SELECT ClinicCode FROM TClinicCode").toString();
}

// Relative path and contents of every file below folder, the journal aside (a journal
// left by a killed write is part of the database: it is rolled back on opening).
QMap<QString, QByteArray> filesOf(const QString& folder) {
    QMap<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString f = it.next();
        QFile in(f);
        if (!f.endsWith("-journal") && in.open(QIODevice::ReadOnly))
            files[QDir(folder).relativeFilePath(f)] = in.readAll();
    }
    return files;
}

QStringList folders(const QString& app) {
    return QDir(app).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Member kOld in program folder app: case patients 1-30, each with the examinations of
// sample patient 98, a settings file and a large report.
void makeProgramFolder(const QString& app) {
    QDir().mkpath(app + "/" + kOld + "/report");
    const QString db = dbOf(app, kOld);
    ASSERT_TRUE(test::CopyTemplateTo(db));
    db::ConnectionPtr c = db::Connection::open(db, kProgramPassword);
    c->execute("CREATE TEMP TABLE P AS SELECT * FROM TPatient WHERE ID=98");
    c->execute("CREATE TEMP TABLE E AS SELECT * FROM TExamData WHERE PatientID=98");
    for (int id = 1; id <= 30; ++id) {
        c->execute("UPDATE P SET ID=?", {id});
        c->execute("UPDATE E SET PatientID=?, ID=ID+1000", {id});
        c->execute("INSERT INTO TPatient SELECT * FROM P");
        c->execute("INSERT INTO TExamData SELECT * FROM E");
    }
    c->execute("UPDATE TClinicCode SET ClinicCode=?", {kOld});
    test::writeFile(app + "/" + kOld + "/KVR-DB.ini", "[Setting]\nStartTab=3\n");
    test::writeFile(app + "/" + kOld + "/report/sheet.pdf", QByteArray(3 << 20, 'r')); // widens the copying window
}

// The running program works on member kOld in its program folder, whose database the
// entry screen holds while the tools screen is open.
void startAsOldMember() {
    closeAllConnections();
    app().MemberNo = kOld;
    app().MemberFolder = appFolder() + "/" + kOld;
    app().MemberDbFile = "/KVR-DB-" + kOld + ".MDB";
    setMemberSource(app().memberDbPath());
    OpenMemberDbHold();
    LoadClinicCode();
}

class MemberNumberChangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        t = test::installTestServices();
        makeProgramFolder(appFolder());
        before = memberData(dbOf(appFolder(), kOld));
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
    const QString empty = "会員番号が未入力です。入力してください。", wrong = "会員番号を正しく入力してください。";
    const struct {
        QString input;
        MemberNoChange result;
        QString title, text;
    } cases[] = {
        {"　 ", MemberNoChange::Empty, "未入力", empty},
        {"12345", MemberNoChange::Invalid, "エラー", wrong},
        {"1234567", MemberNoChange::Invalid, "エラー", wrong},
        {"１２３４５Ａ", MemberNoChange::Invalid, "エラー", wrong},
        {"+12345", MemberNoChange::Invalid, "エラー", wrong},
        {"222222", MemberNoChange::TargetExists, "エラー", "変更後の会員番号フォルダが存在するため変更できません。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        t.boxes->clear();
        EXPECT_EQ(ChangeMemberNumber(c.input), c.result);
        test::expectBox(t, c.text, c.title, MsgIcon::Exclamation);
        EXPECT_EQ(folders(appFolder()), QStringList({kOld, "222222"}));
        EXPECT_EQ(app().MemberNo, kOld);
    }
    EXPECT_EQ(filesOf(appFolder() + "/" + kOld), beforeFiles);
}

TEST_F(MemberNumberChangeTest, AFailedChangeLeavesNoNewFolderAndARetryMovesTheDatabaseAndSetsTheOldFolderAside) {
    // Something in the way of the set-aside copy's work folder (a disk full, say).
    const QString blocker = appFolder() + "/." + kOld + "_20240814_163000.copying";
    test::writeFile(blocker, "in the way");
    EXPECT_EQ(ChangeMemberNumber(kNew), MemberNoChange::Failed);
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(t.boxes->shown[0].text.startsWith("フォルダ間ファイルコピー(CopyFolder)でエラーが発生しました。"));
    EXPECT_EQ(folders(appFolder()), QStringList({kOld})) << "neither the new folder nor a work folder is left";
    EXPECT_EQ(app().MemberNo, kOld);
    EXPECT_EQ(filesOf(appFolder() + "/" + kOld), beforeFiles);

    QFile::remove(blocker);
    t.boxes->clear();
    startAsOldMember();
    ASSERT_EQ(ChangeMemberNumber(" ６５４３２１　"), MemberNoChange::Done);
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    const QString setAside = kOld + "_20240814_163000"; // the test clock's time
    EXPECT_EQ(folders(appFolder()), QStringList({setAside, kNew})) << "no work folders left";
    EXPECT_EQ(filesOf(appFolder() + "/" + setAside), beforeFiles);
    EXPECT_EQ(filesOf(appFolder() + "/" + kNew).keys(), QStringList({"KVR-DB-" + kNew + ".MDB"}));
    EXPECT_EQ(memberData(dbOf(appFolder(), kNew)), before);
    // The running program now works on the new number.
    EXPECT_EQ(app().memberDbPath(), dbOf(appFolder(), kNew));
    EXPECT_EQ(TheClinicCode().ClinicCode, kNew);
    closeAllConnections();
    EXPECT_EQ(clinicCodeOf(dbOf(appFolder(), kNew)), kNew);

    EXPECT_THROW(FinishMemberNumberChange(), ProgramEnded);
    test::expectBox(t, "会員番号の変更が完了しました。\r\n\r\nプログラムを終了しますので、プログラムを再起動してください。",
                    "完了", MsgIcon::Information);
}

} // namespace
