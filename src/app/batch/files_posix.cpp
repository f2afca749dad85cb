// The batch run's files on POSIX systems: descriptors, *at() calls relative to open
// directories; unnamed files, no-replace renames and file-system flushes come from the
// platform's own calls (platform_linux.cpp).
#include "app/batch/files.hpp"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qm::batch {

static_assert(ErrorAlreadyExists == EEXIST);

namespace {

// Retries reads interrupted by a signal.
ssize_t readSome(int fd, std::uint8_t *data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, data, size);
        if (n >= 0 || errno != EINTR) return n;
    }
}

// Whether an entry is a real directory; links are not followed.
bool isDirectoryEntry(int dirFd, const dirent &entry) {
    if (entry.d_type == DT_DIR) return true;
    if (entry.d_type != DT_UNKNOWN) return false;
    struct stat info {};
    if (::fstatat(dirFd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    return S_ISDIR(info.st_mode);
}

} // namespace

bool isAlreadyExists(int error) { return error == EEXIST; }

bool isNotADirectory(int error) { return error == ELOOP || error == ENOTDIR; }

bool isNotFound(int error) { return error == ENOENT; }

std::string systemReason(int error) { return std::system_category().message(error); }

std::string pathText(const std::filesystem::path &path) { return path.string(); }

std::filesystem::path pathFromText(std::string_view text) {
    return std::filesystem::path(std::string(text));
}

int displayPath(const std::filesystem::path &path, std::string &text) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return error.value();
    // The kernel takes ".." after a symbolic link to the parent of the link's target, not back
    // to where the link is: up to the last "..", the path is resolved as the kernel does; the
    // rest keeps the names the user gave.
    std::filesystem::path throughLastUp, rest;
    for (const std::filesystem::path &part : absolute) {
        rest /= part;
        if (part == "..") {
            throughLastUp /= rest;
            rest.clear();
        }
    }
    if (!throughLastUp.empty()) {
        absolute = std::filesystem::canonical(throughLastUp, error);
        if (error) return error.value();
        absolute /= rest;
    }
    text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return 0;
}

std::string joinPath(std::string_view dir, std::string_view name) {
    std::string path(dir);
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

std::string fileNameKey(std::string_view name) { return lowerCase(name); }

int UniqueHandle::reset() {
    if (Handle == NoHandle) return 0;
    const int result = ::close(Handle);
    Handle = NoHandle;
    return result == 0 ? 0 : errno;
}

int writeAll(NativeHandle file, std::span<const std::uint8_t> bytes, std::uint64_t *written) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(file, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        if (written) *written += static_cast<std::uint64_t>(n);
    }
    return 0;
}

int flushToDisk(NativeHandle file) {
    // EINVAL: a file that cannot be flushed (a pipe, /dev/null) has nothing to put on a disk.
    return ::fdatasync(file) == 0 || errno == EINVAL ? 0 : errno;
}

