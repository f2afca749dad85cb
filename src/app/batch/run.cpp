#include "app/batch/run.hpp"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "app/batch/file_message_log.hpp"
#include "app/batch/files.hpp"
#include "app/batch/log_file.hpp"
#include "app/batch/naming.hpp"
#include "app/batch/platform.hpp"
#include "app/batch/summary.hpp"
#include "app/batch/workers.hpp"

namespace qm::batch {

namespace {

namespace fs = std::filesystem;

// Attempts at a free output name when other processes keep taking the chosen one.
constexpr int MaxNameAttempts = 1000;

// A conversion's peak memory as a multiple of its input: the input, the score built from it,
// the output and the messages kept. Inputs that are no score at all build the largest scores
// (about five times their size).
constexpr std::uint64_t ConversionCostFactor = 6;
constexpr std::uint64_t ConversionBaseCost = 64 * 1024;

// The absolute form of a path given by the user, without a trailing separator.
std::string shownPath(const fs::path &path) {
    std::string text;
    if (const int error = displayPath(path, text); error != 0)
        throw RunFailure("cannot tell where " + escapeControlChars(pathText(path)) +
                         " is (the current directory is gone?): " + systemReason(error));
    return text;
}

// An open directory of the walk, kept alive while any of its files is in flight.
struct WalkDirectory {
    Directory Handle;
    std::string Path;
    TakenNames Taken;        // every name in it, outputs added as they are chosen
    bool HasOutputs = false; // its file system is known to syncOutputs
};
using DirectoryRef = std::shared_ptr<WalkDirectory>;

// One directory on the walk's stack: its subdirectories still to visit.
struct WalkLevel {
    DirectoryRef Dir;
    std::vector<std::string> Subdirectories;
    std::size_t Next = 0;
};

enum class EntryKind { Convert, Refused, Skipped, UnreadableDirectory };

// An entry the walk met, waiting in walk order for its turn to be written and logged.
struct PendingFile {
    EntryKind Kind = EntryKind::Convert;
    DirectoryRef Dir;
    std::string Name;
    std::string Path;            // the source as the log names it
    std::string OutName;         // the NWC output, when asked for
    std::string MusicXmlName;    // the MusicXML output, when asked for
    RecordedMessages NameChoice; // messages of choosing the output name
    std::string Reason;          // why it was refused or skipped
    std::uint64_t Cost = 0;      // counted in the bytes in flight
    std::future<Conversion> Result;
};

// An entry that is not converted: skipped, or a directory that could not be read.
PendingFile entryNotConverted(EntryKind kind, std::string path, std::string reason) {
    PendingFile file;
    file.Kind = kind;
    file.Path = std::move(path);
    file.Reason = std::move(reason);
    return file;
}

std::string failureText(const std::exception_ptr &failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &error) {
        return error.what();
    } catch (...) {
        return "unknown failure";
    }
}

// Why a name that ends in ".nw" is not converted.
std::string nameRuleReason(const std::string &name) {
    if (lowerCase(name).find(".nwc") != std::string::npos)
        return "the name holds \".nwc\", skipped";
    return "the name holds \".nw\" more than once, skipped";
}

bool endsInNw(const std::string &name) { return lowerCase(name).ends_with(".nw"); }

class Run {
public:
    Run(const RunOptions &options, RunObserver *observer)
        : Options(options), Observer(observer), Log(LogFile::create(options.LogDir)),
          Workers(options.Jobs, options.MaxBytesInFlight) {
        Result.LogPath = Log.path();
        if (Observer) Observer->onLogCreated(Result.LogPath);
    }
    ~Run() { Workers.cancelQueued(); }

    RunResult convertDirectory(Directory root, std::string rootPath);
    RunResult convertSingleFile(DirectoryRef dir, const std::string &name);
    // After a failure: a log without a byte in it is not left behind.
    void abandon() { Log.removeIfEmpty(); }

private:
    bool stopping();
    void enterDirectory(std::vector<WalkLevel> &stack, DirectoryRef dir);
    void visitFile(const DirectoryRef &dir, const std::string &name);
    void makeRoom(std::uint64_t cost);
    bool oldestIsDone() const;
    void enqueue(PendingFile file);
    void finishOldest();
    void finishAll();
    void finishFile(PendingFile &file);
    bool storeOutputs(PendingFile &file, Conversion &conversion, FileMessageLog &messages,
                      std::vector<std::string> &written);
    int nameOutput(WalkDirectory &dir, WrittenOutput &output, std::string &outName,
                   const std::function<std::string()> &nextName);
    void notePublished(const DirectoryRef &dir);
    void reportFailure(FileMessageLog &messages, const std::string &source,
                       const std::string &failedPath, std::string reason, bool isDirectory = false);
    void settle(FileRecord record);
    [[noreturn]] void stopRun(const std::string &reason);
    void notify(const std::string &currentFile);
    void syncOutputs();
    RunResult finish();
    RunResult finishInterrupted();

