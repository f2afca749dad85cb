// One batch run: every NW file under a source directory (or one NW file) converted into an NWC
// file beside it, messages and a summary in a new log file. Used by the command line and by the
// desktop window, which calls it from a worker thread. No global state: two runs may go on at
// once in one process as long as they use different log directories.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/batch/log_file.hpp"
#include "convert/passes.hpp"
#include "core/messages.hpp"

namespace qm::batch {

struct RunOptions {
    // A directory (walked with all its subdirectories) or a single file named like "x.nw".
    std::filesystem::path Source;
    // Where the new Quillmark_<n>.log goes; must exist.
    std::filesystem::path LogDir;
    // How many scores convert at once, on worker threads; 1 converts one after the other on
    // the calling thread. The log and the outputs are the same either way.
    unsigned Jobs = 1;
    // Which files go beside each input: the NWC file, the MusicXML file, or both. The log is
    // the same whichever are written.
    OutputFormats Formats;
};

// The run as it stands, handed to the observer.
struct RunProgress {
    std::int32_t FilesCreated = 0;
    std::int32_t ErrorCount = 0;
    std::int32_t WarningCount = 0;
    std::string CurrentFile; // path of the file being converted, empty between files
};

// A file the run could not read or write. The run reports it and goes on with the next file.
struct IoFailure {
    std::filesystem::path Path; // the input, or the output that could not be written
    std::string Reason;         // the system's reason, or why the file was refused
};

// Called on the thread that runs the run. Every method has an empty default.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // After the log file is created, before the first file.
    virtual void onLogCreated(const std::filesystem::path &logPath) { (void)logPath; }
    // When a file starts, whenever a count rises, and when a file ends.
    virtual void onProgress(const RunProgress &progress) { (void)progress; }
    // For each input that could not be converted because of the file system or its size.
    virtual void onIoFailure(const IoFailure &failure) { (void)failure; }
    // For each MusicXML output that left out elements it could not express (not logged: the
    // log is that of the NWC conversion).
    virtual void onMusicXmlOmissions(const std::filesystem::path &output, int count) {
        (void)output;
        (void)count;
    }
};

struct RunResult {
    std::filesystem::path LogPath;
    std::int32_t FilesCreated = 0;
    MessageCounts Counts;                  // ErrorCount, WarningCount and the frequencies
    std::vector<IoFailure> IoFailures;     // files skipped, in walk order
    std::vector<std::string> SummaryLines; // the summary as written at the end of the log
};

// SOURCE does not exist, is neither a directory nor a regular file, or is a file whose name is
// not an NW file name; or LOG DIR is not a directory. Nothing was written.
struct SourceError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws SourceError or LogError; every other failure is reported and the run goes on.
RunResult runBatch(const RunOptions &options, RunObserver *observer = nullptr);

} // namespace qm::batch
