// The previous-instance test: one running copy of the program per user session and
// program folder.
#pragma once

#include <QString>

namespace kvr {

// The lock is a file in the user's own runtime folder, held with an advisory lock
// (flock) for as long as the program runs. The kernel drops the lock when the holder
// ends in any way, so a file left by a killed or crashed copy never refuses a start,
// whatever it holds; other users and other installations use other files.
class SingleInstance {
public:
    // lockName: the lock's file name in the lock folder; empty: the name belonging to
    // the program folder.
    explicit SingleInstance(const QString& lockName = QString());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when no other running copy holds the lock (the lock is then held until
    // destruction). A lock file that cannot be opened at all does not refuse the start.
    bool acquire();
    QString lockPath() const { return path_; }

    // The user's folder for the lock file ($XDG_RUNTIME_DIR, else a private folder in
    // the temporary folder).
    static QString lockFolder();
    // The lock file name of a program folder: "KVR-Chart-DB-" + a hash of its path.
    static QString lockNameFor(const QString& programFolder);

private:
    QString path_;
    int fd_ = -1;
};

} // namespace kvr
