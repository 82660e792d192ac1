#include "single_instance.h"

#include <QDir>
#include <QLockFile>

namespace kvr {

SingleInstance::SingleInstance(const QString& lockName)
    : lock_(std::make_unique<QLockFile>(QDir::tempPath() + "/" + lockName)) {
    lock_->setStaleLockTime(0); // a lock left by a crashed copy is taken over
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire() {
    return lock_->isLocked() || lock_->tryLock(0);
}

} // namespace kvr
