// The batch run's files on POSIX systems: descriptors, *at() calls relative to open
// directories; unnamed files, no-replace renames and file-system flushes come from the
// platform's own calls (platform_linux.cpp).
#include "app/batch/files.hpp"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
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
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return error.value();
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

int PendingOutput::write(const Directory &dir, std::span<const std::uint8_t> bytes,
                         TemporaryNames &names) {
    discard();
    Dir = &dir;
    // An unnamed file costs one inode and no directory entry until it is published.
    if (UnnamedFiles) {
        int error = 0;
        bool unsupported = false;
        Unnamed = UniqueHandle(platform::openUnnamedFile(dir.handle(), error, unsupported));
        if (Unnamed.valid()) {
            if (error = writeAll(Unnamed.get(), bytes); error != 0) discard();
            return error;
        }
        if (!unsupported) return error;
    }
    // The file system has no unnamed files: a hidden temporary file instead.
    UniqueHandle fd;
    for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
        TempName = names.next();
        fd = UniqueHandle(::openat(dir.handle(), TempName.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd.valid() && errno != EEXIST) {
            TempName.clear();
            return errno;
        }
    }
    if (!fd.valid()) {
        TempName.clear();
        return EEXIST;
    }
    int error = writeAll(fd.get(), bytes);
    const int closeError = fd.reset();
    if (error == 0) error = closeError;
    if (error != 0) discard();
    return error;
}

int PendingOutput::publish(const std::string &name) {
    if (Unnamed.valid()) {
        if (const int error = platform::linkUnnamedFile(Unnamed.get(), Dir->handle(), name);
            error != 0)
            return error;
        if (const int closeError = Unnamed.reset(); closeError != 0) {
            removeQuietly(*Dir, name);
            return closeError;
        }
        return 0;
    }
    if (TempName.empty()) return EBADF;
    if (const int error = platform::renameNoReplace(Dir->handle(), TempName, name); error != 0)
        return error;
    TempName.clear();
    return 0;
}

void PendingOutput::discard() {
    Unnamed.reset();
    if (!TempName.empty() && Dir != nullptr) removeQuietly(*Dir, TempName);
    TempName.clear();
}

bool removeQuietly(const Directory &dir, const std::string &name) {
    return ::unlinkat(dir.handle(), name.c_str(), 0) == 0;
}

} // namespace qm::batch
