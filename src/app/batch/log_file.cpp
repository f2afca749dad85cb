#include "app/batch/log_file.hpp"

#include <cstdint>
#include <unordered_set>

namespace qm::batch {

namespace {

constexpr std::size_t FlushThreshold = 64 * 1024;

std::unordered_set<std::string> logNamesIn(const Directory &dirHandle,
                                           const std::filesystem::path &dir) {
    DirectoryListing listing;
    if (const int error = listDirectory(dirHandle, listing); error != 0)
        throw LogError("cannot read the log directory " + pathText(dir) + ": " +
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
    const Directory dirHandle = Directory::open(dir, error);
    if (!dirHandle.valid())
        throw LogError("cannot open the log directory " + pathText(dir) + ": " +
                       systemReason(error));
    const std::unordered_set<std::string> taken = logNamesIn(dirHandle, dir);
    for (std::int64_t n = 0;; ++n) {
        const std::string name = logFileName(n);
        if (taken.count(name) != 0) continue;
        // Never replaces: a name that appeared meanwhile (or, on a file system blind to case,
        // one that differs only in case) moves on to the next number.
        UniqueHandle file = createNewFile(dirHandle, name, error);
        if (file.valid()) return LogFile(std::move(file), dir / name);
        if (!isAlreadyExists(error))
            throw LogError("cannot create the log file " + pathText(dir / name) + ": " +
                           systemReason(error));
    }
}

void LogFile::writeLine(std::string_view line) {
    if (Error != 0) return;
    Buffer += line;
    Buffer += "\r\n";
    if (Buffer.size() >= FlushThreshold) writeBuffer();
}

void LogFile::writeBuffer() {
    Error = writeAll(
        Fd.get(), std::span(reinterpret_cast<const std::uint8_t *>(Buffer.data()), Buffer.size()),
        &Written);
    Buffer.clear();
}

void LogFile::flush() {
    if (Error == 0 && !Fd.valid()) throw LogError("the log file " + pathText(Path) + " is closed");
    if (Error == 0) writeBuffer();
    if (Error != 0)
        throw LogError("cannot write the log file " + pathText(Path) + ": " + systemReason(Error));
}

void LogFile::close() {
    flush();
    Error = flushToDisk(Fd.get());
    if (const int closeError = Fd.reset(); Error == 0) Error = closeError;
    if (Error != 0)
        throw LogError("cannot write the log file " + pathText(Path) + ": " + systemReason(Error));
}

void LogFile::removeIfEmpty() {
    if (Written != 0) return;
    Fd.reset();
    std::error_code ignored;
    std::filesystem::remove(Path, ignored);
}

} // namespace qm::batch
