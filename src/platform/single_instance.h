// The previous-instance test: one running copy of the program per user.
#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace kvr {

class SingleInstance {
public:
    // lockName: a file name in the temporary folder shared by every copy.
    explicit SingleInstance(const QString& lockName = "KVR-Chart-DB.lock");
    ~SingleInstance();
    // True when no other copy holds the lock (the lock is then held until destruction).
    bool acquire();

private:
    std::unique_ptr<QLockFile> lock_;
};

} // namespace kvr
