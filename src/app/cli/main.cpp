// The quillmark command line: batch conversion and the inspection tools.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <vector>

#include "app/batch/files.hpp"
#include "app/batch/naming.hpp"
#include "app/batch/platform.hpp"
#include "app/batch/report.hpp"
#include "app/batch/run.hpp"
#include "app/batch/summary.hpp"
#include "app/batch/workers.hpp"
#include "app/cli/console.hpp"
#include "convert/pass_printer.hpp"
#include "convert/pipeline.hpp"
#include "nwcdump/nwcdump.hpp"
#include "nwtext/nwtext.hpp"

namespace {

constexpr const char *Version = "quillmark " QUILLMARK_VERSION;

// Exit statuses.
constexpr int ExitDone = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

// Inspection tools read whole files; nothing they are meant for comes near this.
constexpr std::streamsize MaxToolInput = 64 * 1024 * 1024;

struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A request that cannot be carried out as asked (exit status 2), found before anything is written.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string readAll(std::istream &in, const std::string &what) {
    std::string data;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        data.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (static_cast<std::streamsize>(data.size()) > MaxToolInput)
            throw ToolError(what + ": larger than 64 MiB");
    }
    if (in.bad()) throw ToolError(what + ": cannot read");
    return data;
}

std::string readFile(const std::string &path) {
    if (path == "-") return readAll(std::cin, "standard input");
    std::ifstream in(qm::cli::openablePath(qm::batch::pathFromText(path)), std::ios::binary);
    if (!in) throw ToolError(path + ": cannot open: " + std::strerror(errno));
    return readAll(in, path);
}

std::vector<std::uint8_t> asBytes(const std::string &data) { return {data.begin(), data.end()}; }

// Exit statuses of a conversion run.
constexpr int ExitSomeNotConverted = 3;
constexpr int ExitSignalBase = 128;

std::string escaped(const std::string &text) { return qm::batch::escapeControlChars(text); }

