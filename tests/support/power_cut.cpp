// The file-operation recorder of the crash tests (kill_child.h): linked into a test
// program, the functions below take the place of libc's for the program and the libraries
// it loads, and pass each call on to the real one (dlsym RTLD_NEXT). Records are kept by
// inode; when a name's last link goes, the dead inode's records move to a fresh id, as the
// number may come back for a new file. Not modelled: torn sectors inside a flushed range,
// writes outside the root, caches that ignore flushes.
#include "support/kill_child.h"

#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <limits.h>
#include <map>
#include <mutex>
#include <csignal>
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

struct Entry {
    std::string name;
    std::uint64_t id;
    bool folder;
};

std::atomic<bool> gOn{false};
std::recursive_mutex gMutex;
thread_local int gInside = 0; // the recorder's own calls pass straight through
std::string gRoot, gRealRoot, gOps, gDisk;
int gCutAt = 0, gFaultAt = 0, gFaultErrno = 0;
bool gFaulted = false;
std::map<std::uint64_t, std::string> gContent;
std::map<std::uint64_t, std::vector<Entry>> gEntries;
std::uint64_t gNextDeadId = std::uint64_t(1) << 62, gRootId = 0;

struct Inside {
    Inside() { ++gInside; }
    ~Inside() { --gInside; }
};

bool recording() {
    return gOn.load() && gInside == 0;
}

bool underRoot(const std::string& p) {
    for (const std::string& r : {gRoot, gRealRoot})
        if (!r.empty() && p.compare(0, r.size(), r) == 0 && (p.size() == r.size() || p[r.size()] == '/')) return true;
    return false;
}

std::string absolute(const char* path) {
    if (!path || path[0] == '/') return path ? path : "";
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

std::string fdPath(int fd) {
    char link[64], target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, size_t(n)) : std::string();
}

std::string atPath(int dirfd, const char* path) {
    if (!path || path[0] == '/' || dirfd == AT_FDCWD) return absolute(path);
    return fdPath(dirfd) + "/" + path;
}

