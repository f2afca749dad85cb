#include "app/batch/files.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

InputFile readInput(int dirFd, const std::string &name) {
    InputFile input;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
        input.Error = errno;
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

int createPlaceholder(int dirFd, const std::string &name) {
    UniqueFd fd(::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.valid()) return errno;
    return fd.reset();
}

TemporaryNames::TemporaryNames() : Random(std::random_device{}()) {}

std::string TemporaryNames::next() {
    char text[40];
    std::snprintf(text, sizeof text, ".quillmark-%016llx.tmp",
                  static_cast<unsigned long long>(Random()));
    return text;
}

int writeTemporary(int dirFd, std::span<const std::uint8_t> bytes, TemporaryNames &names,
                   std::string &tempName) {
    UniqueFd fd;
    for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
        tempName = names.next();
        fd = UniqueFd(
            ::openat(dirFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd.valid() && errno != EEXIST) return errno;
    }
    if (!fd.valid()) return EEXIST;
    int error = writeAll(fd.get(), bytes);
    const int closeError = fd.reset();
    if (error == 0) error = closeError;
    if (error != 0) removeQuietly(dirFd, tempName);
    return error;
}

int moveNoReplace(int dirFd, const std::string &tempName, const std::string &name) {
    if (::renameat2(dirFd, tempName.c_str(), dirFd, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // The file system has no no-replace rename: link() never replaces either.
    if (::linkat(dirFd, tempName.c_str(), dirFd, name.c_str(), 0) != 0) return errno;
    removeQuietly(dirFd, tempName);
    return 0;
}

void removeQuietly(int dirFd, const std::string &name) { ::unlinkat(dirFd, name.c_str(), 0); }

std::string systemReason(int error) {
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer); // the GNU form returns the text
}

} // namespace qm::batch
