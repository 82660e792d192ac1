// The recorder behind power_cut.h. Linked into a test program, the functions below take
// the place of libc's for the program and the libraries it loads; each one passes the
// call on to the real function (dlsym RTLD_NEXT).
//
// Model. The state a power cut leaves is kept as:
//   content[id]  a file's bytes as of its last flush (fsync or fdatasync of any of its
//                descriptors; fdatasync counts as a whole flush, size included),
//   entries[id]  a folder's names, each with the id of its file or folder, as of the
//                folder's last flush,
// where id is the inode number. When a name's last link goes (removal, or a rename over
// it) the inode number may come back for a new file, so the flushed records of the dead
// inode are moved to a fresh id first. Everything under the root at PowerCutStart is
// taken as flushed. Files created and never flushed come back empty if their folder's
// entry was flushed, and not at all otherwise. Not modelled: torn sectors inside a
// flushed range, writes outside the root, caches that ignore flushes.
#include "support/power_cut.h"

#include <QRandomGenerator>
#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <functional>
#include <fcntl.h>
#include <limits.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);
OpenFn realOpen() {
    static const auto f = real<OpenFn>("open64");
    return f;
}
ssize_t realRead(int fd, void* buf, size_t n) {
    return ::read(fd, buf, n);
}

struct Entry {
    std::string name;
    std::uint64_t id;
    bool folder;
};

std::atomic<bool> gOn{false};
std::recursive_mutex gMutex;
thread_local int gInside = 0; // the recorder's own calls pass straight through
std::string gRoot, gRealRoot;
std::string gOps;
int gCutAt = 0, gFaultAt = 0, gFaultErrno = 0;
bool gFaulted = false;
std::string gDisk;
std::map<std::uint64_t, std::string> gContent;
std::map<std::uint64_t, std::vector<Entry>> gEntries;
std::uint64_t gNextDeadId = std::uint64_t(1) << 62;
std::uint64_t gRootId = 0;

struct Inside {
    Inside() { ++gInside; }
    ~Inside() { --gInside; }
};

bool recording() {
    return gOn.load() && gInside == 0;
}

bool underRoot(const std::string& p) {
    for (const std::string& r : {gRoot, gRealRoot})
        if (!r.empty() && (p == r || (p.size() > r.size() && p.compare(0, r.size(), r) == 0 && p[r.size()] == '/')))
            return true;
    return false;
}

std::string absolute(const char* path) {
    if (!path) return {};
    if (path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return path;
    return std::string(cwd) + "/" + path;
}

std::string fdPath(int fd) {
    char link[64], target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0) return {};
    return std::string(target, size_t(n));
}

std::string atPath(int dirfd, const char* path) {
    if (!path) return {};
    if (path[0] == '/' || dirfd == AT_FDCWD) return absolute(path);
    return fdPath(dirfd) + "/" + path;
}

bool fdUnderRoot(int fd) {
    if (fd < 0) return false;
    return underRoot(fdPath(fd));
}

std::string readAll(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const int in = realOpen()(link, O_RDONLY | O_CLOEXEC);
    std::string data;
    if (in < 0) return data;
    char buf[65536];
    for (ssize_t n; (n = realRead(in, buf, sizeof buf)) > 0;)
        data.append(buf, size_t(n));
    ::close(in);
    return data;
}

std::vector<Entry> listFolder(const std::string& path) {
    std::vector<Entry> list;
    DIR* d = ::opendir(path.c_str());
    if (!d) return list;
    while (dirent* e = ::readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        struct stat st;
        if (::lstat((path + "/" + e->d_name).c_str(), &st) != 0) continue;
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) continue;
        list.push_back({e->d_name, std::uint64_t(st.st_ino), S_ISDIR(st.st_mode)});
    }
    ::closedir(d);
    return list;
}

void snapshotTree(const std::string& path, std::uint64_t id) {
    std::vector<Entry> list = listFolder(path);
    gEntries[id] = list;
    for (const Entry& e : list) {
        const std::string child = path + "/" + e.name;
        if (e.folder) {
            snapshotTree(child, e.id);
        } else {
            const int fd = realOpen()(child.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                gContent[e.id] = readAll(fd);
                ::close(fd);
            }
        }
    }
}

