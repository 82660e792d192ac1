// Backup and restore: the settings file, the dated names, the refusals, the safety copy,
// the connections during a restore and the backup window of the program's end.
#include "data/MemberDbSwap.h"
#include "tools/BackupRestore.h"
#include "tools/PFrmBackup.h"
#include "tools/PanelBackupRestore.h"
#include "tools_fixture.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

using namespace kvr;

namespace {

class BackupTest : public test::ToolsTest {
protected:
    QString settings() {
        QFile f(MemberSettingsPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : "<none>";
    }
    int patients(const QString& path) {
        return db::Connection::open(path, kProgramPassword)->scalar("SELECT COUNT(*) FROM TPatient").toInt();
    }
    QString memberFolder() const { return app().MemberFolder; }
};

TEST_F(BackupTest, SettingsFileIsCreatedReadAndCorrected) {
    struct Case {
        const char* name;
        QString file; // empty: no file
        QString folder;
        QString afterwards;
    };
    const QString member = t.paths->app + "/123456";
    const Case cases[] = {
        {"first use", {}, member, "BackUpPath=" + member + "\r\n"},
        {"a folder of its own", "BackUpPath=/media/usb/kvr\r\n", "/media/usb/kvr", "BackUpPath=/media/usb/kvr\r\n"},
        {"comments, blanks and spaces around",
         "' backup folder\r\n\r\n  BackUpPath =  /srv/backup  \r\n", "/srv/backup", {}},
        {"the program folder is corrected", "BackUpPath=" + t.paths->app + "\r\n", member,
         "BackUpPath=" + member + "\r\n"},
    };
    for (const Case& c : cases) {
        QFile::remove(MemberSettingsPath());
        if (!c.file.isEmpty()) test::writeFile(MemberSettingsPath(), c.file.toUtf8());
        EXPECT_EQ(ReadBackUpPath(), c.folder) << c.name;
        EXPECT_EQ(settings(), c.afterwards.isEmpty() ? c.file : c.afterwards) << c.name;
    }
    EXPECT_EQ(WriteBackUpPath(QString()), member);
    EXPECT_EQ(DatedBackupName(QDateTime(QDate(2023, 4, 1), QTime(9, 30, 59))), "KVR-DB-123456_20230401_0930.MDB");
}

TEST_F(BackupTest, TabBackupLandsInTheFolderAndRefusesTheDatabaseItself) {
    BackupRestorePanel panel;
    EXPECT_EQ(panel.LblPathBackUp->text(), memberFolder());
    EXPECT_EQ(panel.TxtFile->text(), "KVR-DB-123456_20240814_1630.MDB");
    panel.CmdBackUp->click();
    const QString target = memberFolder() + "/KVR-DB-123456_20240814_1630.MDB";
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(panel.LblDesBackUp->text(), QStringLiteral("コピー先：") + target);
    EXPECT_EQ(hashOf(target), hashOf(memberPath()));

    // A second backup in the same minute (or onto a restore's safety copy) keeps the file there.
    {
        QFile older(target);
        ASSERT_TRUE(older.open(QIODevice::WriteOnly));
        older.write("older backup");
    }
    panel.CmdBackUp->click();
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(t.boxes->shown.last().text.startsWith("同じ名前のファイルが既にあります。処理を中止します。"));
    t.boxes->shown.clear();
    {
        QFile older(target);
        ASSERT_TRUE(older.open(QIODevice::ReadOnly));
        EXPECT_EQ(older.readAll(), QByteArray("older backup"));
    }

    panel.TxtFile->setText("KVR-DB-123456.MDB");
    panel.CmdBackUp->click();
    test::expectBox(t, "コピー元とコピー先が同じです。処理を中止します。", "指定エラー", MsgIcon::Critical);
    EXPECT_TRUE(panel.LblResultBackUp->text().isEmpty());
    EXPECT_TRUE(IsProgramDatabase(memberPath()));

    // A chosen folder is remembered and opens the chooser next time.
    QTemporaryDir usb;
    shell->folder = usb.path();
    panel.CmdPathBackUp->click();
    EXPECT_EQ(panel.LblPathBackUp->text(), usb.path());
    EXPECT_EQ(panel.LblPathBackUp->accessibleName(), "バックアップデータを保存するフォルダ：" + usb.path()); // heard too
    EXPECT_EQ(settings(), "BackUpPath=" + usb.path() + "\r\n");
    shell->folder.clear(); // cancelled: nothing changes
    panel.CmdPathBackUp->click();
    EXPECT_EQ(shell->folderStarts, QStringList({memberFolder(), usb.path()}));
    EXPECT_EQ(panel.LblPathBackUp->text(), usb.path());
}

TEST_F(BackupTest, RestoreReplacesTheDatabaseAfterASafetyCopyAndRefusesTheSameMinuteTwice) {
    const QString backup = memberFolder() + "/KVR-DB-123456_20240801_0900.MDB";
    ASSERT_TRUE(QFile::copy(memberPath(), backup));
    addPatient(7); // work done after the backup
    const int withSeven = patients(memberPath());

    ASSERT_TRUE(OpenMemberDbHold()); // the entry screen holds the database
    db::ConnectionPtr old = memberConn();
    QSignalSpy reloads(&MemberDbEvents::instance(), &MemberDbEvents::replaced);
    BackupRestorePanel panel;
    shell->file = backup;
    panel.CmdPathRestore->click();
    EXPECT_EQ(shell->filters, QStringList{QStringLiteral("データベースファイル (*.mdb)|*.mdb")});
    EXPECT_EQ(panel.LblPathRestore->text(), backup);
    t.boxes->answer(MsgResult::Yes);
    panel.CmdRestore->click();
    test::expectBox(t, "現在のデータはバックアップ後、上書きされます。\r\n\r\n復元を実行してもよろしいですか？", "復元確認",
                    MsgIcon::Exclamation);
    const QString safety = memberFolder() + "/KVR-DB-123456_20240814_1630.MDB";
    EXPECT_EQ(panel.LblDesRestoreBackup->text(), QStringLiteral("復元先バックアップ：") + safety);
    EXPECT_EQ(patients(memberPath()), withSeven - 1);
    EXPECT_EQ(patients(safety), withSeven);
    EXPECT_FALSE(old->isOpen()); // nothing goes on with the replaced file
    ASSERT_NE(memberConn(), nullptr);
    EXPECT_EQ(slot(Slot::Member).hold, 1);
    EXPECT_EQ(memberConn()->scalar("SELECT COUNT(*) FROM TPatient").toInt(), withSeven - 1);
    EXPECT_EQ(reloads.count(), 1);

    // Within the same minute: the safety copy is neither restored from nor overwritten.
    for (const QString& source : {safety, backup}) {
        t.boxes->clear();
        t.boxes->answer(MsgResult::Yes);
        panel.LblPathRestore->setText(source);
        panel.CmdRestore->click();
        test::expectBox(t, "復元元とバックアップが同じです。処理を中止します。\r\n\r\n１分以上経過後に再度実行してください。",
                        "再実行", MsgIcon::Critical, 1);
        EXPECT_TRUE(panel.LblDesRestoreBackup->text().isEmpty());
    }
    EXPECT_EQ(patients(safety), withSeven);

    // A minute later the safety copy brings patient 7 back.
    t.clock->current = t.clock->current.addSecs(60);
    t.boxes->clear();
    t.boxes->answer(MsgResult::Yes);
    panel.LblPathRestore->setText(safety);
    panel.CmdRestore->click();
    EXPECT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(patients(memberPath()), withSeven);
    EXPECT_EQ(reloads.count(), 2);
}

TEST_F(BackupTest, RestoreStopsWhenTheSafetyCopyCannotBeMade) {
    const QString backup = memberFolder() + "/KVR-DB-123456_20240801_0900.MDB";
    ASSERT_TRUE(QFile::copy(memberPath(), backup));
    addPatient(7);
    const QByteArray before = hashOf(memberPath());
    const QString safety = memberFolder() + "/KVR-DB-123456_20240814_1630.MDB";
    ASSERT_TRUE(QDir().mkdir(safety + ".kvrtmp")); // the copy's staging file cannot be opened
    t.boxes->answer(MsgResult::Yes);
    const RestoreOutcome out = RestoreMemberDb(backup);
    EXPECT_FALSE(out.safetyCopied);
    EXPECT_FALSE(out.restored);
    ASSERT_FALSE(t.boxes->shown.isEmpty());
    EXPECT_EQ(t.boxes->shown.last().text,
              "現在のデータのバックアップを作成できませんでした。復元を中止します。\r\n\r\n" + safety);
    EXPECT_EQ(hashOf(memberPath()), before);
    EXPECT_FALSE(QFileInfo::exists(safety));
}

TEST_F(BackupTest, RestoreRefusesADatabaseWithAJournalBesideIt) {
    const QString backup = memberFolder() + "/KVR-DB-123456_20240801_0900.MDB";
    ASSERT_TRUE(QFile::copy(memberPath(), backup));
    addPatient(7);
    const QByteArray before = hashOf(memberPath());
    {
        QFile journal(memberPath() + "-journal");
        ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
        journal.write(QByteArray(512, 'j'));
    }
    t.boxes->answer(MsgResult::Yes);
    const RestoreOutcome out = RestoreMemberDb(backup);
    EXPECT_FALSE(out.restored);
    EXPECT_FALSE(out.safetyCopied);
    ASSERT_FALSE(t.boxes->shown.isEmpty());
    EXPECT_EQ(t.boxes->shown.last().text, "データベースが使用中です。処理を中止します。\r\n\r\n" + memberPath());
    EXPECT_EQ(hashOf(memberPath()), before);
    QFile::remove(memberPath() + "-journal");
}

TEST_F(BackupTest, RestoreRefusalsLeaveTheDatabaseAlone) {
    const QByteArray before = hashOf(memberPath());
    const QString text = memberFolder() + "/notes.MDB";
    test::writeFile(text, "not a database at all");
    const QString otherKey = memberFolder() + "/other.MDB";
    db::Connection::create(otherKey, "another password")->execute("CREATE TABLE TVersion (ID INTEGER)");
    const QString noVersion = memberFolder() + "/noversion.MDB";
    db::Connection::create(noVersion, kProgramPassword)->execute("CREATE TABLE TPatient (ID INTEGER)");
    // A backup with one page in the middle overwritten: its first pages read well.
    const QString damaged = memberFolder() + "/damaged.MDB";
    ASSERT_TRUE(QFile::copy(memberPath(), damaged));
    {
        QFile f(damaged);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_GE(f.size(), 8 * 4096);
        f.seek(f.size() / 4096 / 2 * 4096);
        f.write(QByteArray(4096, '\x5a'));
    }
    const QString empty = memberFolder() + "/empty.MDB";
    test::writeFile(empty, "");
    const QString half = memberFolder() + "/half.MDB";
    {
        QFile f(memberPath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        test::writeFile(half, f.read(f.size() / 2));
    }
    const QString noise = memberFolder() + "/noise.MDB"; // a gigabyte, random at its start
    {
        QFile f(noise);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray bytes(1 << 16, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 2654435761u) >> 11);
        f.write(bytes);
        ASSERT_TRUE(f.resize(qint64(1) << 30));
    }
    const QString plain = memberFolder() + "/plain.MDB";
    db::Connection::create(plain, "")->execute("CREATE TABLE TVersion (ID INTEGER)");
    // A whole backup with an interrupted change's journal beside it: reading it would
    // mean playing the journal back into the user's file.
    const QString withJournal = memberFolder() + "/journal.MDB";
    ASSERT_TRUE(QFile::copy(memberPath(), withJournal));
    test::writeFile(withJournal + "-journal", QByteArray(512, 'j'));
    const QByteArray journalBefore = hashOf(withJournal + "-journal"), sourceBefore = hashOf(withJournal);
    struct Case {
        QString source;
        MsgResult answer;
        QString title; // of the box after the question; empty: none
    };
    const Case cases[] = {
        {memberFolder() + "/KVR-DB-123456_20200101_0000.MDB", MsgResult::No, {}},
        {memberPath(), MsgResult::Yes, "指定エラー"},
        {text, MsgResult::Yes, "指定エラー"},
        {otherKey, MsgResult::Yes, "指定エラー"},
        {noVersion, MsgResult::Yes, "指定エラー"},
        {damaged, MsgResult::Yes, "指定エラー"},
        {empty, MsgResult::Yes, "指定エラー"},
        {half, MsgResult::Yes, "指定エラー"},
        {plain, MsgResult::Yes, "指定エラー"},
        {withJournal, MsgResult::Yes, "指定エラー"},
        {noise, MsgResult::Yes, "指定エラー"},
        {memberFolder() + "/vanished.MDB", MsgResult::Yes, "指定エラー"},
    };
    for (const Case& c : cases) {
        t.boxes->clear();
        t.boxes->answer(c.answer);
        const RestoreOutcome out = RestoreMemberDb(c.source);
        EXPECT_FALSE(out.restored) << c.source.toStdString();
        EXPECT_FALSE(out.safetyCopied) << c.source.toStdString();
        ASSERT_EQ(t.boxes->shown.size(), c.title.isEmpty() ? 1 : 2) << c.source.toStdString();
        if (!c.title.isEmpty()) {
            EXPECT_EQ(t.boxes->shown[1].title, c.title);
        }
    }
    EXPECT_TRUE(t.boxes->shown[1].text.startsWith(
        QStringLiteral("復元元のファイルはKVR-DBのデータベースではないか、壊れています。処理を中止します。")));
    EXPECT_EQ(hashOf(memberPath()), before);
    EXPECT_FALSE(QFileInfo::exists(memberFolder() + "/KVR-DB-123456_20240814_1630.MDB"));
    EXPECT_EQ(hashOf(withJournal + "-journal"), journalBefore);
    EXPECT_EQ(hashOf(withJournal), sourceBefore);
}

TEST_F(BackupTest, RestoreReadsAReadOnlyBackupWithoutWritingBesideIt) {
    const QString folder = memberFolder() + "/locked";
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString backup = folder + "/KVR-DB-123456_20240801_0900.MDB";
    ASSERT_TRUE(QFile::copy(memberPath(), backup));
    const QByteArray backupHash = hashOf(backup);
    addPatient(7);
    QFile::setPermissions(backup, QFile::ReadOwner);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    t.boxes->answer(MsgResult::Yes);
    const RestoreOutcome out = RestoreMemberDb(backup);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(out.restored);
    EXPECT_EQ(hashOf(backup), backupHash);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(backup).fileName()});
    EXPECT_EQ(hashOf(memberPath()), backupHash);
}

