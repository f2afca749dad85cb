// The run's log: a new file Quillmark_<n>.log, lines ended by CR LF.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/batch/files.hpp"

namespace qm::batch {

// The log file could not be created or written. The run stopped; outputs already made stay.
struct LogError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class LogFile {
public:
    // Creates the log with the smallest n whose name is not in the directory (exact case;
    // a file system blind to case may still refuse a name that differs only in case),
    // taking the next n when a name appears in the meantime. Throws LogError.
    static LogFile create(const std::filesystem::path &dir);

    // Buffers one line. A write failure is kept and reported by flush(); later lines are dropped.
    void writeLine(std::string_view line);
    // Writes what is buffered. Throws LogError on a failure, now or earlier.
    void flush();
    // Flushes, puts the log on the disk and closes. Throws LogError.
    void close();
    // Removes the log when not one byte of it was written (the run could not start). Quiet.
    void removeIfEmpty();

    const std::filesystem::path &path() const { return Path; }

private:
    LogFile(UniqueHandle fd, std::filesystem::path path)
        : Fd(std::move(fd)), Path(std::move(path)) {}
    void writeBuffer();

    UniqueHandle Fd;
    std::filesystem::path Path;
    std::string Buffer;
    std::uint64_t Written = 0; // bytes that reached the file
    int Error = 0;
};

} // namespace qm::batch