// The inode's last name is going: its flushed records move to an id no new file gets.
void inodeDies(std::uint64_t ino) {
    const std::uint64_t dead = gNextDeadId++;
    if (auto c = gContent.find(ino); c != gContent.end()) {
        gContent[dead] = std::move(c->second);
        gContent.erase(ino);
    }
    if (auto e = gEntries.find(ino); e != gEntries.end()) {
        gEntries[dead] = std::move(e->second);
        gEntries.erase(ino);
    }
    for (auto& [folder, list] : gEntries)
        for (Entry& e : list)
            if (e.id == ino) e.id = dead;
}

// The inode a removal or a rename over path would end (0: none).
std::uint64_t dyingInode(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return 0;
    if (S_ISDIR(st.st_mode) || st.st_nlink <= 1) return std::uint64_t(st.st_ino);
    return 0;
}

void writeTree(const std::string& path, std::uint64_t id) {
    ::mkdir(path.c_str(), 0700);
    auto it = gEntries.find(id);
    if (it == gEntries.end()) return;
    for (const Entry& e : it->second) {
        const std::string child = path + "/" + e.name;
        if (e.folder) {
            writeTree(child, e.id);
            continue;
        }
        const int fd = realOpen()(child.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) continue;
        if (auto c = gContent.find(e.id); c != gContent.end()) {
            const std::string& data = c->second;
            for (size_t done = 0; done < data.size();) {
                const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
                if (n <= 0) break;
                done += size_t(n);
            }
        }
        ::close(fd);
    }
}

// Counts an operation; true when it is to fail with the injected fault.
bool begin(char kind) {
    gOps += kind;
    const int index = int(gOps.size());
    if (index == gFaultAt && (kind == 'w' || kind == 'f')) {
        gFaulted = true;
        return true;
    }
    return false;
}

// After the operation: the cut, when this was the chosen one.
void end() {
    if (int(gOps.size()) != gCutAt || gDisk.empty()) return;
    Inside in;
    writeTree(gDisk, gRootId);
    std::fprintf(stdout, "POWER CUT at %d\n", gCutAt);
    std::fflush(stdout);
    ::kill(::getpid(), SIGKILL);
}

void flushed(int fd) {
    Inside in;
    struct stat st;
    if (::fstat(fd, &st) != 0) return;
    const std::uint64_t id = std::uint64_t(st.st_ino);
    if (S_ISDIR(st.st_mode)) {
        gEntries[id] = listFolder(fdPath(fd));
    } else if (S_ISREG(st.st_mode)) {
        gContent[id] = readAll(fd); // also an unnamed file, linked in later
    }
}

#define KVR_FAULT_RETURN(r)                                                                                            \
    do {                                                                                                               \
        errno = gFaultErrno;                                                                                           \
        return r;                                                                                                      \
    } while (0)

int fdOp(int fd, char kind, bool& fault) {
    fault = false;
    if (!recording() || !fdUnderRoot(fd)) return 0;
    struct stat st;
    if (kind == 'w' && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) return 0;
    fault = begin(kind);
    return 1;
}

} // namespace

