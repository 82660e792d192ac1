// Backup and restore: the settings file, the dated names, the refusals, the safety copy,
// the connections during a restore and the backup window of the program's end.
#include "data/MemberDbSwap.h"
#include "tools/BackupRestore.h"
#include "tools/PFrmBackup.h"
#include "tools/PanelBackupRestore.h"
#include "tools_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

using namespace kvr;

namespace {

class BackupTest : public test::ToolsTest {
protected:
    QString settings() { return QString::fromUtf8(test::readFile(MemberSettingsPath())); }
    int patients(const QString& path) {
        return db::Connection::open(path, kProgramPassword)->scalar("SELECT COUNT(*) FROM TPatient").toInt();
    }
    QString folder() const { return app().MemberFolder; }
    // The name a backup or safety copy gets at the test clock's time plus minutes.
    QString dated(int minutes = 0) const {
        return folder() + "/KVR-DB-123456_20240814_" + QString::number(1630 + minutes) + ".MDB";
    }
    static QString labels(std::initializer_list<QLabel*> list) {
        QStringList out;
        for (QLabel* l : list)
            out << l->text();
        return out.join('|');
    }
};

TEST_F(BackupTest, SettingsFileIsCreatedReadAndCorrected) {
    const QString member = t.paths->app + "/123456";
    const struct {
        QString file; // empty: no file
        QString folder, afterwards;
    } cases[] = {
        {{}, member, "BackUpPath=" + member + "\r\n"},
        {"BackUpPath=/media/usb/kvr\r\n", "/media/usb/kvr", "BackUpPath=/media/usb/kvr\r\n"},
        {"' backup folder\r\n\r\n  BackUpPath =  /srv/backup  \r\n", "/srv/backup", {}}, // comments, blanks, spaces
        {"BackUpPath=" + t.paths->app + "\r\n", member, "BackUpPath=" + member + "\r\n"}, // not the program folder
    };
    for (const auto& c : cases) {
        QFile::remove(MemberSettingsPath());
        if (!c.file.isEmpty()) test::writeFile(MemberSettingsPath(), c.file.toUtf8());
        EXPECT_EQ(ReadBackUpPath(), c.folder) << c.file.toStdString();
        EXPECT_EQ(settings(), c.afterwards.isEmpty() ? c.file : c.afterwards) << c.file.toStdString();
    }
    EXPECT_EQ(WriteBackUpPath(QString()), member);
}

TEST_F(BackupTest, TabBackupLandsInTheFolderAndRefusesToOverwriteAnything) {
    BackupRestorePanel panel;
    EXPECT_EQ(panel.LblPathBackUp->text(), folder());
    EXPECT_EQ(panel.TxtFile->text(), "KVR-DB-123456_20240814_1630.MDB");
    panel.CmdBackUp->click();
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(labels({panel.LblResultBackUp, panel.LblSrcBackUp, panel.LblDesBackUp}),
              "バックアップ結果|コピー元：" + memberPath() + "|コピー先：" + dated());
    EXPECT_EQ(hashOf(dated()), hashOf(memberPath()));

    // A second backup in the same minute (or onto a restore's safety copy) keeps the file there.
    test::writeFile(dated(), "older backup");
    panel.CmdBackUp->click();
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(boxTexts()[0].startsWith("指定エラー: 同じ名前のファイルが既にあります。処理を中止します。"));
    EXPECT_EQ(test::readFile(dated()), "older backup");
    t.boxes->clear();
    panel.TxtFile->setText("KVR-DB-123456.MDB");
    panel.CmdBackUp->click();
    test::expectBox(t, "コピー元とコピー先が同じです。処理を中止します。", "指定エラー", MsgIcon::Critical);
    EXPECT_TRUE(panel.LblResultBackUp->text().isEmpty());
    EXPECT_TRUE(IsProgramDatabase(memberPath()));

    // A chosen folder is remembered and opens the chooser next time.
    QTemporaryDir usb;
    shell->folder = usb.path();
    panel.CmdPathBackUp->click();
    EXPECT_EQ(panel.LblPathBackUp->accessibleName(), "バックアップデータを保存するフォルダ：" + usb.path()); // heard too
    EXPECT_EQ(settings(), "BackUpPath=" + usb.path() + "\r\n");
    shell->folder.clear(); // cancelled: nothing changes
    panel.CmdPathBackUp->click();
    EXPECT_EQ(shell->folderStarts, QStringList({folder(), usb.path()}));
    EXPECT_EQ(panel.LblPathBackUp->text(), usb.path());
}

// The backup lies in a read-only folder: it is read without anything written beside it.
TEST_F(BackupTest, RestoreReplacesTheDatabaseAfterASafetyCopyAndRefusesTheSameMinuteTwice) {
    const QString locked = folder() + "/locked", backup = locked + "/KVR-DB-123456_20240801_0900.MDB";
    ASSERT_TRUE(QDir().mkdir(locked));
    ASSERT_TRUE(QFile::copy(memberPath(), backup));
    const QByteArray backupHash = hashOf(backup);
    QFile::setPermissions(backup, QFile::ReadOwner);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    addPatient(7); // work done after the backup
    const int withSeven = patients(memberPath());

    ASSERT_TRUE(OpenMemberDbHold()); // the entry screen holds the database
    db::ConnectionPtr old = memberConn();
    QSignalSpy reloads(&MemberDbEvents::instance(), &MemberDbEvents::replaced);
    BackupRestorePanel panel;
    shell->file = backup;
    panel.CmdPathRestore->click();
    EXPECT_EQ(shell->filters, QStringList{QStringLiteral("データベースファイル (*.mdb)|*.mdb")});
    t.boxes->answer(MsgResult::Yes);
    panel.CmdRestore->click();
    test::expectBox(t, "現在のデータはバックアップ後、上書きされます。\r\n\r\n復元を実行してもよろしいですか？", "復元確認",
                    MsgIcon::Exclamation);
    EXPECT_EQ(labels({panel.LblResultRestore, panel.LblSrcRestore, panel.LblDesRestore, panel.LblDesRestoreBackup}),
              "復元結果|復元元：" + backup + "|復元先：" + memberPath() + "|復元先バックアップ：" + dated());
    EXPECT_EQ(hashOf(memberPath()), backupHash);
    EXPECT_TRUE(QFileInfo(memberPath()).isWritable()); // not read-only as its source
    EXPECT_EQ(hashOf(backup), backupHash);
    EXPECT_EQ(QDir(locked).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(backup).fileName()});
    EXPECT_EQ(patients(dated()), withSeven);
    EXPECT_FALSE(old->isOpen()); // nothing goes on with the replaced file
    ASSERT_NE(memberConn(), nullptr);
    EXPECT_EQ(slot(Slot::Member).hold, 1);
    EXPECT_EQ(memberConn()->scalar("SELECT COUNT(*) FROM TPatient").toInt(), withSeven - 1);
    EXPECT_EQ(reloads.count(), 1);

