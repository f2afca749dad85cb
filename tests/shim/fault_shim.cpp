// Loaded with LD_PRELOAD into the quillmark program by end-to-end tests, to make the system
// fail or slow down where a test needs it:
//   QM_SYNCFS_ERRNO=n   syncfs() fails with errno n;
//   QM_SLOW_OPEN_MS=n   opening a name that ends in ".nw" first waits n milliseconds;
//   QM_NO_TMPFILE=1     the file system has no unnamed files (O_TMPFILE fails as unsupported).
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>

namespace {

template <typename Function> Function realFunction(const char *name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

void waitIfSlowInput(const char *path) {
    const char *wait = std::getenv("QM_SLOW_OPEN_MS");
    const std::size_t length = std::strlen(path);
    if (wait == nullptr || length < 3 || std::strcmp(path + length - 3, ".nw") != 0) return;
    const long ms = std::atol(wait);
    timespec pause{ms / 1000, (ms % 1000) * 1000000};
    ::nanosleep(&pause, nullptr);
}

using OpenAt = int (*)(int, const char *, int, ...);

int openAtVia(const char *name, int dirFd, const char *path, int flags, va_list args) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) mode = va_arg(args, mode_t);
    if ((flags & O_TMPFILE) == O_TMPFILE && std::getenv("QM_NO_TMPFILE") != nullptr) {
        errno = EOPNOTSUPP;
        return -1;
    }
    waitIfSlowInput(path);
    return realFunction<OpenAt>(name)(dirFd, path, flags, mode);
}

} // namespace

extern "C" int syncfs(int fd) {
    if (const char *error = std::getenv("QM_SYNCFS_ERRNO")) {
        errno = std::atoi(error);
        return -1;
    }
    return realFunction<int (*)(int)>("syncfs")(fd);
}

extern "C" int openat(int dirFd, const char *path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int fd = openAtVia("openat", dirFd, path, flags, args);
    va_end(args);
    return fd;
}

extern "C" int openat64(int dirFd, const char *path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int fd = openAtVia("openat64", dirFd, path, flags, args);
    va_end(args);
    return fd;
}