namespace kvr::test {

void PowerCutStart(const QString& root) {
    std::lock_guard lock(gMutex);
    Inside in;
    gRoot = root.toStdString();
    char resolved[PATH_MAX];
    gRealRoot = ::realpath(gRoot.c_str(), resolved) ? std::string(resolved) : gRoot;
    struct stat st;
    ::stat(gRoot.c_str(), &st);
    gRootId = std::uint64_t(st.st_ino);
    gContent.clear();
    gEntries.clear();
    snapshotTree(gRoot, gRootId);
    gOps.clear();
    gCutAt = qEnvironmentVariableIntValue(kPowerCutAtVar);
    gDisk = qEnvironmentVariable(kPowerCutDiskVar).toStdString();
    gFaultAt = qEnvironmentVariableIntValue(kFaultAtVar);
    gFaultErrno = qEnvironmentVariableIntValue(kFaultErrnoVar);
    if (gFaultErrno == 0) gFaultErrno = ENOSPC;
    gFaulted = false;
    gOn = true;
}

std::string PowerCutStop() {
    std::lock_guard lock(gMutex);
    gOn = false;
    return gOps;
}

bool PowerCutFaulted() {
    return gFaulted;
}

QList<int> PowerCutPoints(const std::string& ops, unsigned seed, int randomCount) {
    QList<int> points;
    const int n = int(ops.size());
    for (int i = 0; i < n; ++i) {
        if (ops[size_t(i)] != 'w') {
            points << i + 1;
            continue;
        }
        int last = i;
        while (last + 1 < n && ops[size_t(last + 1)] == 'w') ++last;
        for (int k : {i, (i + last) / 2, last})
            if (!points.contains(k + 1)) points << k + 1;
        i = last;
    }
    QRandomGenerator rng(seed);
    for (int k = 0; k < randomCount && points.size() < n; ++k) {
        int p;
        do p = int(rng.bounded(n)) + 1;
        while (points.contains(p));
        points << p;
    }
    return points;
}

QList<int> FaultPoints(const std::string& ops) {
    QList<int> points;
    for (size_t i = 0; i < ops.size(); ++i)
        if (ops[i] == 'w' || ops[i] == 'f') points << int(i) + 1;
    return points;
}

} // namespace kvr::test

// ------------------------------------------------------------------ the interposed calls

extern "C" {

ssize_t write(int fd, const void* buf, size_t n) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t)>("write");
    if (!recording() || fd <= 2) return next(fd, buf, n);
    std::lock_guard lock(gMutex);
    bool fault;
    if (!fdOp(fd, 'w', fault)) return next(fd, buf, n);
    if (fault) KVR_FAULT_RETURN(-1);
    const ssize_t done = next(fd, buf, n);
    end();
    return done;
}

static ssize_t pwriteCommon(ssize_t (*next)(int, const void*, size_t, off_t), int fd, const void* buf, size_t n,
                            off_t at) {
    if (!recording()) return next(fd, buf, n, at);
    std::lock_guard lock(gMutex);
    bool fault;
    if (!fdOp(fd, 'w', fault)) return next(fd, buf, n, at);
    if (fault) KVR_FAULT_RETURN(-1);
    const ssize_t done = next(fd, buf, n, at);
    end();
    return done;
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    return pwriteCommon(next, fd, buf, n, at);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t at) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite64");
    return pwriteCommon(next, fd, buf, n, at);
}

static int truncateCommon(int (*next)(int, off_t), int fd, off_t size) {
    if (!recording()) return next(fd, size);
    std::lock_guard lock(gMutex);
    bool fault;
    if (!fdOp(fd, 't', fault)) return next(fd, size);
    const int done = next(fd, size);
    end();
    return done;
}

int ftruncate(int fd, off_t size) noexcept {
    static const auto next = real<int (*)(int, off_t)>("ftruncate");
    return truncateCommon(next, fd, size);
}

int ftruncate64(int fd, off_t size) noexcept {
    static const auto next = real<int (*)(int, off_t)>("ftruncate64");
    return truncateCommon(next, fd, size);
}

static int syncCommon(int (*next)(int), int fd) {
    if (!recording()) return next(fd);
    std::lock_guard lock(gMutex);
    bool fault;
    if (!fdOp(fd, 'f', fault)) return next(fd);
    if (fault) KVR_FAULT_RETURN(-1);
    const int done = next(fd);
    if (done == 0) flushed(fd);
    end();
    return done;
}

int fsync(int fd) {
    static const auto next = real<int (*)(int)>("fsync");
    return syncCommon(next, fd);
}

int fdatasync(int fd) {
    static const auto next = real<int (*)(int)>("fdatasync");
    return syncCommon(next, fd);
}

} // extern "C"

static int openCommon(const std::string& path, int flags, const std::function<int()>& call) {
    if (!recording() || !(flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE || !underRoot(path)) return call();
    std::lock_guard lock(gMutex);
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) return call();
    begin('c');
    const int fd = call();
    end();
    return fd;
}

