#include "app/batch/files.hpp"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qm::batch {

namespace {

// Retries reads and writes interrupted by a signal.
ssize_t readSome(int fd, std::uint8_t *data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, data, size);
        if (n >= 0 || errno != EINTR) return n;
    }
}

int writeAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return 0;
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

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept {
    if (this != &other) {
        reset();
        Fd = other.release();
    }
    return *this;
}

int UniqueFd::release() {
    const int fd = Fd;
    Fd = -1;
    return fd;
}

int UniqueFd::reset() {
    if (Fd < 0) return 0;
    const int result = ::close(Fd);
    Fd = -1;
    return result == 0 ? 0 : errno;
}

UniqueFd openDirectory(int parent, const std::string &name, int &error) {
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    error = fd < 0 ? errno : 0;
    return UniqueFd(fd);
}

int listDirectory(int dirFd, DirectoryListing &listing) {
    // fdopendir takes ownership, so give it its own descriptor.
    const int own = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0) return errno;
    DIR *dir = ::fdopendir(own);
    if (dir == nullptr) {
        const int error = errno;
        ::close(own);
        return error;
    }
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        listing.Taken.add(name);
        if (isDirectoryEntry(dirFd, *entry))
            listing.Subdirectories.push_back(name);
        else
            listing.Files.insert(name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    std::sort(listing.Subdirectories.begin(), listing.Subdirectories.end(), CaseBlindLess{});
    return error;
}

InputFile readInput(int dirFd, const std::string &name,
                    const std::function<void(std::uint64_t size)> &beforeRead) {
    InputFile input;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
        input.Error = errno;
        // A socket cannot be opened at all: still "not a regular file", not a read failure.
        if (::fstatat(dirFd, name.c_str(), &info, 0) == 0 && !S_ISREG(info.st_mode))
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
    // Read up to one byte past the limit: the file may have grown since fstat.
    input.Bytes.resize(static_cast<std::size_t>(input.Size) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == input.Bytes.size()) {
            if (filled > MaxInputBytes) break;
            input.Bytes.resize(std::min<std::size_t>(filled * 2 + 4096, MaxInputBytes + 1));
        }
        const ssize_t n =
            readSome(fd.get(), input.Bytes.data() + filled, input.Bytes.size() - filled);
        if (n < 0) {
            input.Error = errno;
            input.Bytes.clear();
            return input;
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    if (filled > MaxInputBytes) {
        input.Status = InputStatus::TooLarge;
        input.Size = filled;
        input.Bytes.clear();
        return input;
    }
    input.Bytes.resize(filled);
    input.Status = InputStatus::Ok;
    return input;
}

TemporaryNames::TemporaryNames()
    : Owner(platform::currentProcess()), Random(std::random_device{}()) {}

std::string TemporaryNames::next() { return temporaryFileName(Owner, Random()); }

int removeLeftoverTemporaries(int dirFd, const std::set<std::string, CaseBlindLess> &names) {
    int removed = 0;
    for (const std::string &name : names) {
        const std::optional<platform::ProcessIdentity> owner = temporaryFileOwner(name);
        if (!owner || platform::processIsRunning(*owner)) continue;
        if (::unlinkat(dirFd, name.c_str(), 0) == 0) ++removed;
    }
    return removed;
}

int PendingOutput::write(int dirFd, std::span<const std::uint8_t> bytes, TemporaryNames &names) {
    discard();
    DirFd = dirFd;
    // An unnamed file costs one inode and no directory entry until it is published.
    if (UnnamedFiles) {
        int error = 0;
        bool unsupported = false;
        Unnamed = UniqueFd(platform::openUnnamedFile(dirFd, error, unsupported));
        if (Unnamed.valid()) {
            if (error = writeAll(Unnamed.get(), bytes); error != 0) discard();
            return error;
        }
        if (!unsupported) return error;
    }
    // The file system has no unnamed files: a hidden temporary file instead.
    UniqueFd fd;
    for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
        TempName = names.next();
        fd = UniqueFd(
            ::openat(dirFd, TempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
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
        if (const int error = platform::linkUnnamedFile(Unnamed.get(), DirFd, name); error != 0)
            return error;
        if (const int closeError = Unnamed.reset(); closeError != 0) {
            removeQuietly(DirFd, name);
            return closeError;
        }
        return 0;
    }
    if (TempName.empty()) return EBADF;
    if (const int error = platform::renameNoReplace(DirFd, TempName, name); error != 0)
        return error;
    TempName.clear();
    return 0;
}

void PendingOutput::discard() {
    Unnamed.reset();
    if (!TempName.empty()) removeQuietly(DirFd, TempName);
    TempName.clear();
}

std::uint64_t fileSystemOf(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_dev) : 0;
}

UniqueFd duplicate(int fd) { return UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0)); }

int pathKind(const std::string &path, PathKind &kind) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return errno;
    kind = S_ISDIR(info.st_mode)   ? PathKind::Directory
           : S_ISREG(info.st_mode) ? PathKind::RegularFile
                                   : PathKind::Other;
    return 0;
}

void removeQuietly(int dirFd, const std::string &name) { ::unlinkat(dirFd, name.c_str(), 0); }

std::string systemReason(int error) { return std::system_category().message(error); }

} // namespace qm::batch