TEST_F(BackupTest, BackupWindowOfTheProgramEnd) {
    PFrmBackup w;
    EXPECT_EQ(settings(), "BackUpPath=" + memberFolder() + "\r\n"); // created on first use
    EXPECT_EQ(w.LblSrcBackUp->text(), QStringLiteral("バックアップ元：") + memberPath());
    const QString target = memberFolder() + "/KVR-DB-123456_20240814_1630.MDB";
    EXPECT_EQ(w.LblDesBackUp->text(), QStringLiteral("バックアップ先：") + target);
    t.clock->current = t.clock->current.addSecs(120); // the name stays the one of the opening
    w.CmdBackUp->click();
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_EQ(hashOf(target), hashOf(memberPath()));

    PFrmBackup empty;
    empty.LblPathBackUp->clear();
    QTemporaryDir usb;
    shell->folder = usb.path();
    empty.CmdBackUp->click();
    test::expectBox(t, "バックアップデータを保存するフォルダを指定してください。", "フォルダ指定", MsgIcon::Critical);
    EXPECT_EQ(empty.LblPathBackUp->text(), usb.path());
    EXPECT_EQ(empty.LblDesBackUp->text(),
              QStringLiteral("バックアップ先：") + usb.path() + "/KVR-DB-123456_20240814_1632.MDB");
    EXPECT_NE(empty.result(), QDialog::Accepted); // the backup runs on the next click
}