static mode_t modeArg(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(ap, int)) : 0;
}

extern "C" {

int open(const char* path, int flags, ...) {
    static const auto next = real<OpenFn>("open");
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeArg(flags, ap);
    va_end(ap);
    return openCommon(absolute(path), flags, [&] { return next(path, flags, mode); });
}

int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeArg(flags, ap);
    va_end(ap);
    return openCommon(absolute(path), flags, [&] { return realOpen()(path, flags, mode); });
}

int openat(int dirfd, const char* path, int flags, ...) {
    static const auto next = real<OpenAtFn>("openat");
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeArg(flags, ap);
    va_end(ap);
    return openCommon(atPath(dirfd, path), flags, [&] { return next(dirfd, path, flags, mode); });
}

int openat64(int dirfd, const char* path, int flags, ...) {
    static const auto next = real<OpenAtFn>("openat64");
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeArg(flags, ap);
    va_end(ap);
    return openCommon(atPath(dirfd, path), flags, [&] { return next(dirfd, path, flags, mode); });
}

int mkdir(const char* path, mode_t mode) noexcept {
    static const auto next = real<int (*)(const char*, mode_t)>("mkdir");
    const std::string p = absolute(path);
    if (!recording() || !underRoot(p)) return next(path, mode);
    std::lock_guard lock(gMutex);
    begin('c');
    const int done = next(path, mode);
    end();
    return done;
}

} // extern "C"

// A removal or rename: counted, done, and the inode it ended (if any) given a fresh id.
static int nameOp(char kind, const std::string& from, const std::string& gone, const std::function<int()>& call) {
    if (!recording() || !(underRoot(from) || underRoot(gone))) return call();
    std::lock_guard lock(gMutex);
    begin(kind);
    const std::uint64_t dying = gone.empty() ? 0 : dyingInode(gone);
    const int done = call();
    if (done == 0 && dying != 0) inodeDies(dying);
    end();
    return done;
}

extern "C" {

int rmdir(const char* path) noexcept {
    static const auto next = real<int (*)(const char*)>("rmdir");
    const std::string p = absolute(path);
    return nameOp('u', p, p, [&] { return next(path); });
}

int unlink(const char* path) noexcept {
    static const auto next = real<int (*)(const char*)>("unlink");
    const std::string p = absolute(path);
    return nameOp('u', p, p, [&] { return next(path); });
}

int unlinkat(int dirfd, const char* path, int flags) noexcept {
    static const auto next = real<int (*)(int, const char*, int)>("unlinkat");
    const std::string p = atPath(dirfd, path);
    return nameOp('u', p, p, [&] { return next(dirfd, path, flags); });
}

int remove(const char* path) noexcept {
    static const auto next = real<int (*)(const char*)>("remove");
    const std::string p = absolute(path);
    return nameOp('u', p, p, [&] { return next(path); });
}

int rename(const char* from, const char* to) noexcept {
    static const auto next = real<int (*)(const char*, const char*)>("rename");
    return nameOp('r', absolute(to), absolute(to), [&] { return next(from, to); });
}

int renameat(int fromDir, const char* from, int toDir, const char* to) noexcept {
    static const auto next = real<int (*)(int, const char*, int, const char*)>("renameat");
    const std::string t = atPath(toDir, to);
    return nameOp('r', t, t, [&] { return next(fromDir, from, toDir, to); });
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) noexcept {
    static const auto next = real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    const std::string t = atPath(toDir, to);
    // With RENAME_NOREPLACE nothing is replaced; RENAME_EXCHANGE is not used here.
    return nameOp('r', t, (flags & 1u) ? std::string() : t, [&] { return next(fromDir, from, toDir, to, flags); });
}

int link(const char* from, const char* to) noexcept {
    static const auto next = real<int (*)(const char*, const char*)>("link");
    return nameOp('r', absolute(to), {}, [&] { return next(from, to); });
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) noexcept {
    static const auto next = real<int (*)(int, const char*, int, const char*, int)>("linkat");
    return nameOp('r', atPath(toDir, to), {}, [&] { return next(fromDir, from, toDir, to, flags); });
}

} // extern "C"
