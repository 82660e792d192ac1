// The member folder of a new member number, created all or nothing, and the repair of
// a folder whose first start was cut short by an older version.
#pragma once

#include <QString>

#include <functional>

namespace kvr {

enum class MemberFolderResult {
    Ready,        // the folder holds its complete database
    FolderFailed, // the folder could not be made (its own box was shown)
    CopyFailed,   // the database could not be copied (its own box was shown)
    NotOurs,      // (repair) the folder holds other files: it is left as it is
};

// The folder in which a new member folder is put together: hidden, beside the member
// folders, on the same file system, so that one rename publishes it.
QString StagingFolderOf(const QString& memberFolder);

// Puts the new member folder together under its staging name: the copy of baseDb as
// dbFile ("/KVR-DB-123456.MDB"), then prepare(path of the staged database) (the clinic
// code), then the folder takes its final name in one rename. A start killed at any
// point leaves either no member folder or a complete one; the staging folder of an
// interrupted attempt is removed by the next attempt.
MemberFolderResult CreateMemberFolder(const QString& memberFolder, const QString& dbFile,
                                      const QString& baseDb,
                                      const std::function<void(const QString&)>& prepare);

// An existing member folder without its database that holds nothing but the copy's
// temporary file (what an interrupted first start of an older version leaves): the
// temporary copy becomes the database when it is complete, otherwise baseDb is copied
// again. Ready when the database is there (or was already), NotOurs for a folder with
// other files and no database, CopyFailed when the copy failed.
MemberFolderResult RepairMemberFolder(const QString& memberFolder, const QString& dbFile,
                                      const QString& baseDb);

// Removes what interrupted file operations of an earlier run left (this run holds the
// program lock, so none of them is still in progress): copies' temporary files
// ("*.kvrtmp") in the program folder and the member folder, the hidden work folders of a
// member number change (".*.creating", ".*.copying", ".*.removing") and of a first start
// (".*.new") in the program folder, and the hidden partial PDF files (".*.part") in the
// PDF folder. Each of them is only ever an unfinished copy of data kept elsewhere.
// Returns how many entries were removed.
int RemoveLeftovers(const QString& programFolder, const QString& memberFolder, const QString& pdfFolder);

// True when path is a complete keyed database of the program.
bool IsCompleteDatabase(const QString& path);

} // namespace kvr
