#include "MemberFolder.h"

#include "platform/database.h"
#include "platform/disk.h"
#include "platform/passwords.h"
#include "platform/services.h"
#include "shell/FileUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kvr {

namespace {

// The copy routine's temporary name beside its target.
const char* const kCopyTemporarySuffix = ".kvrtmp";

bool renamePath(const QString& from, const QString& to) {
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

QString StagingFolderOf(const QString& memberFolder) {
    const QFileInfo fi(memberFolder);
    return fi.absolutePath() + "/." + fi.fileName() + ".new";
}

bool IsCompleteDatabase(const QString& path) {
    try {
        db::ConnectionPtr c = db::Connection::open(path, kProgramPassword);
        const bool ok = c->scalar("PRAGMA quick_check").toString() == "ok" && c->tableExists("TClinicCode");
        c->close();
        return ok;
    } catch (const RuntimeError&) {
        return false;
    }
}

MemberFolderResult CreateMemberFolder(const QString& memberFolder, const QString& dbFile,
                                      const QString& baseDb,
                                      const std::function<void(const QString&)>& prepare) {
    // Something else in the folder's place: the folder routine reports it.
    if (QFileInfo::exists(memberFolder) && !MakeFolder(memberFolder)) return MemberFolderResult::FolderFailed;
    const QString staging = StagingFolderOf(memberFolder);
    if (QFileInfo::exists(staging)) QDir(staging).removeRecursively();
    if (!MakeFolder(staging)) return MemberFolderResult::FolderFailed;
    if (!CopyFile(baseDb, staging + dbFile)) {
        QDir(staging).removeRecursively();
        return MemberFolderResult::CopyFailed;
    }
    waitMs(1000);
    if (prepare) prepare(staging + dbFile);
    if (!SyncToDisk(staging, true) || !renamePath(staging, memberFolder)) {
        QDir(staging).removeRecursively();
        return MemberFolderResult::FolderFailed;
    }
    // A folder whose name may not survive a power cut ends this start; the next start
    // finds the folder complete or not there at all.
    if (!SyncToDisk(QFileInfo(memberFolder).absolutePath(), true)) return MemberFolderResult::FolderFailed;
    return MemberFolderResult::Ready;
}

MemberFolderResult RepairMemberFolder(const QString& memberFolder, const QString& dbFile,
                                      const QString& baseDb) {
    const QString database = memberFolder + dbFile;
    if (QFileInfo(database).isFile()) return MemberFolderResult::Ready;
    const QString temporary = database + kCopyTemporarySuffix;
    const QStringList entries =
        QDir(memberFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : entries)
        if (name != QFileInfo(temporary).fileName()) return MemberFolderResult::NotOurs;
    if (QFileInfo(temporary).isFile()) {
        const bool sameSize =
            !QFileInfo(baseDb).isFile() || QFileInfo(baseDb).size() == QFileInfo(temporary).size();
        if (sameSize && IsCompleteDatabase(temporary) && renamePath(temporary, database))
            return SyncToDisk(memberFolder, true) ? MemberFolderResult::Ready : MemberFolderResult::CopyFailed;
        QFile::remove(temporary);
    }
    return CopyFile(baseDb, database) ? MemberFolderResult::Ready : MemberFolderResult::CopyFailed;
}

int RemoveLeftovers(const QString& programFolder, const QString& memberFolder, const QString& pdfFolder) {
    int removed = 0;
    auto sweep = [&](const QString& folder, const QStringList& files, const QStringList& folders) {
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) return;
        QDir dir(folder);
        for (const QString& name : dir.entryList(files, QDir::Files | QDir::Hidden | QDir::System))
            removed += QFile::remove(dir.filePath(name));
        for (const QString& name : dir.entryList(folders, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
            removed += QDir(dir.filePath(name)).removeRecursively();
    };
    sweep(programFolder, {"*" + QString(kCopyTemporarySuffix)}, {".*.creating", ".*.copying", ".*.removing", ".*.new"});
    if (memberFolder != programFolder) sweep(memberFolder, {"*" + QString(kCopyTemporarySuffix)}, {});
    sweep(pdfFolder, {".*.part"}, {});
    if (removed) {
        SyncToDisk(programFolder, true);
        SyncToDisk(memberFolder, true);
    }
    return removed;
}

} // namespace kvr
