#include "app/batch/log_file.hpp"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>
#include <unordered_set>

namespace qm::batch {

namespace {

constexpr std::size_t FlushThreshold = 64 * 1024;

std::unordered_set<std::string> logNamesIn(int dirFd, const std::filesystem::path &dir) {
    DirectoryListing listing;
    if (const int error = listDirectory(dirFd, listing); error != 0)
        throw LogError("cannot read the log directory " + dir.string() + ": " +
                       systemReason(error));
    std::unordered_set<std::string> names;
    for (const std::string &name : listing.Files)
        if (name.starts_with("Quillmark_")) names.insert(name);
    for (const std::string &name : listing.Subdirectories)
        if (name.starts_with("Quillmark_")) names.insert(name);
    return names;
}

} // namespace

LogFile LogFile::create(const std::filesystem::path &dir) {
    int error = 0;
    const UniqueFd dirFd = openDirectory(AT_FDCWD, dir.string(), error);
    if (!dirFd.valid())
        throw LogError("cannot open the log directory " + dir.string() + ": " +
                       systemReason(error));
    const std::unordered_set<std::string> taken = logNamesIn(dirFd.get(), dir);
    for (std::int64_t n = 0;; ++n) {
        const std::string name = logFileName(n);
        if (taken.count(name) != 0) continue;
        UniqueFd fd(::openat(dirFd.get(), name.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666));
        if (fd.valid()) return LogFile(std::move(fd), dir / name);
        if (errno != EEXIST)
            throw LogError("cannot create the log file " + (dir / name).string() + ": " +
                           systemReason(errno));
    }
}

void LogFile::writeLine(std::string_view line) {
    if (Error != 0) return;
    Buffer += line;
    Buffer += "\r\n";
    if (Buffer.size() >= FlushThreshold) writeBuffer();
}

void LogFile::writeBuffer() {
    std::string_view rest = Buffer;
    while (!rest.empty() && Error == 0) {
        const ssize_t n = ::write(Fd.get(), rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            Error = errno;
        else {
            rest.remove_prefix(static_cast<std::size_t>(n));
            Written += static_cast<std::uint64_t>(n);
        }
    }
    Buffer.clear();
}

void LogFile::flush() {
    if (Error == 0 && !Fd.valid()) Error = EBADF;
    if (Error == 0) writeBuffer();
    if (Error != 0)
        throw LogError("cannot write the log file " + Path.string() + ": " + systemReason(Error));
}

void LogFile::close() {
    flush();
    if (::fdatasync(Fd.get()) != 0 && errno != EINVAL) Error = errno;
    if (const int closeError = Fd.reset(); Error == 0) Error = closeError;
    if (Error != 0)
        throw LogError("cannot write the log file " + Path.string() + ": " + systemReason(Error));
}

void LogFile::removeIfEmpty() {
    if (Written != 0) return;
    Fd.reset();
    std::error_code ignored;
    std::filesystem::remove(Path, ignored);
}

} // namespace qm::batch