Directory Directory::open(const std::filesystem::path &path, int &error) {
    Directory dir;
    dir.Handle = UniqueHandle(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    error = dir.valid() ? 0 : errno;
    return dir;
}

Directory Directory::openSubdirectory(const std::string &name, int &error) const {
    Directory dir;
    dir.Handle = UniqueHandle(
        ::openat(handle(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    error = dir.valid() ? 0 : errno;
    return dir;
}

int pathKind(const std::filesystem::path &path, PathKind &kind) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return errno;
    kind = S_ISDIR(info.st_mode)   ? PathKind::Directory
           : S_ISREG(info.st_mode) ? PathKind::RegularFile
                                   : PathKind::Other;
    return 0;
}

std::uint64_t fileSystemOf(const Directory &dir) {
    struct stat info {};
    return ::fstat(dir.handle(), &info) == 0 ? static_cast<std::uint64_t>(info.st_dev) : 0;
}

int syncFileSystem(const Directory &dir) { return platform::syncFileSystem(dir.handle()); }

int listDirectory(const Directory &dir, DirectoryListing &listing) {
    // fdopendir takes ownership, so give it its own descriptor.
    const int own = ::openat(dir.handle(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0) return errno;
    DIR *stream = ::fdopendir(own);
    if (stream == nullptr) {
        const int error = errno;
        ::close(own);
        return error;
    }
    errno = 0;
    while (const dirent *entry = ::readdir(stream)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        listing.Taken.add(name);
        if (isDirectoryEntry(dir.handle(), *entry))
            listing.Subdirectories.push_back(name);
        else
            listing.Files.insert(name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(stream);
    std::sort(listing.Subdirectories.begin(), listing.Subdirectories.end(), CaseBlindLess{});
    return error;
}

InputFile readInput(const Directory &dir, const std::string &name,
                    const std::function<void(std::uint64_t size)> &beforeRead) {
    InputFile input;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    UniqueHandle fd(
        ::openat(dir.handle(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
        input.Error = errno;
        // A socket cannot be opened at all: still "not a regular file", not a read failure.
        if (::fstatat(dir.handle(), name.c_str(), &info, 0) == 0 && !S_ISREG(info.st_mode))
            input.Status = InputStatus::NotRegularFile;
        return input;
    }
    if (!S_ISREG(info.st_mode)) {
        input.Status = InputStatus::NotRegularFile;
        return input;
    }
    // As root, a user's link to a file only root may read would hand its contents over; such
    // a link is not followed (as the kernel's protected_symlinks does in sticky directories).
    struct stat link {};
    if (::geteuid() == 0 &&
        ::fstatat(dir.handle(), name.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(link.st_mode) && link.st_uid != info.st_uid) {
        input.Status = InputStatus::ForeignLink;
        return input;
    }
    input.Mode = static_cast<std::uint32_t>(info.st_mode & 0777);
    input.Size = static_cast<std::uint64_t>(info.st_size);
    if (input.Size > MaxInputBytes) {
        input.Status = InputStatus::TooLarge;
        return input;
    }
    if (beforeRead) beforeRead(input.Size);
    readInputBytes(input, [&fd](std::uint8_t *into, std::size_t room) {
        const ssize_t n = readSome(fd.get(), into, room);
        return n < 0 ? ReadResult{0, errno} : ReadResult{static_cast<std::size_t>(n), 0};
    });
    return input;
}

UniqueHandle createNewFile(const Directory &dir, const std::string &name, int &error) {
    UniqueHandle fd(::openat(dir.handle(), name.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666));
    error = fd.valid() ? 0 : errno;
    return fd;
}

namespace {

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `name` in `dir` is still the file open as `fd`.
bool stillNamed(int dirFd, const std::string &name, int fd) {
    struct stat named {
    }, open{};
    return ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(fd, &open) == 0 && sameFile(named, open);
}

// A new temporary file, locked: its descriptor, or -1 with `error` set. Between its creation
// and the lock another run may find it unlocked and remove it, so it counts only once it is
// locked and still there under its name.
int createLockedTemporary(int dirFd, TemporaryNames &names, std::uint32_t mode, std::string &name,
                          int &error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = names.next();
        UniqueHandle fd(
            ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!fd.valid()) {
            if (errno == EEXIST) continue;
            error = errno;
            return -1;
        }
        if (::flock(fd.get(), LOCK_EX) != 0) {
            error = errno;
            ::unlinkat(dirFd, name.c_str(), 0);
            return -1;
        }
        if (stillNamed(dirFd, name, fd.get())) return fd.release();
    }
    error = EEXIST;
    return -1;
}

} // namespace

int removeLeftoverTemporaries(const Directory &dir,
                              const std::set<std::string, CaseBlindLess> &names) {
    int removed = 0;
    for (const std::string &name : names) {
        if (!temporaryFileOwner(name)) continue; // not of our kind: never touched
        const UniqueHandle fd(::openat(dir.handle(), name.c_str(),
                                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        // A lock is taken only when no run holds it; the name must still be the file locked.
        if (!fd.valid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 ||
            !stillNamed(dir.handle(), name, fd.get()))
            continue;
        if (::unlinkat(dir.handle(), name.c_str(), 0) == 0) ++removed;
    }
    return removed;
}

UniqueHandle openReportFile(const std::filesystem::path &path, int &error) {
    UniqueHandle fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666));
    error = fd.valid() ? 0 : errno;
    struct stat info {};
    if (error != EEXIST || ::stat(path.c_str(), &info) != 0 ||
        !(S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)))
        return fd;
    fd = UniqueHandle(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    error = fd.valid() ? 0 : errno;
    return fd;
}

int PendingOutput::write(const Directory &dir, std::span<const std::uint8_t> bytes,
                         TemporaryNames &names, std::uint32_t mode) {
    discard();
    Dir = &dir;
    // An unnamed file costs one inode and no directory entry until it is published.
    if (UnnamedFiles) {
        int error = 0;
        bool unsupported = false;
        Unnamed = UniqueHandle(platform::openUnnamedFile(dir.handle(), error, unsupported, mode));
        if (Unnamed.valid()) {
            if (error = writeAll(Unnamed.get(), bytes); error != 0) discard();
            return error;
        }
        if (!unsupported) return error;
    }
    // The file system has no unnamed files: a hidden temporary file instead, locked while this
    // run holds it.
    int error = 0;
    TempFile = UniqueHandle(createLockedTemporary(dir.handle(), names, mode, TempName, error));
    if (!TempFile.valid()) {
        TempName.clear();
        return error;
    }
    if (error = writeAll(TempFile.get(), bytes); error != 0) discard();
    return error;
}

int PendingOutput::publish(const std::string &name) {
    UniqueHandle &file = Unnamed.valid() ? Unnamed : TempFile;
    if (!file.valid()) return EBADF;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return errno;
    const int error = Unnamed.valid()
                          ? platform::linkUnnamedFile(Unnamed.get(), Dir->handle(), name)
                          : platform::renameNoReplace(Dir->handle(), TempName, name);
    if (error != 0) return error;
    TempName.clear();
    Published = name;
    Device = static_cast<std::uint64_t>(info.st_dev);
    Inode = static_cast<std::uint64_t>(info.st_ino);
    // A failed close may mean the data did not reach the file (a network file system).
    if (const int closeError = file.reset(); closeError != 0) {
        withdraw();
        return closeError;
    }
    return 0;
}

void PendingOutput::withdraw() {
    struct stat named {};
    if (!Published.empty() && Dir != nullptr &&
        ::fstatat(Dir->handle(), Published.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        static_cast<std::uint64_t>(named.st_dev) == Device &&
        static_cast<std::uint64_t>(named.st_ino) == Inode)
        ::unlinkat(Dir->handle(), Published.c_str(), 0);
    Published.clear();
}

void PendingOutput::discard() {
    Unnamed.reset();
    // Removed while still locked, so no other run takes it for a leftover meanwhile.
    if (!TempName.empty() && Dir != nullptr) removeQuietly(*Dir, TempName);
    TempFile.reset();
    TempName.clear();
}

bool removeQuietly(const Directory &dir, const std::string &name) {
    return ::unlinkat(dir.handle(), name.c_str(), 0) == 0;
}

} // namespace qm::batch