TEST_F(BackupTest, ResultLabelsOfTheTabAndTheRefusalOfTheDatabaseItself) {
    BackupRestorePanel panel;
    const QString target = memberFolder() + "/KVR-DB-123456_20240814_1630.MDB";
    panel.CmdBackUp->click();
    EXPECT_EQ(QStringList({panel.LblResultBackUp->text(), panel.LblSrcBackUp->text(), panel.LblDesBackUp->text()}),
              QStringList({"バックアップ結果", "コピー元：" + memberPath(), "コピー先：" + target}));

    // Restoring the database onto itself is refused after the question; the labels stay empty.
    panel.LblPathRestore->setText(memberPath());
    t.boxes->answer(MsgResult::Yes);
    panel.CmdRestore->click();
    test::expectBox(t, "復元元と復元先が同じです。処理を中止します。", "指定エラー", MsgIcon::Critical, 1);
    for (QLabel* l : {panel.LblResultRestore, panel.LblSrcRestore, panel.LblDesRestore, panel.LblDesRestoreBackup})
        EXPECT_TRUE(l->text().isEmpty()) << l->objectName().toStdString();

    // A minute later the backup made above is restored.
    t.clock->current = t.clock->current.addSecs(60);
    t.boxes->clear();
    t.boxes->answer(MsgResult::Yes);
    panel.LblPathRestore->setText(target);
    panel.CmdRestore->click();
    EXPECT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(QStringList({panel.LblResultRestore->text(), panel.LblSrcRestore->text(), panel.LblDesRestore->text(),
                           panel.LblDesRestoreBackup->text()}),
              QStringList({"復元結果", "復元元：" + target, "復元先：" + memberPath(),
                           "復元先バックアップ：" + memberFolder() + "/KVR-DB-123456_20240814_1631.MDB"}));
    // The backup of the tab is renamed afresh each time the tab is shown.
    panel.hide();
    panel.show();
    EXPECT_EQ(panel.TxtFile->text(), "KVR-DB-123456_20240814_1631.MDB");
}

} // namespace
