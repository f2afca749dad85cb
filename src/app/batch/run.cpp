#include "app/batch/run.hpp"

#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>

#include "app/batch/file_message_log.hpp"
#include "app/batch/files.hpp"
#include "app/batch/log_file.hpp"
#include "app/batch/naming.hpp"
#include "app/batch/summary.hpp"
#include "app/batch/workers.hpp"
#include "convert/pipeline.hpp"
#include "core/score.hpp"

namespace qm::batch {

namespace {

namespace fs = std::filesystem;

// Attempts at a free output name when other processes keep taking the chosen one.
constexpr int MaxNameAttempts = 1000;

std::string joinPath(const std::string &dir, const std::string &name) {
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

// The absolute form of a path given by the user, without a trailing separator.
std::string displayPath(const fs::path &path) {
    std::string text = fs::absolute(path).lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

// One directory on the walk's stack: its subdirectories still to visit.
struct WalkLevel {
    UniqueFd Fd;
    std::string Path;
    std::vector<std::string> Subdirectories;
    std::size_t Next = 0;
};

// A file handed to the workers (or refused), waiting for its turn to be written and logged.
struct PendingFile {
    int DirFd = -1;
    std::string Name;
    std::string DirPath;
    TakenNames *Taken = nullptr; // the listing of its directory, alive until the directory ends
    std::string OutName;         // the NWC output, when asked for
    std::string MusicXmlName;    // the MusicXML output, when asked for
    RecordedMessages NameChoice; // messages of choosing the output name
    std::optional<std::string> Refusal; // why it was not converted at all
    std::future<Conversion> Result;
};

class Run {
public:
    Run(const RunOptions &options, RunObserver *observer)
        : Observer(observer), Formats(options.Formats), Log(LogFile::create(options.LogDir)),
          Workers(options.Jobs) {
        Result.LogPath = Log.path();
        if (Observer) Observer->onLogCreated(Result.LogPath);
    }

    RunResult convertDirectory(UniqueFd rootFd, const std::string &rootPath);
    RunResult convertSingleFile(const fs::path &file);

private:
    RunResult finish();
    void enterDirectory(std::vector<WalkLevel> &stack, UniqueFd fd, std::string path);
    void convertFile(int dirFd, const std::string &dirPath, const std::string &name,
                     TakenNames &taken);
    void finishOldest();
    void finishAll();
    bool storeOutputs(PendingFile &file, const Conversion &conversion, Messages &messages);
    int storeOutput(int dirFd, std::span<const std::uint8_t> bytes, TakenNames &taken,
                    std::string &outName, const std::function<std::string()> &nextName);
    void reportFailure(Messages &messages, const std::string &path, std::string reason);
    void abandonFile(Messages &messages, const std::string &path, std::string reason);
    void reportDirectoryFailure(const std::string &path, int error);
    void notify(const std::string &currentFile);

    RunObserver *Observer;
    OutputFormats Formats;
    LogFile Log;
    MessageCounts Counts;
    std::int32_t FilesCreated = 0;
    RunResult Result;
    TemporaryNames TempNames;
    ConversionWorkers Workers;
    std::deque<PendingFile> InFlight; // in the order the files were met
};

void Run::notify(const std::string &currentFile) {
    if (!Observer) return;
    RunProgress progress;
    progress.FilesCreated = FilesCreated;
    progress.ErrorCount = Counts.ErrorCount;
    progress.WarningCount = Counts.WarningCount;
    progress.CurrentFile = currentFile;
    Observer->onProgress(progress);
}

// A file the run could not handle: one plain line under its heading, a record in the result,
// the observer told. Not a numbered message and not counted.
void Run::reportFailure(Messages &messages, const std::string &path, std::string reason) {
    messages.logPlainLine(cut255("   Not converted: " + path + ": " + reason));
    IoFailure failure{path, std::move(reason)};
    if (Observer) Observer->onIoFailure(failure);
    Result.IoFailures.push_back(std::move(failure));
}

// The file ends here without output.
void Run::abandonFile(Messages &messages, const std::string &path, std::string reason) {
    reportFailure(messages, path, std::move(reason));
    Log.flush();
    notify("");
}

void Run::reportDirectoryFailure(const std::string &path, int error) {
    FileMessageLog messages(path, Counts, [this](std::string_view line) { Log.writeLine(line); });
    reportFailure(messages, path, "cannot read the directory: " + systemReason(error));
    Log.flush();
}

RunResult Run::convertDirectory(UniqueFd rootFd, const std::string &rootPath) {
    // Depth-first: a directory's files, then each subdirectory in turn. An explicit stack keeps
    // deep trees off the call stack; links to directories are never entered, so no loop.
    std::vector<WalkLevel> stack;
    enterDirectory(stack, std::move(rootFd), rootPath);
    while (!stack.empty()) {
        WalkLevel &top = stack.back();
        if (top.Next == top.Subdirectories.size()) {
            stack.pop_back();
            continue;
        }
        const std::string &name = top.Subdirectories[top.Next++];
        std::string path = joinPath(top.Path, name);
        int error = 0;
        UniqueFd fd = openDirectory(top.Fd.get(), name, error);
        if (!fd.valid()) {
            // Replaced by a link or a file since it was listed: not a directory to walk.
            if (error != ELOOP && error != ENOTDIR) reportDirectoryFailure(path, error);
            continue;
        }
        enterDirectory(stack, std::move(fd), std::move(path));
    }
    return finish();
}

void Run::enterDirectory(std::vector<WalkLevel> &stack, UniqueFd fd, std::string path) {
    DirectoryListing listing;
    if (const int error = listDirectory(fd.get(), listing); error != 0) {
        reportDirectoryFailure(path, error);
        return;
    }
    // The set stays sorted as names are added; outputs are added as they are made, so the
    // listing stays current without reading the directory again.
    for (const std::string &name : listing.Files)
        if (okFileName(name)) convertFile(fd.get(), path, name, listing.Taken);
    finishAll(); // the directory's descriptor and listing are about to go
    stack.push_back(WalkLevel{std::move(fd), std::move(path), std::move(listing.Subdirectories)});
}

RunResult Run::convertSingleFile(const fs::path &file) {
    const std::string dirPath = displayPath(file.has_parent_path() ? file.parent_path() : ".");
    int error = 0;
    const UniqueFd dirFd(::open(dirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DirectoryListing listing;
    error = dirFd.valid() ? listDirectory(dirFd.get(), listing) : errno;
    if (error != 0)
        reportDirectoryFailure(dirPath, error);
    else
        convertFile(dirFd.get(), dirPath, file.filename().string(), listing.Taken);
    finishAll();
    return finish();
}

// Reads the file, chooses its output name and hands it to the workers; the oldest files in
// flight are finished once enough are waiting.
void Run::convertFile(int dirFd, const std::string &dirPath, const std::string &name,
                      TakenNames &taken) {
    // STEP 1: read the whole input; only regular files of a plausible size are converted.
    InputFile input = readInput(dirFd, name);
    if (input.Status == InputStatus::NotRegularFile) return;
    PendingFile file;
    file.DirFd = dirFd;
    file.Name = name;
    file.DirPath = dirPath;
    file.Taken = &taken;
    if (input.Status == InputStatus::TooLarge) {
        file.Refusal =
            "larger than 16 MiB (" + std::to_string(input.Size) + " bytes), not an NW score";
    } else if (input.Status == InputStatus::Failed) {
        file.Refusal = "cannot read: " + systemReason(input.Error);
    } else {
        // STEP 2: choose the output names; each is reserved at once, so the next name choice
        // sees it.
        if (Formats.Nwc) {
            file.OutName = addSubscript(name, taken, file.NameChoice);
            taken.add(file.OutName);
        }
        if (Formats.MusicXml) {
            file.MusicXmlName = musicXmlName(name, taken);
            taken.add(file.MusicXmlName);
        }
        // STEP 3: convert in memory, on a worker when there are any.
        file.Result = Workers.submit(std::move(input.Bytes), Formats);
    }
    InFlight.push_back(std::move(file));
    while (InFlight.size() >= Workers.window())
        finishOldest();
}

void Run::finishAll() {
    while (!InFlight.empty())
        finishOldest();
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

// Logs the oldest file in flight and writes its output.
void Run::finishOldest() {
    PendingFile file = std::move(InFlight.front());
    InFlight.pop_front();
    const std::string currentFile = joinPath(file.DirPath, file.Name);
    FileMessageLog messages(currentFile, Counts,
                            [this](std::string_view line) { Log.writeLine(line); });
    messages.onCountsChanged = [&](const MessageCounts &) { notify(currentFile); };
    notify(currentFile);
    if (file.Refusal) return abandonFile(messages, currentFile, *file.Refusal);

    file.NameChoice.replay(messages);
    Conversion conversion = file.Result.get();
    if (conversion.Failure)
        return abandonFile(messages, currentFile,
                           "conversion failed: " + failureText(conversion.Failure));
    conversion.Messages.replay(messages);

    if (!storeOutputs(file, conversion, messages)) return;
    ++FilesCreated;
    Log.flush();
    notify("");
}

// STEP 4: each output's bytes go to a file without a name that then takes the chosen name,
// never replacing anything; on failure no partial file stays. Returns false when an output
// could not be written (the file has then been abandoned).
bool Run::storeOutputs(PendingFile &file, const Conversion &conversion, Messages &messages) {
    TakenNames &taken = *file.Taken;
    struct Output {
        bool Wanted;
        std::span<const std::uint8_t> Bytes;
        std::string &Name;
        std::function<std::string()> NextName;
    };
    const Output outputs[] = {
        {Formats.Nwc, conversion.Nwc, file.OutName,
         [&] { return addSubscript(file.Name, taken, messages); }},
        {Formats.MusicXml, conversion.MusicXml, file.MusicXmlName,
         [&] { return musicXmlName(file.Name, taken); }},
    };
    for (const Output &output : outputs) {
        if (!output.Wanted) continue;
        if (const int error =
                storeOutput(file.DirFd, output.Bytes, taken, output.Name, output.NextName);
            error != 0) {
            abandonFile(messages, joinPath(file.DirPath, output.Name),
                        "cannot write: " + systemReason(error));
            return false;
        }
    }
    if (Formats.MusicXml && conversion.MusicXmlOmitted > 0 && Observer)
        Observer->onMusicXmlOmissions(joinPath(file.DirPath, file.MusicXmlName),
                                      conversion.MusicXmlOmitted);
    return true;
}

int Run::storeOutput(int dirFd, std::span<const std::uint8_t> bytes, TakenNames &taken,
                     std::string &outName, const std::function<std::string()> &nextName) {
    PendingOutput output;
    if (const int error = output.write(dirFd, bytes, TempNames); error != 0) return error;
    for (int attempt = 0; attempt < MaxNameAttempts; ++attempt) {
        const int error = output.publish(outName);
        if (error != EEXIST) return error;
        // Someone else made a file of that name since the directory was listed: next name.
        taken.add(outName);
        outName = nextName();
        taken.add(outName);
    }
    return EEXIST;
}

RunResult Run::finish() {
    Result.SummaryLines = summaryLines(FilesCreated, Counts);
    for (const std::string &line : Result.SummaryLines)
        Log.writeLine(line);
    Log.close();
    Result.FilesCreated = FilesCreated;
    Result.Counts = Counts;
    notify("");
    return std::move(Result);
}

void checkLogDir(const fs::path &logDir) {
    std::error_code error;
    if (!fs::is_directory(logDir, error))
        throw SourceError("log directory " + logDir.string() + " is not a directory");
}

} // namespace

RunResult runBatch(const RunOptions &options, RunObserver *observer) {
    // STEP 1: what the source is; nothing is written when it is not usable.
    checkLogDir(options.LogDir);
    struct stat info {};
    if (::stat(options.Source.c_str(), &info) != 0)
        throw SourceError(options.Source.string() + ": " + systemReason(errno));
    const bool isDirectory = S_ISDIR(info.st_mode);
    if (!isDirectory && !S_ISREG(info.st_mode))
        throw SourceError(options.Source.string() + ": neither a directory nor a regular file");
    if (!isDirectory && !okFileName(options.Source.filename().string()))
        throw SourceError(options.Source.string() + ": not an NW file name (name.nw)");
    UniqueFd rootFd;
    if (isDirectory) {
        rootFd = UniqueFd(::open(options.Source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!rootFd.valid())
            throw SourceError(options.Source.string() + ": " + systemReason(errno));
    }

    // STEP 2: fresh counters and a new log (the expression word lists are constant tables).
    Run run(options, observer);

    // STEP 3: convert, then the summary.
    if (isDirectory) return run.convertDirectory(std::move(rootFd), displayPath(options.Source));
    return run.convertSingleFile(options.Source);
}

} // namespace qm::batch
