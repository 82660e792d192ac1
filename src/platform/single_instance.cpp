#include "single_instance.h"

#include "services.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kvr {

QString SingleInstance::lockFolder() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir() || !QFileInfo(folder).isWritable())
        folder = QDir::tempPath() + "/kvr-chart-db-" + QString::number(::getuid());
    return folder;
}

QString SingleInstance::lockNameFor(const QString& programFolder) {
    const QString canonical = QFileInfo(programFolder).canonicalFilePath();
    const QByteArray key = (canonical.isEmpty() ? QDir::cleanPath(programFolder) : canonical).toUtf8();
    return "KVR-Chart-DB-" + QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16) +
           ".lock";
}

SingleInstance::SingleInstance(const QString& lockName)
    : path_(lockFolder() + "/" + (lockName.isEmpty() ? lockNameFor(appFolder()) : lockName)) {}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) ::close(fd_); // releases the lock; the file stays for the next start
}

bool SingleInstance::acquire() {
    if (fd_ >= 0) return true;
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray name = QFile::encodeName(path_);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true; // no way to tell: a lock that cannot work must not lock the member out
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err != EWOULDBLOCK;
    }
    fd_ = fd;
    // The holder's process number, for a person looking at the file.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + "\n";
    if (::ftruncate(fd_, 0) == 0) (void)!::pwrite(fd_, pid.constData(), size_t(pid.size()), 0);
    return true;
}

} // namespace kvr