std::string clockText(std::chrono::seconds duration) {
    const auto seconds = duration.count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

// Where the report goes: standard output, a new file (never one that exists, save a pipe or a
// device), or nowhere. A failed write is remembered: nothing more is written after it.
class ReportTarget {
public:
    explicit ReportTarget(const std::string &path) : Path(path) {
        if (path.empty()) return;
        if (path == "-") {
            Writer.emplace([this](std::string_view text) {
                if (Failed) return;
                std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
                std::cout.flush();
                if (!std::cout) fail("cannot write the report to standard output");
            });
            return;
        }
        int error = 0;
        File = qm::batch::openReportFile(qm::batch::pathFromText(path), error);
        if (qm::batch::isAlreadyExists(error))
            throw UsageError("the report " + escaped(path) + " exists; not replaced");
        if (!File.valid())
            throw UsageError("cannot create the report " + escaped(path) + ": " +
                             qm::batch::systemReason(error));
        Writer.emplace([this](std::string_view text) {
            if (Failed) return;
            const auto *bytes = reinterpret_cast<const std::uint8_t *>(text.data());
            if (const int failed = qm::batch::writeAll(File.get(), {bytes, text.size()});
                failed != 0)
                fail("cannot write the report " + escaped(Path) + ": " +
                     qm::batch::systemReason(failed));
        });
    }
    qm::batch::ReportWriter *writer() { return Writer ? &*Writer : nullptr; }

    // The report on the disk before the log gets its summary.
    void flush() {
        if (Failed || !File.valid()) return;
        if (const int error = qm::batch::flushToDisk(File.get()); error != 0)
            fail("cannot write the report " + escaped(Path) + ": " +
                 qm::batch::systemReason(error));
    }

private:
    [[noreturn]] void fail(const std::string &reason) {
        Failed = true;
        throw qm::batch::ReportError(reason);
    }

    std::string Path;
    qm::batch::UniqueHandle File;
    bool Failed = false;
    std::optional<qm::batch::ReportWriter> Writer;
};

// The progress line on a terminal ("N/TOTAL files, E errors, W warnings, ETA m:ss"), redrawn
// at most ten times a second and ended by a newline; failures go to stderr in any case, and
// every entry goes to the report when there is one (its summary too, before the log's).
class TerminalObserver : public qm::batch::RunObserver {
public:
    TerminalObserver(bool showProgress, bool quiet, std::optional<std::int64_t> total,
                     ReportTarget &report)
        : ShowProgress(showProgress), Quiet(quiet), Total(total), Report(report),
          Started(std::chrono::steady_clock::now()) {}

    void onProgress(const qm::batch::RunProgress &progress) override {
        Latest = progress;
        if (!ShowProgress) return;
        const auto now = std::chrono::steady_clock::now();
        if (Drawn && now - LastDrawn < std::chrono::milliseconds(100)) return;
        LastDrawn = now;
        draw(now);
    }

    void onIoFailure(const qm::batch::IoFailure &failure) override {
        clearLine();
        std::cerr << "quillmark: not converted: " << escaped(qm::batch::pathText(failure.Path))
                  << ": " << escaped(failure.Reason) << "\n";
    }

    void onMusicXmlOmissions(const std::filesystem::path &output, int count) override {
        if (Quiet) return; // not a failure; the log and the report say it too
        clearLine();
        std::cerr << "quillmark: " << escaped(qm::batch::pathText(output)) << ": "
                  << qm::batch::musicXmlLoss(count) << "\n";
    }

    void onFileDone(const qm::batch::FileRecord &record) override {
        if (Report.writer()) Report.writer()->file(record);
    }

    void beforeSummary(const qm::batch::RunResult &result) override {
        if (!Report.writer()) return;
        Report.writer()->summary(&result, "completed", "");
        Report.flush();
    }

    // The last state stays on the screen, ended by a newline.
    void finishLine() {
        if (!ShowProgress || !Drawn) return;
        draw(std::chrono::steady_clock::now());
        std::cerr << "\n" << std::flush;
        Drawn = false;
    }

    void clearLine() {
        if (Drawn) std::cerr << "\r\x1b[K" << std::flush;
        Drawn = false;
    }

private:
    void draw(std::chrono::steady_clock::time_point now) {
        const std::int64_t done = Latest.FilesDone;
        std::string line = std::to_string(done);
        if (Total) line += "/" + std::to_string(std::max(*Total, done));
        line += " files, " + std::to_string(Latest.ErrorCount) + " errors, " +
                std::to_string(Latest.WarningCount) + " warnings";
        if (Total && done > 0)
            line += ", ETA " + clockText(qm::batch::remainingTime(now - Started, done, *Total));
        std::cerr << "\r\x1b[K" << line << std::flush;
        Drawn = true;
    }

    bool ShowProgress;
    bool Quiet;
    std::optional<std::int64_t> Total;
    ReportTarget &Report;
    std::chrono::steady_clock::time_point Started;
    std::chrono::steady_clock::time_point LastDrawn{};
    qm::batch::RunProgress Latest;
    bool Drawn = false;
};

// "nwc", "musicxml" or both, separated by a comma.
std::optional<qm::OutputFormats> parseFormats(const std::string &list) {
    qm::OutputFormats formats{false, false};
    std::istringstream in(list);
    for (std::string name; std::getline(in, name, ',');) {
        if (name == "nwc")
            formats.Nwc = true;
        else if (name == "musicxml")
            formats.MusicXml = true;
        else
            return std::nullopt;
    }
    if (!formats.Nwc && !formats.MusicXml) return std::nullopt;
    return formats;
}

struct ConvertOptions {
    std::string Source;
    std::string LogDir = ".";
    unsigned Jobs = qm::batch::defaultJobs();
    bool Quiet = false;
    std::string ReportPath; // empty: no report; "-": standard output
    std::string FormatList = "nwc";
};

int reportStopped(ReportTarget &report, const std::string &reason, int status) {
    std::cerr << "quillmark: " << reason << "\n";
    try {
        if (report.writer()) report.writer()->summary(nullptr, "stopped", reason);
    } catch (const qm::batch::ReportError &) {
        // The report is what failed; stderr has said why the run stopped.
    }
    return status;
}

int runConvert(const ConvertOptions &options) {
    qm::batch::platform::catchStopSignals();
    std::optional<ReportTarget> opened;
    try {
        opened.emplace(options.ReportPath);
    } catch (const UsageError &error) {
        std::cerr << "quillmark: " << error.what() << "\n";
        return ExitUsage;
    }
    ReportTarget &report = *opened;
    const bool showProgress = !options.Quiet && qm::cli::stderrIsTerminal();
    qm::batch::RunOptions run;
    run.Source = qm::batch::pathFromText(options.Source);
    run.LogDir = qm::batch::pathFromText(options.LogDir);
    std::optional<std::int64_t> total;
    if (showProgress) total = qm::batch::countNwFiles(run.Source, std::chrono::seconds(1));
    TerminalObserver observer(showProgress, options.Quiet, total, report);
    run.Jobs = options.Jobs;
    run.Formats = *parseFormats(options.FormatList);
    run.StopRequested = [] { return qm::batch::platform::stopSignalReceived() != 0; };
    qm::batch::RunResult result;
    try {
        result = qm::batch::runBatch(run, &observer);
    } catch (const qm::batch::SourceError &error) {
        return reportStopped(report, error.what(), ExitUsage);
    } catch (const std::exception &error) {
        observer.clearLine();
        return reportStopped(report, error.what(), ExitFailed);
    }
    observer.finishLine();
    const bool stdoutIsReport = options.ReportPath == "-";
    if (!options.Quiet && !stdoutIsReport) {
        std::cout << escaped(qm::batch::pathText(result.LogPath)) << "\n";
        for (const std::string &line : result.SummaryLines)
            std::cout << line << "\n";
    }
    if (result.Interrupted) {
        try {
            if (report.writer()) report.writer()->summary(&result, "interrupted", "");
        } catch (const qm::batch::ReportError &error) {
            std::cerr << "quillmark: " << error.what() << "\n";
        }
        std::cerr << "quillmark: " << result.SummaryLines.back() << "\n";
        return ExitSignalBase + qm::batch::platform::stopSignalReceived();
    }
    using qm::batch::countOf;
    if (!result.IoFailures.empty())
        std::cerr << "quillmark: "
                  << countOf(static_cast<std::int64_t>(result.IoFailures.size()), "file", "files")
                  << " could not be converted; see the log\n";
    if (!result.DirectoryFailures.empty())
        std::cerr << "quillmark: "
                  << countOf(static_cast<std::int64_t>(result.DirectoryFailures.size()),
                             "directory", "directories")
                  << " could not be read; see the log\n";
    return result.everythingConverted() ? ExitDone : ExitSomeNotConverted;
}

// "--jobs abc" is not a number; "--jobs 0" is out of range.
CLI::Validator jobsValidator() {
    return CLI::Validator(
        [](std::string &text) -> std::string {
            if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
                return "not a number: " + text;
            if (text.size() > 3 || std::stoi(text) < 1 || std::stoi(text) > 64)
                return "must be between 1 and 64: " + text;
            return "";
        },
        "1..64");
}

// Prints the numbered messages of a one-file conversion on stderr.
class StderrMessages : public qm::Messages {
public:
    explicit StderrMessages(std::string file) : File(std::move(file)) {}
    void reportError(int code, std::string_view text) override {
        std::cerr << "quillmark: " << File << ": " << qm::formatError(code, text) << "\n";
    }
    void reportWarning(int code, std::string_view text) override {
        std::cerr << "quillmark: " << File << ": " << qm::formatWarning(code, text) << "\n";
    }
    void logPlainLine(std::string_view) override {}

private:
    std::string File;
};

// Writes a new file in `dir` under the first free name that `nextName` gives, never replacing
// one and never leaving a partial file. Returns the name used.
std::string
writeNewFile(const std::filesystem::path &dir, std::span<const std::uint8_t> bytes,
             const std::function<std::string(const qm::batch::TakenNames &)> &nextName) {
    const std::filesystem::path dirPath = dir.empty() ? std::filesystem::path(".") : dir;
    const std::string dirText = qm::batch::pathText(dirPath);
    int openError = 0;
    const qm::batch::Directory opened = qm::batch::Directory::open(dirPath, openError);
    if (!opened.valid()) throw ToolError(dirText + ": " + qm::batch::systemReason(openError));
    qm::batch::DirectoryListing listing;
    if (const int error = qm::batch::listDirectory(opened, listing); error != 0)
        throw ToolError(dirText + ": " + qm::batch::systemReason(error));
    qm::batch::TemporaryNames names;
    qm::batch::PendingOutput output;
    if (const int error = output.write(opened, bytes, names); error != 0)
        throw ToolError(dirText + ": cannot write: " + qm::batch::systemReason(error));
    for (;;) {
        const std::string name = nextName(listing.Taken);
        if (name.empty()) throw ToolError(qm::batch::pathText(dir / "") + ": the name is taken");
        const int error = output.publish(name);
        if (error == 0) return name;
        if (!qm::batch::isAlreadyExists(error))
            throw ToolError(qm::batch::pathText(dir / qm::batch::pathFromText(name)) +
                            ": cannot write: " + qm::batch::systemReason(error));
        listing.Taken.add(name);
    }
}

// One NW file to MusicXML: beside it (never replacing a file), into OUT, or to stdout.
int runMusicXml(const std::string &path, const std::string &outPath) {
    const std::vector<std::uint8_t> nw = asBytes(readFile(path));
    StderrMessages messages(path);
    qm::ConversionOptions options;
    options.Formats = qm::OutputFormats{false, true};
    const qm::ConversionOutputs outputs = qm::convertNW(nw, messages, options);
    std::string written = outPath;
    if (outPath == "-") {
        std::cout.write(reinterpret_cast<const char *>(outputs.MusicXml.data()),
                        static_cast<std::streamsize>(outputs.MusicXml.size()));
        std::cout.flush();
        if (!std::cout) throw ToolError("standard output: cannot write");
        written = "standard output";
    } else if (!outPath.empty()) {
        const std::filesystem::path out = qm::batch::pathFromText(outPath);
        written = qm::batch::pathText(out);
        const std::string name = qm::batch::pathText(out.filename());
        writeNewFile(out.parent_path(), outputs.MusicXml, [&](const qm::batch::TakenNames &taken) {
            if (taken.has(name)) throw ToolError(outPath + ": exists; not replaced");
            return name;
        });
    } else {
        // NAME.nw gives NAME.musicxml; another name keeps its extension before ".musicxml".
        const std::filesystem::path in = qm::batch::pathFromText(path);
        std::string input = qm::batch::pathText(in.filename());
        if (!qm::batch::okFileName(input)) input += ".nw";
        const std::string name =
            writeNewFile(in.parent_path(), outputs.MusicXml, [&](const qm::batch::TakenNames &t) {
                return qm::batch::musicXmlName(input, t);
            });
        written = qm::batch::pathText(in.parent_path() / qm::batch::pathFromText(name));
    }
    if (outPath != "-") std::cout << written << "\n";
    if (const int omitted = outputs.MusicXmlCounts.OmittedElements; omitted > 0)
        std::cerr << "quillmark: " << written << ": " << qm::batch::musicXmlLoss(omitted) << "\n";
    return ExitDone;
}

int runDump(const std::string &path) {
    const std::vector<std::uint8_t> bytes = asBytes(readFile(path));
    try {
        std::cout << qm::dumpNwc(bytes);
    } catch (const qm::NwcDumpError &error) {
        std::cout << std::flush;
        std::cerr << "quillmark: " << path
                  << ": not an NWC file this tool can follow: " << error.what() << "\n";
        return ExitFailed;
    }
    return ExitDone;
}

int runNwDump(const std::string &path) {
    std::cout << qm::nwtext::dump(asBytes(readFile(path)));
    return ExitDone;
}

// Without a pass name: the names of the steps. With one: the model after it.
int runNwPasses(const std::string &path, const std::string &printAfter) {
    if (printAfter.empty()) {
        std::cout << qm::listPasses();
        return ExitDone;
    }
    try {
        std::cout << qm::printPasses(asBytes(readFile(path)), printAfter);
    } catch (const std::invalid_argument &error) {
        std::cerr << "quillmark: " << error.what() << "; the steps are:\n" << qm::listPasses();
        return ExitUsage;
    }
    return ExitDone;
}

int runNwBuild(const std::string &textPath, const std::string &outPath) {
    const std::string text = readFile(textPath);
    std::vector<std::uint8_t> bytes;
    try {
        bytes = qm::nwtext::build(text);
    } catch (const qm::nwtext::SyntaxError &error) {
        std::cerr << "quillmark: " << textPath << ": " << error.what() << "\n";
        return ExitFailed;
    }
    // Like musicxml -o: a new file, never one that exists, never left partial.
    const std::filesystem::path out = qm::batch::pathFromText(outPath);
    const std::string name = qm::batch::pathText(out.filename());
    writeNewFile(out.parent_path(), bytes, [&](const qm::batch::TakenNames &taken) {
        if (taken.has(name)) throw ToolError(outPath + ": exists; not replaced");
        return name;
    });
    return ExitDone;
}

} // namespace

