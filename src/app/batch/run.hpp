// One batch run: every NW file under a source directory (or one NW file) converted into an NWC
// file beside it, messages and a summary in a new log file. Used by the command line and by the
// desktop window, which calls it from a worker thread. No global state: two runs may go on at
// once in one process as long as they use different log directories.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/batch/log_file.hpp"
#include "convert/passes.hpp"
#include "core/messages.hpp"

namespace qm::batch {

// What the files in flight may hold at once: read ahead, counted as an estimate of each
// conversion's peak from its input's size; converting, counted as each model grows, with what
// its writers will hold (see MemoryGate). A file larger alone still converts, as if alone.
constexpr std::uint64_t DefaultMaxBytesInFlight = 24u * 1024u * 1024u;

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
    // Asked between files; true ends the run after the file in hand, without a summary.
    std::function<bool()> StopRequested;
    std::uint64_t MaxBytesInFlight = DefaultMaxBytesInFlight;
};

// The run as it stands, handed to the observer.
struct RunProgress {
    std::int32_t FilesCreated = 0;
    std::int32_t ErrorCount = 0;
    std::int32_t WarningCount = 0;
    std::int64_t FilesDone = 0; // NW files finished, converted or not
    std::string CurrentFile;    // path of the file being converted, empty between files
};

// A file the run could not read or write. The run reports it and goes on with the next file.
struct IoFailure {
    std::filesystem::path Path; // the input, or the output that could not be written
    std::string Reason;         // the system's reason, or why the file was refused
};

enum class FileStatus { Converted, NotConverted, Skipped };

// What became of one entry the walk met: an NW file, a name the name rule passes over, an
// entry that is not a regular file, or a directory that could not be read.
struct FileRecord {
    std::string Source;
    std::vector<std::string> Outputs;
    FileStatus Status = FileStatus::Converted;
    std::string Reason; // empty when converted
    MessageCounts Counts;
    int MusicXmlOmitted = 0; // elements its MusicXML output could not express
};

struct RunResult;

// Called on the thread that runs the run. Every method has an empty default. An exception
// from onFileDone or beforeSummary (a report that cannot be written) stops the run: the log
// ends with "*** Run stopped: <what> ***" and no summary, and runBatch throws RunFailure.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // After the log file is created, before the first file.
    virtual void onLogCreated(const std::filesystem::path &logPath) { (void)logPath; }
    // When a file starts, whenever a count rises, and when a file ends.
    virtual void onProgress(const RunProgress &progress) { (void)progress; }
    // For each input that could not be converted because of the file system or its size.
    virtual void onIoFailure(const IoFailure &failure) { (void)failure; }
    // For each MusicXML output that left out elements it could not express (the log says it
    // under the file's heading, the record counts it).
    virtual void onMusicXmlOmissions(const std::filesystem::path &output, int count) {
        (void)output;
        (void)count;
    }
    // For every entry the walk met, in walk order, once it is settled.
    virtual void onFileDone(const FileRecord &record) { (void)record; }
    // Once every output is on the disk, just before the log gets its summary: `result` is
    // complete but for its summary lines.
    virtual void beforeSummary(const RunResult &result) { (void)result; }
};

struct RunResult {
    std::filesystem::path LogPath;
    std::int32_t FilesCreated = 0;            // every output file, of every format
    MessageCounts Counts;                     // ErrorCount, WarningCount and the frequencies
    std::vector<IoFailure> IoFailures;        // files not converted, in walk order
    std::vector<IoFailure> DirectoryFailures; // directories that could not be read
    std::int64_t FilesSkipped = 0;            // entries passed over, each with its reason
    bool Interrupted = false;                 // stopped on request; the log has no summary
    std::vector<std::string> SummaryLines;    // the lines written at the end of the log

    // Every selected file was converted (with or without messages).
    bool everythingConverted() const { return IoFailures.empty() && DirectoryFailures.empty(); }
};

// SOURCE does not exist, is neither a directory nor a regular file, or is a file whose name is
// not an NW file name; or LOG DIR is missing or not a directory. Nothing was written.
struct SourceError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A failure that stopped the run: before the first file (nothing was written), or later (the
// log names every output made so far, and has no summary).
struct RunFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// How many NW files a run over `source` would convert, found by a walk of the names alone; nothing
// when that walk takes longer than `budget` (or cannot be made).
std::optional<std::int64_t> countNwFiles(const std::filesystem::path &source,
                                         std::chrono::milliseconds budget);

// Throws SourceError, RunFailure or LogError; every other failure is reported and the run goes
// on. A log that the run could not write a byte into is removed.
RunResult runBatch(const RunOptions &options, RunObserver *observer = nullptr);

} // namespace qm::batch
