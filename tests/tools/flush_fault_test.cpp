// A folder that cannot be flushed (an I/O error of the disk): a new name that might not
// survive a power cut is never reported as done. Each operation that publishes a file or
// a folder by renaming it reports the failure in its own box, and what it replaces stays
// or is complete.
#include "data/Compaction.h"
#include "shell/FileUtil.h"
#include "shell/startup/MemberFolder.h"
#include "tools/BackupRestore.h"
#include "tools/EncryptedZip.h"
#include "tools/MemberNumberChange.h"
#include "tools_fixture.h"

#include <QDir>

#include <cerrno>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool gFailFolderFlush = false;
int gFolderFlushes = 0;

} // namespace

// Every flush of the test program passes here: flushes of folders fail with EIO while
// gFailFolderFlush is set.
extern "C" int fsync(int fd) {
    static const auto next = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ++gFolderFlushes;
        if (gFailFolderFlush) {
            errno = EIO;
            return -1;
        }
    }
    return next(fd);
}

using namespace kvr;

namespace {

class FlushFaultTest : public test::ToolsTest {
protected:
    void TearDown() override {
        gFailFolderFlush = false;
        ToolsTest::TearDown();
    }
    QString lastBox() const { return t.boxes->shown.isEmpty() ? QString() : t.boxes->shown.last().text; }
};

TEST_F(FlushFaultTest, EveryPublishingRenameReportsAFolderThatCannotBeFlushed) {
    const QString folder = app().MemberFolder;
    const QByteArray member = hashOf(memberPath());
    gFailFolderFlush = true;

    // The copy routine (backups, safety copies, first starts).
    EXPECT_FALSE(BackupMemberDb(folder + "/backup.MDB"));
    EXPECT_TRUE(lastBox().startsWith("ファイルコピー(CopyFile)でエラーが発生しました。\r\n\r\n<5> ")) << lastBox().toStdString();

    // The compaction: the checked copy is in place, but the end is reported.
    t.boxes->clear();
    EXPECT_FALSE(CompactMemberDb());
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].title, "最適化エラー");
    EXPECT_TRUE(lastBox().contains("最適化したファイルへの置き換えを確定できません。")) << lastBox().toStdString();
    EXPECT_EQ(db::Connection::open(memberPath(), kProgramPassword)->scalar("PRAGMA integrity_check").toString(), "ok");

    // The submission archive: absent under its final name.
    const QString archive = app().SaveFolder + "/S_123456_archive.zip";
    EXPECT_THROW(WriteEncryptedZip(archive, memberPath(), "KVR-DB.MDB", kSubmissionArchivePassword), RuntimeError);
    EXPECT_FALSE(QFileInfo::exists(archive));
    EXPECT_FALSE(QFileInfo::exists(ZipTempPath(archive)));

    // A new member folder: refused, nothing half made.
    const QString newMember = appFolder() + "/765432";
    EXPECT_NE(CreateMemberFolder(newMember, "/KVR-DB-765432.MDB", memberPath(), {}), MemberFolderResult::Ready);
    EXPECT_FALSE(QFileInfo::exists(newMember));
    EXPECT_FALSE(QFileInfo::exists(StagingFolderOf(newMember)));

    // A member number change: all or nothing, the program stays on the old number.
    t.boxes->clear();
    const QStringList foldersBefore = QDir(appFolder()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(ChangeMemberNumber("654321"), MemberNoChange::Failed);
    EXPECT_FALSE(t.boxes->shown.isEmpty());
    EXPECT_EQ(app().MemberNo, "123456");
    QStringList foldersAfter = QDir(appFolder()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(foldersAfter, foldersBefore);

    // With the disk well again, every one of them succeeds.
    gFailFolderFlush = false;
    t.boxes->clear();
    EXPECT_TRUE(BackupMemberDb(folder + "/backup2.MDB"));
    EXPECT_TRUE(CompactMemberDb());
    WriteEncryptedZip(archive, memberPath(), "KVR-DB.MDB", kSubmissionArchivePassword);
    EXPECT_TRUE(QFileInfo::exists(archive));
    EXPECT_EQ(ChangeMemberNumber("654321"), MemberNoChange::Done);
    EXPECT_GT(gFolderFlushes, 8);
    (void)member;
}

} // namespace