int main(int argc, char **argv) {
    CLI::App app{"Converts NW scores into NoteWorthy Composer 1.75 files.", "quillmark"};
    app.set_version_flag("--version", Version);
    // Options are the "--" forms everywhere: on Windows "/scores" is a path, not a switch.
    app.allow_windows_style_options(false);
    app.require_subcommand(1);

    ConvertOptions convertOptions;
    CLI::App *convert = app.add_subcommand(
        "convert", "Convert every NW file under SOURCE (or the one file SOURCE) beside itself");
    convert->add_option("SOURCE", convertOptions.Source, "A directory or a .nw file")->required();
    convert->add_option("--log-dir", convertOptions.LogDir,
                        "Where Quillmark_<n>.log goes (default: .)");
    convert
        ->add_option("--jobs", convertOptions.Jobs,
                     "Scores converted at once (default: one per core); the log and the "
                     "outputs do not depend on it")
        ->transform(jobsValidator());
    convert->add_flag("--quiet", convertOptions.Quiet,
                      "Nothing on standard output and no progress; only failures on stderr");
    convert->add_option("--report", convertOptions.ReportPath,
                        "Write one JSON line per file met and a summary line to FILE (- for "
                        "standard output)");
    convert
        ->add_option("--format", convertOptions.FormatList,
                     "Outputs beside each NW file: nwc (default), musicxml, or nwc,musicxml")
        ->check([](const std::string &value) {
            return parseFormats(value) ? std::string{} : "must be nwc, musicxml or nwc,musicxml";
        });

    std::string musicXmlInput;
    std::string musicXmlOutput;
    CLI::App *musicxml = app.add_subcommand(
        "musicxml", "Convert one NW file to MusicXML (beside it as NAME.musicxml by default)");
    musicxml->add_option("FILE", musicXmlInput, "An .nw file")->required();
    musicxml->add_option("-o", musicXmlOutput,
                         "The MusicXML file to write (never replaced), or - for standard output");

    std::string nwcPath;
    CLI::App *dump = app.add_subcommand("dump", "List the records of an NWC 1.75 file");
    dump->add_option("FILE", nwcPath, "An .nwc file")->required();

    CLI::App *nw = app.add_subcommand("nw", "The NW text form");
    nw->require_subcommand(1);
    std::string nwPath;
    CLI::App *nwDump = nw->add_subcommand("dump", "List the records of an NW file as text");
    nwDump->add_option("FILE", nwPath, "An .nw file")->required();
    std::string textPath;
    std::string outPath;
    CLI::App *nwBuild = nw->add_subcommand("build", "Build an NW file from its text form");
    nwBuild->add_option("TEXT", textPath, "The text form, or - for standard input")->required();
    nwBuild->add_option("-o", outPath, "The NW file to write")->required();

    std::string passesPath;
    std::string printAfter;
    CLI::App *nwPasses =
        nw->add_subcommand("passes", "Print the model after a step of the conversion");
    nwPasses->add_option("FILE", passesPath, "An .nw file")->required();
    nwPasses->add_option("--print-after", printAfter,
                         "A step's name, or all (without it: the names of the steps)");

    qm::cli::prepareConsole();
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> arguments = qm::cli::commandLineArguments(argc, argv);
        std::reverse(arguments.begin(), arguments.end());
        app.parse(arguments);
    } catch (const CLI::ParseError &error) {
        const int status = app.exit(error);
        return status == 0 ? ExitDone : ExitUsage;
    }

    try {
        if (*convert) return runConvert(convertOptions);
        if (*musicxml) return runMusicXml(musicXmlInput, musicXmlOutput);
        if (*dump) return runDump(nwcPath);
        if (*nwDump) return runNwDump(nwPath);
        if (*nwBuild) return runNwBuild(textPath, outPath);
        if (*nwPasses) return runNwPasses(passesPath, printAfter);
    } catch (const ToolError &error) {
        std::cerr << "quillmark: " << error.what() << "\n";
        return ExitFailed;
    }
    return ExitUsage;
}
