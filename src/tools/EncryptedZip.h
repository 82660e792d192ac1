// A ZIP archive of one file, encrypted with WinZip AES-256 (readable by the common
// archivers, 7-Zip among them).
//
// The file is stored, not deflated: the program's databases are encrypted, and
// encrypted data does not compress (docs/submission-backup-compaction.md has the
// figures). The archive is written under a temporary name beside its final one, read
// back and compared with the file, flushed to disk and only then renamed to its name,
// so a half-written archive never carries the final name.
#pragma once

#include <QString>

#include <functional>

namespace kvr {

// The fixed password of the submission archive.
inline constexpr const char* kSubmissionArchivePassword = "MXR4719FQ";

struct ZipOptions {
    bool deflate = false; // store (false) or deflate the file
    // Called now and then while the archive is written (the screen stays alive).
    std::function<void()> progress;
};

// Writes archivePath holding file under entryName. Throws RuntimeError (number,
// description) when anything fails; the temporary file is removed then.
void WriteEncryptedZip(const QString& archivePath, const QString& file, const QString& entryName,
                       const QString& password, const ZipOptions& options = {});

// The temporary name an archive is written under.
QString ZipTempPath(const QString& archivePath);

} // namespace kvr