std::string readAll(const std::string& path) {
    const int in = realOpen()(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string data;
    if (in < 0) return data;
    char buf[65536];
    for (ssize_t n; (n = ::read(in, buf, sizeof buf)) > 0;)
        data.append(buf, size_t(n));
    ::close(in);
    return data;
}

std::vector<Entry> listFolder(const std::string& path) {
    std::vector<Entry> list;
    DIR* d = ::opendir(path.c_str());
    if (!d) return list;
    while (dirent* e = ::readdir(d)) {
        struct stat st;
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..") ||
            ::lstat((path + "/" + e->d_name).c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
            continue;
        list.push_back({e->d_name, std::uint64_t(st.st_ino), S_ISDIR(st.st_mode)});
    }
    ::closedir(d);
    return list;
}

void snapshotTree(const std::string& path, std::uint64_t id) {
    gEntries[id] = listFolder(path);
    for (const Entry& e : gEntries[id]) {
        if (e.folder) snapshotTree(path + "/" + e.name, e.id);
        else gContent[e.id] = readAll(path + "/" + e.name);
    }
}

// The inode's last name is going: its flushed records move to an id no new file gets.
void inodeDies(std::uint64_t ino) {
    const std::uint64_t dead = gNextDeadId++;
    if (auto c = gContent.extract(ino)) gContent[dead] = std::move(c.mapped());
    if (auto e = gEntries.extract(ino)) gEntries[dead] = std::move(e.mapped());
    for (auto& [folder, list] : gEntries)
        for (Entry& e : list)
            if (e.id == ino) e.id = dead;
}

// The inode a removal or a rename over path would end (0: none).
std::uint64_t dyingInode(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return 0;
    return S_ISDIR(st.st_mode) || st.st_nlink <= 1 ? std::uint64_t(st.st_ino) : 0;
}

void writeTree(const std::string& path, std::uint64_t id) {
    ::mkdir(path.c_str(), 0700);
    for (const Entry& e : gEntries[id]) {
        const std::string child = path + "/" + e.name;
        if (e.folder) {
            writeTree(child, e.id);
            continue;
        }
        const int fd = realOpen()(child.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const std::string& data = gContent[e.id];
        for (size_t done = 0; fd >= 0 && done < data.size();) {
            const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
            if (n <= 0) break;
            done += size_t(n);
        }
        if (fd >= 0) ::close(fd);
    }
}

// Counts an operation; true when it is to fail with the injected fault.
bool begin(char kind) {
    gOps += kind;
    if (int(gOps.size()) != gFaultAt || (kind != 'w' && kind != 'f')) return false;
    gFaulted = true;
    errno = gFaultErrno;
    return true;
}

// After the operation: the kill (with the power cut's disk written first) at the chosen one.
void end(bool now = false) {
    if (!now && int(gOps.size()) != gCutAt) return;
    Inside in;
    if (!gDisk.empty()) writeTree(gDisk, gRootId);
    std::printf("CRASH at %d\n", gCutAt);
    std::fflush(stdout);
    ::kill(::getpid(), SIGKILL);
}

// A write, truncation or flush on fd: counted when fd is under the root (a write only to
// a regular file); the call itself, or the fault.
template <typename R>
R fdOp(int fd, char kind, const std::function<R()>& call) {
    if (!recording() || fd <= 2) return call();
    std::lock_guard lock(gMutex);
    struct stat st;
    if (!underRoot(fdPath(fd)) || ::fstat(fd, &st) != 0 || (kind == 'w' && !S_ISREG(st.st_mode))) return call();
    if (begin(kind)) return R(-1);
    const R done = call();
    if (kind == 'f' && done == 0) {
        Inside in;
        if (S_ISDIR(st.st_mode)) gEntries[st.st_ino] = listFolder(fdPath(fd));
        else if (S_ISREG(st.st_mode)) gContent[st.st_ino] = readAll("/proc/self/fd/" + std::to_string(fd));
    }
    end();
    return done;
}

// A creation (open with O_CREAT of a missing file, mkdir) under the root.
int createOp(const std::string& path, bool create, const std::function<int()>& call) {
    struct stat st;
    if (!recording() || !create || !underRoot(path)) return call();
    std::lock_guard lock(gMutex);
    if (::lstat(path.c_str(), &st) == 0) return call();
    begin('c');
    const int fd = call();
    end();
    return fd;
}

// A removal or rename: counted, done, and the inode it ended (if any) given a fresh id.
int nameOp(char kind, const std::string& to, const std::string& gone, const std::function<int()>& call) {
    if (!recording() || !(underRoot(to) || underRoot(gone))) return call();
    std::lock_guard lock(gMutex);
    begin(kind);
    const std::uint64_t dying = gone.empty() ? 0 : dyingInode(gone);
    const int done = call();
    if (done == 0 && dying != 0) inodeDies(dying);
    end();
    return done;
}

bool creates(int flags) {
    return (flags & O_CREAT) && (flags & O_TMPFILE) != O_TMPFILE;
}
mode_t modeArg(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(ap, int)) : 0;
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
    gCutAt = qEnvironmentVariableIntValue(kCrashAtVar);
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

void PowerCutNow() {
    std::lock_guard lock(gMutex);
    end(true);
}

QList<int> PowerCutPoints(const std::string& ops, unsigned seed, int randomCount) {
    QList<int> points;
    const int n = int(ops.size());
    for (int i = 0; i < n; ++i) {
        int last = i;
        while (ops[size_t(i)] == 'w' && last + 1 < n && ops[size_t(last + 1)] == 'w') ++last;
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

} // namespace kvr::test

// ------------------------------------------------------------------ the interposed calls

#define KVR_NEXT(name, type) static const auto next = real<type>(#name)

extern "C" {

// A call on the file descriptor fd (fdOp), and one on names (nameOp: the name created or
// replaced, the name whose inode may end).
#define KVR_FD(R, name, kind, exceptions, params, types, args)                                                             \
    R name params exceptions {                                                                                             \
        KVR_NEXT(name, R(*) types);                                                                                    \
        return fdOp<R>(fd, kind, [&] { return next args; });                                                          \
    }
#define KVR_NAMES(name, kind, params, types, to, gone, args)                                                           \
    int name params noexcept {                                                                                         \
        KVR_NEXT(name, int (*) types);                                                                                 \
        return nameOp(kind, to, gone, [&] { return next args; });                                                      \
    }

KVR_FD(ssize_t, write, 'w', , (int fd, const void* buf, size_t n), (int, const void*, size_t), (fd, buf, n))
KVR_FD(ssize_t, pwrite, 'w', , (int fd, const void* buf, size_t n, off_t at), (int, const void*, size_t, off_t),
       (fd, buf, n, at))
KVR_FD(ssize_t, pwrite64, 'w', , (int fd, const void* buf, size_t n, off_t at), (int, const void*, size_t, off_t),
       (fd, buf, n, at))
KVR_FD(int, ftruncate, 't', noexcept, (int fd, off_t size), (int, off_t), (fd, size))
KVR_FD(int, ftruncate64, 't', noexcept, (int fd, off_t size), (int, off_t), (fd, size))
KVR_FD(int, fsync, 'f', , (int fd), (int), (fd))
KVR_FD(int, fdatasync, 'f', , (int fd), (int), (fd))

#define KVR_OPEN(name, fn, pathExpr, ...)                                                                              \
    va_list ap;                                                                                                        \
    va_start(ap, flags);                                                                                               \
    const mode_t mode = modeArg(flags, ap);                                                                            \
    va_end(ap);                                                                                                        \
    return createOp(pathExpr, creates(flags), [&] { return fn(__VA_ARGS__, flags, mode); })

int open(const char* path, int flags, ...) {
    KVR_NEXT(open, OpenFn);
    KVR_OPEN(open, next, absolute(path), path);
}
int open64(const char* path, int flags, ...) {
    KVR_OPEN(open64, realOpen(), absolute(path), path);
}
int openat(int dirfd, const char* path, int flags, ...) {
    KVR_NEXT(openat, OpenAtFn);
    KVR_OPEN(openat, next, atPath(dirfd, path), dirfd, path);
}
int openat64(int dirfd, const char* path, int flags, ...) {
    KVR_NEXT(openat64, OpenAtFn);
    KVR_OPEN(openat64, next, atPath(dirfd, path), dirfd, path);
}
int mkdir(const char* path, mode_t mode) noexcept {
    KVR_NEXT(mkdir, int (*)(const char*, mode_t));
    return createOp(absolute(path), true, [&] { return next(path, mode); });
}
KVR_NAMES(rmdir, 'u', (const char* path), (const char*), absolute(path), absolute(path), (path))
KVR_NAMES(unlink, 'u', (const char* path), (const char*), absolute(path), absolute(path), (path))
KVR_NAMES(unlinkat, 'u', (int dirfd, const char* path, int flags), (int, const char*, int), atPath(dirfd, path),
          atPath(dirfd, path), (dirfd, path, flags))
KVR_NAMES(remove, 'u', (const char* path), (const char*), absolute(path), absolute(path), (path))
KVR_NAMES(rename, 'r', (const char* from, const char* to), (const char*, const char*), absolute(to), absolute(to),
          (from, to))
KVR_NAMES(renameat, 'r', (int fromDir, const char* from, int toDir, const char* to), (int, const char*, int, const char*),
          atPath(toDir, to), atPath(toDir, to), (fromDir, from, toDir, to))
int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) noexcept {
    KVR_NEXT(renameat2, int (*)(int, const char*, int, const char*, unsigned));
    // With RENAME_NOREPLACE nothing is replaced; RENAME_EXCHANGE is not used here.
    const std::string t = atPath(toDir, to);
    return nameOp('r', t, (flags & 1u) ? std::string() : t, [&] { return next(fromDir, from, toDir, to, flags); });
}
KVR_NAMES(link, 'r', (const char* from, const char* to), (const char*, const char*), absolute(to), {}, (from, to))
KVR_NAMES(linkat, 'r', (int fromDir, const char* from, int toDir, const char* to, int flags),
          (int, const char*, int, const char*, int), atPath(toDir, to), {}, (fromDir, from, toDir, to, flags))

} // extern "C"