    const RunOptions &Options;
    RunObserver *Observer;
    LogFile Log;
    MessageCounts Counts;
    std::int32_t FilesCreated = 0;
    std::int64_t FilesDone = 0;
    RunResult Result;
    TemporaryNames TempNames;
    ConversionWorkers Workers;
    std::deque<PendingFile> InFlight; // in the order the walk met them
    std::uint64_t BytesInFlight = 0;
    bool Stopped = false;
    std::map<std::uint64_t, DirectoryRef> OutputFileSystems; // one directory on each
};

bool Run::stopping() {
    if (!Stopped && Options.StopRequested && Options.StopRequested()) Stopped = true;
    return Stopped;
}

void Run::notify(const std::string &currentFile) {
    if (!Observer) return;
    RunProgress progress;
    progress.FilesCreated = FilesCreated;
    progress.ErrorCount = Counts.ErrorCount;
    progress.WarningCount = Counts.WarningCount;
    progress.FilesDone = FilesDone;
    progress.CurrentFile = currentFile;
    Observer->onProgress(progress);
}

void Run::settle(FileRecord record) {
    if (record.Status == FileStatus::Skipped) ++Result.FilesSkipped;
    if (!Observer) return;
    try {
        Observer->onFileDone(record);
    } catch (const std::exception &error) {
        stopRun(error.what());
    }
}

// A failure that ends the run where it is: said in the log, which gets no summary.
void Run::stopRun(const std::string &reason) {
    Log.writeLine("*** Run stopped: " + escapeControlChars(reason) + " ***");
    Log.flush();
    throw RunFailure(reason + "; the log has no summary");
}

// A file the run could not handle: one plain line under its heading, a record in the result,
// the observer told. Not a numbered message and not counted. `failedPath` is the source, or
// the output that could not be written.
void Run::reportFailure(FileMessageLog &messages, const std::string &source,
                        const std::string &failedPath, std::string reason, bool isDirectory) {
    messages.logPlainLine("   Not converted: " + failedPath + ": " + reason);
    IoFailure failure{pathFromText(failedPath), reason};
    if (Observer && !isDirectory) Observer->onIoFailure(failure);
    (isDirectory ? Result.DirectoryFailures : Result.IoFailures).push_back(std::move(failure));
    Log.flush();
    settle({source, {}, FileStatus::NotConverted, std::move(reason), messages.fileCounts()});
}

RunResult Run::convertDirectory(Directory root, std::string rootPath) {
    // Depth-first: a directory's files, then each subdirectory in turn. An explicit stack keeps
    // deep trees off the call stack; links to directories are never entered, so no loop. Files
    // stay in flight across directories; each holds its directory open.
    std::vector<WalkLevel> stack;
    enterDirectory(stack, std::make_shared<WalkDirectory>(
                              WalkDirectory{std::move(root), std::move(rootPath), {}}));
    while (!stack.empty() && !stopping()) {
        WalkLevel &top = stack.back();
        if (top.Next == top.Subdirectories.size()) {
            stack.pop_back();
            continue;
        }
        const std::string &name = top.Subdirectories[top.Next++];
        std::string path = joinPath(top.Dir->Path, name);
        int error = 0;
        Directory dir = top.Dir->Handle.openSubdirectory(name, error);
        if (!dir.valid()) {
            // Replaced by a link or a file since it was listed: not a directory to walk.
            if (!isNotADirectory(error))
                enqueue(entryNotConverted(EntryKind::UnreadableDirectory, path,
                                          "cannot read the directory: " + systemReason(error)));
            continue;
        }
        enterDirectory(stack, std::make_shared<WalkDirectory>(
                                  WalkDirectory{std::move(dir), std::move(path), {}}));
    }
    return finish();
}

void Run::enterDirectory(std::vector<WalkLevel> &stack, DirectoryRef dir) {
    DirectoryListing listing;
    if (const int error = listDirectory(dir->Handle, listing); error != 0) {
        enqueue(entryNotConverted(EntryKind::UnreadableDirectory, dir->Path,
                                  "cannot read the directory: " + systemReason(error)));
        return;
    }
    removeLeftoverTemporaries(dir->Handle, listing.Files);
    dir->Taken = std::move(listing.Taken);
    for (const std::string &name : listing.Files) {
        if (stopping()) return;
        if (okFileName(name))
            visitFile(dir, name);
        else if (endsInNw(name))
            enqueue(entryNotConverted(EntryKind::Skipped, joinPath(dir->Path, name),
                                      nameRuleReason(name)));
    }
    stack.push_back(WalkLevel{std::move(dir), std::move(listing.Subdirectories)});
}

RunResult Run::convertSingleFile(DirectoryRef dir, const std::string &name) {
    DirectoryListing listing;
    if (const int error = listDirectory(dir->Handle, listing); error != 0)
        enqueue(entryNotConverted(EntryKind::UnreadableDirectory, dir->Path,
                                  "cannot read the directory: " + systemReason(error)));
    else {
        dir->Taken = std::move(listing.Taken);
        visitFile(dir, name);
    }
    return finish();
}

// Finishes the oldest files in flight that are converted already, so the log and the progress
// keep up with the walk, then waits for more only until `cost` more bytes fit and the window
// has room (or nothing is left).
void Run::makeRoom(std::uint64_t cost) {
    while (!InFlight.empty() && !stopping() &&
           (oldestIsDone() || InFlight.size() >= Workers.window() ||
            BytesInFlight + cost > Options.MaxBytesInFlight))
        finishOldest();
}

bool Run::oldestIsDone() const {
    const std::future<Conversion> &result = InFlight.front().Result;
    return !result.valid() || result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// Reads the file, chooses its output name and hands it to the workers.
void Run::visitFile(const DirectoryRef &dir, const std::string &name) {
    PendingFile file;
    file.Dir = dir;
    file.Name = name;
    file.Path = joinPath(dir->Path, name);
    // STEP 1: read the whole input once there is room for it; only regular files of a
    // plausible size are converted.
    InputFile input = readInput(dir->Handle, name, [&](std::uint64_t size) {
        if (size > MaxInputBytes) return;
        file.Cost = ConversionCostFactor * size + ConversionBaseCost;
        makeRoom(file.Cost);
    });
    if (input.Status == InputStatus::NotRegularFile) {
        file.Kind = EntryKind::Skipped;
        file.Reason = "not a regular file, skipped";
    } else if (input.Status == InputStatus::ForeignLink) {
        file.Kind = EntryKind::Skipped;
        file.Reason = "a link to another owner's file, not followed when run as root, skipped";
    } else if (input.Status == InputStatus::TooLarge) {
        file.Kind = EntryKind::Refused;
        file.Reason =
            "larger than 16 MiB (" + std::to_string(input.Size) + " bytes), not an NW score";
    } else if (input.Status == InputStatus::Failed) {
        file.Kind = EntryKind::Refused;
        file.Reason = "cannot read: " + systemReason(input.Error);
    } else if (!stopping()) {
        // STEP 2: choose the output names; each is reserved at once, so the next name choice
        // sees it.
        if (Options.Formats.Nwc) {
            file.OutName = addSubscript(name, dir->Taken, file.NameChoice);
            dir->Taken.add(file.OutName);
        }
        if (Options.Formats.MusicXml) {
            file.MusicXmlName = musicXmlName(name, dir->Taken);
            dir->Taken.add(file.MusicXmlName);
        }
        // STEP 3: convert, and write the outputs without their names, on a worker when
        // there are any.
        file.Result =
            Workers.submit(std::move(input.Bytes), Options.Formats,
                           OutputPlace{std::shared_ptr<const Directory>(dir, &dir->Handle),
                                       &TempNames, input.Mode});
    } else {
        return;
    }
    if (file.Kind != EntryKind::Convert) file.Cost = 0;
    enqueue(std::move(file));
}

void Run::enqueue(PendingFile file) {
    makeRoom(file.Cost);
    if (stopping()) return;
    BytesInFlight += file.Cost;
    InFlight.push_back(std::move(file));
}

void Run::finishAll() {
    while (!InFlight.empty() && !stopping())
        finishOldest();
}

void Run::finishOldest() {
    PendingFile file = std::move(InFlight.front());
    InFlight.pop_front();
    BytesInFlight -= file.Cost;
    finishFile(file);
}

// Logs one entry and writes its output.
void Run::finishFile(PendingFile &file) {
    if (file.Kind == EntryKind::Skipped)
        return settle({file.Path, {}, FileStatus::Skipped, file.Reason, {}});
    FileMessageLog messages(file.Path, Counts,
                            [this](std::string_view line) { Log.writeLine(line); });
    if (file.Kind == EntryKind::UnreadableDirectory)
        return reportFailure(messages, file.Path, file.Path, file.Reason, true);
    ++FilesDone;
    messages.onCountsChanged = [&](const MessageCounts &) { notify(file.Path); };
    notify(file.Path);
    if (file.Kind == EntryKind::Refused) {
        reportFailure(messages, file.Path, file.Path, file.Reason);
        return notify("");
    }

    file.NameChoice.replay(messages);
    Conversion conversion = file.Result.get();
    if (conversion.Failure) {
        reportFailure(messages, file.Path, file.Path,
                      "conversion failed: " + failureText(conversion.Failure));
        return notify("");
    }
    conversion.Messages.replay(messages);

    // STEP 4: the log names the file before its output exists, so a log that cannot be
    // written stops the run before an output it would not name.
    try {
        Log.flush();
    } catch (const LogError &error) {
        throw LogError(std::string(error.what()) + "; stopped before writing the output of " +
                       escapeControlChars(file.Path));
    }
    // STEP 5: the outputs, each written in full by the worker, take their names.
    std::vector<std::string> written;
    if (!storeOutputs(file, conversion, messages, written)) return notify("");
    FilesCreated += static_cast<std::int32_t>(written.size());
    settle({file.Path,
            std::move(written),
            FileStatus::Converted,
            {},
            messages.fileCounts(),
            Options.Formats.MusicXml ? conversion.MusicXmlOmitted : 0});
    notify("");
}

// Each output, written in full to a file without a name, takes the chosen name, never
// replacing anything; on failure no partial file stays. A score's outputs are all put in place
// or none is: when one cannot be written or named, those already named are removed again, so
// a score reported as not converted has no output on the disk. False in that case.
bool Run::storeOutputs(PendingFile &file, Conversion &conversion, FileMessageLog &messages,
                       std::vector<std::string> &written) {
    WalkDirectory &dir = *file.Dir;
    struct Output {
        bool Wanted;
        WrittenOutput &File;
        std::string &Name;
        std::function<std::string()> NextName;
    };
    const Output outputs[] = {
        {Options.Formats.Nwc, conversion.NwcFile, file.OutName,
         [&] { return addSubscript(file.Name, dir.Taken, messages); }},
        {Options.Formats.MusicXml, conversion.MusicXmlFile, file.MusicXmlName,
         [&] { return musicXmlName(file.Name, dir.Taken); }},
    };
    // An output its worker could not write: none is named.
    for (const Output &output : outputs) {
        if (output.Wanted && output.File.Error != 0) {
            reportFailure(messages, file.Path, joinPath(dir.Path, output.Name),
                          "cannot write: " + systemReason(output.File.Error));
            return false;
        }
    }
    std::vector<PendingOutput *> named;
    for (const Output &output : outputs) {
        if (!output.Wanted) continue;
        if (const int error = nameOutput(dir, output.File, output.Name, output.NextName);
            error != 0) {
            for (PendingOutput *done : named)
                done->withdraw();
            reportFailure(messages, file.Path, joinPath(dir.Path, output.Name),
                          "cannot write: " + systemReason(error));
            return false;
        }
        named.push_back(output.File.File.get());
        written.push_back(joinPath(dir.Path, output.Name));
    }
    if (!named.empty()) notePublished(file.Dir);
    if (Options.Formats.MusicXml && conversion.MusicXmlOmitted > 0 && Observer)
        Observer->onMusicXmlOmissions(joinPath(dir.Path, file.MusicXmlName),
                                      conversion.MusicXmlOmitted);
    return true;
}

int Run::nameOutput(WalkDirectory &dir, WrittenOutput &output, std::string &outName,
                    const std::function<std::string()> &nextName) {
    if (output.Error != 0) return output.Error;
    for (int attempt = 0; attempt < MaxNameAttempts; ++attempt) {
        const int error = output.File->publish(outName);
        if (!isAlreadyExists(error)) return error;
        // Someone else made a file of that name since the directory was listed: next name.
        dir.Taken.add(outName);
        outName = nextName();
        dir.Taken.add(outName);
    }
    return ErrorAlreadyExists;
}

// Remembers one directory on each file system that received an output, for syncOutputs; a
// directory is asked for its file system once, not for every output.
void Run::notePublished(const DirectoryRef &dir) {
    if (dir->HasOutputs) return;
    dir->HasOutputs = true;
    const std::uint64_t fileSystem = fileSystemOf(dir->Handle);
    if (OutputFileSystems.count(fileSystem) == 0) OutputFileSystems.emplace(fileSystem, dir);
}

// Puts every output on the disk, once per file system, so that a log with a summary promises
// that every output it names is stored.
void Run::syncOutputs() {
    for (const auto &[fileSystem, dir] : OutputFileSystems)
        if (const int error = syncFileSystem(dir->Handle); error != 0)
            stopRun("the outputs could not be put on the disk: " + systemReason(error));
}

RunResult Run::finishInterrupted() {
    Workers.cancelQueued();
    InFlight.clear();
    const std::string line =
        "*** Run interrupted after " + countOf(FilesDone, "file", "files") + " ***";
    Log.writeLine(line);
    Log.close();
    Result.SummaryLines = {line};
    Result.Interrupted = true;
    Result.FilesCreated = FilesCreated;
    Result.Counts = Counts;
    notify("");
    return std::move(Result);
}

RunResult Run::finish() {
    finishAll();
    if (stopping()) return finishInterrupted();
    syncOutputs();
    Result.FilesCreated = FilesCreated;
    Result.Counts = Counts;
    if (Observer) {
        try {
            Observer->beforeSummary(Result);
        } catch (const std::exception &error) {
            stopRun(error.what());
        }
    }
    Result.SummaryLines = summaryLines(FilesCreated, Counts);
    for (const std::string &line : Result.SummaryLines)
        Log.writeLine(line);
    Log.close();
    notify("");
    return std::move(Result);
}

void checkLogDir(const fs::path &logDir) {
    const std::string shown = escapeControlChars(pathText(logDir));
    PathKind kind{};
    if (const int error = pathKind(logDir, kind); isNotFound(error))
        throw SourceError("log directory " + shown + " does not exist");
    else if (error != 0)
        throw SourceError("log directory " + shown + ": " + systemReason(error));
    if (kind != PathKind::Directory)
        throw SourceError("log directory " + shown + " is not a directory");
}

Directory openDirectoryOrThrow(const fs::path &path) {
    int error = 0;
    Directory dir = Directory::open(path, error);
    if (!dir.valid())
        throw RunFailure("cannot open " + escapeControlChars(pathText(path)) + ": " +
                         systemReason(error));
    return dir;
}

} // namespace

RunResult runBatch(const RunOptions &options, RunObserver *observer) {
    // STEP 1: what the source is; nothing is written when it is not usable.
    checkLogDir(options.LogDir);
    const std::string shownSource = escapeControlChars(pathText(options.Source));
    PathKind kind{};
    if (const int error = pathKind(options.Source, kind); isNotFound(error))
        throw SourceError(shownSource + " does not exist");
    else if (error != 0)
        throw SourceError(shownSource + ": " + systemReason(error));
    if (kind == PathKind::Other)
        throw SourceError(shownSource + ": neither a directory nor a regular file");
    const bool isDirectory = kind == PathKind::Directory;
    const std::string fileName = pathText(options.Source.filename());
    if (!isDirectory && !okFileName(fileName))
        throw SourceError(shownSource + ": not an NW file name (name.nw)");
    const fs::path directory = isDirectory                        ? options.Source
                               : options.Source.has_parent_path() ? options.Source.parent_path()
                                                                  : fs::path(".");
    std::string directoryPath = shownPath(directory);
    Directory directoryHandle = openDirectoryOrThrow(directory);

    // STEP 2: fresh counters and a new log (the expression word lists are constant tables),
    // named by its absolute path.
    RunOptions resolved = options;
    resolved.LogDir = pathFromText(shownPath(options.LogDir));
    platform::raiseOpenFileLimit();
    platform::returnFreedMemory();
    Run run(resolved, observer);

    // STEP 3: convert, then the summary.
    try {
        if (isDirectory) return run.convertDirectory(std::move(directoryHandle), directoryPath);
        auto dir = std::make_shared<WalkDirectory>(
            WalkDirectory{std::move(directoryHandle), std::move(directoryPath), {}});
        return run.convertSingleFile(std::move(dir), fileName);
    } catch (...) {
        run.abandon();
        throw;
    }
}

} // namespace qm::batch
