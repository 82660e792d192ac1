// Linked into kill tests that stop the child at its file operations: the child's own
// calls of write, rename and unlink (and those of the libraries it calls through their
// public entry points) pass through here and are counted by FileOpDone. Writes to pipes,
// sockets and the standard streams are not counted.
#include "support/kill_child.h"

#include <cstdio>
#include <dlfcn.h>
#include <sys/stat.h>

namespace {

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" ssize_t write(int fd, const void* buf, size_t n) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t)>("write");
    const ssize_t done = next(fd, buf, n);
    struct stat st;
    if (kvr::test::gCountFileOps && fd > 2 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        kvr::test::FileOpDone('w');
    return done;
}

extern "C" int rename(const char* from, const char* to) noexcept {
    static const auto next = real<int (*)(const char*, const char*)>("rename");
    const int done = next(from, to);
    kvr::test::FileOpDone('r');
    return done;
}

extern "C" int unlink(const char* path) noexcept {
    static const auto next = real<int (*)(const char*)>("unlink");
    const int done = next(path);
    kvr::test::FileOpDone('u');
    return done;
}

extern "C" int remove(const char* path) noexcept {
    static const auto next = real<int (*)(const char*)>("remove");
    const int done = next(path);
    kvr::test::FileOpDone('u');
    return done;
}