    // Within the same minute: the safety copy is neither restored from nor overwritten.
    for (const QString& source : {dated(), backup}) {
        t.boxes->clear();
        t.boxes->answer(MsgResult::Yes);
        panel.LblPathRestore->setText(source);
        panel.CmdRestore->click();
        test::expectBox(t, "復元元とバックアップが同じです。処理を中止します。\r\n\r\n１分以上経過後に再度実行してください。",
                        "再実行", MsgIcon::Critical, 1);
        EXPECT_EQ(labels({panel.LblResultRestore, panel.LblDesRestoreBackup}), "|");
    }
    EXPECT_EQ(patients(dated()), withSeven);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // A minute later the safety copy brings patient 7 back.
    t.clock->current = t.clock->current.addSecs(60);
    t.boxes->clear();
    t.boxes->answer(MsgResult::Yes);
    panel.LblPathRestore->setText(dated());
    panel.CmdRestore->click();
    EXPECT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(patients(memberPath()), withSeven);
    EXPECT_EQ(reloads.count(), 2);
    // The backup of the tab is renamed afresh each time the tab is shown.
    panel.hide();
    panel.show();
    EXPECT_EQ(panel.TxtFile->text(), "KVR-DB-123456_20240814_1631.MDB");
}

TEST_F(BackupTest, RefusedRestoresLeaveTheDatabaseByteForByte) {
    const QString otherKey = folder() + "/other.MDB", noVersion = folder() + "/noversion.MDB";
    db::Connection::create(otherKey, "another password")->execute("CREATE TABLE TVersion (ID INTEGER)");
    db::Connection::create(noVersion, kProgramPassword)->execute("CREATE TABLE TPatient (ID INTEGER)");
    const QByteArray whole = test::readFile(memberPath());
    const QString backup = folder() + "/KVR-DB-123456_20240801_0900.MDB";
    test::writeFile(backup, whole);
    // A backup with one page in the middle overwritten: its first pages read well.
    const QString damaged = folder() + "/damaged.MDB";
    ASSERT_GE(whole.size(), 8 * 4096);
    test::writeFile(damaged, QByteArray(whole).replace(whole.size() / 4096 / 2 * 4096, 4096, QByteArray(4096, 'Z')));
    addPatient(7);
    const QByteArray before = hashOf(memberPath());

    const QString broken = "指定エラー: 復元元のファイルはKVR-DBのデータベースではないか、壊れています。処理を中止します。";
    struct Case {
        QString source;
        MsgResult answer;
        QString box; // start of "title: text" after the question; empty: none
        std::function<void()> setUp = [] {};
    };
    QList<Case> cases = {
        {folder() + "/KVR-DB-123456_20200101_0000.MDB", MsgResult::No, {}},
        {memberPath(), MsgResult::Yes, "指定エラー: 復元元と復元先が同じです。処理を中止します。"},
        {otherKey, MsgResult::Yes, broken},
        {noVersion, MsgResult::Yes, broken},
        {damaged, MsgResult::Yes, broken},
        {folder() + "/vanished.MDB", MsgResult::Yes, broken},
        // An interrupted write of the user's own database is still in its journal.
        {backup, MsgResult::Yes, "復元エラー: データベースが使用中です。処理を中止します。\r\n\r\n" + memberPath(),
         [&] { test::writeFile(memberPath() + "-journal", QByteArray(512, 'j')); }},
        // The safety copy's staging file cannot be opened.
        {backup, MsgResult::Yes,
         "バックアップエラー: 現在のデータのバックアップを作成できませんでした。復元を中止します。\r\n\r\n" + dated(),
         [&] {
             QFile::remove(memberPath() + "-journal");
             ASSERT_TRUE(QDir().mkdir(dated() + ".kvrtmp"));
         }},
    };
    for (const QString& path : test::writeUnreadableFiles(folder(), whole))
        cases.append({path, MsgResult::Yes, broken});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source.toStdString());
        c.setUp();
        t.boxes->clear();
        t.boxes->answer(c.answer);
        const RestoreOutcome out = RestoreMemberDb(c.source);
        EXPECT_FALSE(out.restored);
        EXPECT_FALSE(out.safetyCopied);
        ASSERT_EQ(t.boxes->shown.size() > 1, !c.box.isEmpty()); // the question, then the refusal (last)
        if (!c.box.isEmpty()) {
            EXPECT_TRUE(boxTexts().last().startsWith(c.box)) << boxTexts().last().toStdString();
            EXPECT_EQ(t.boxes->shown.last().icon, MsgIcon::Critical);
        }
        EXPECT_EQ(hashOf(memberPath()), before);
        EXPECT_FALSE(QFileInfo::exists(dated()));
    }
    test::expectJournalKept(folder(), whole);
}

TEST_F(BackupTest, BackupWindowOfTheProgramEnd) {
    PFrmBackup w;
    EXPECT_EQ(settings(), "BackUpPath=" + folder() + "\r\n"); // created on first use
    EXPECT_EQ(w.LblSrcBackUp->text(), QStringLiteral("バックアップ元：") + memberPath());
    EXPECT_EQ(w.LblDesBackUp->text(), QStringLiteral("バックアップ先：") + dated());
    t.clock->current = t.clock->current.addSecs(120); // the name stays the one of the opening
    w.CmdBackUp->click();
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_EQ(hashOf(dated()), hashOf(memberPath()));

    PFrmBackup empty;
    empty.LblPathBackUp->clear();
    QTemporaryDir usb;
    shell->folder = usb.path();
    empty.CmdBackUp->click();
    test::expectBox(t, "バックアップデータを保存するフォルダを指定してください。", "フォルダ指定", MsgIcon::Critical);
    EXPECT_EQ(empty.LblDesBackUp->text(),
              QStringLiteral("バックアップ先：") + usb.path() + "/KVR-DB-123456_20240814_1632.MDB");
    EXPECT_NE(empty.result(), QDialog::Accepted); // the backup runs on the next click
}

} // namespace
