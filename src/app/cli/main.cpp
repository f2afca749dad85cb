// The quillmark command line: batch conversion and the inspection tools.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "app/batch/run.hpp"
#include "app/batch/workers.hpp"
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
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError(path + ": cannot open: " + std::strerror(errno));
    return readAll(in, path);
}

std::vector<std::uint8_t> asBytes(const std::string &data) { return {data.begin(), data.end()}; }

// The progress line on a terminal, redrawn at most ten times a second; failures go to stderr
// in any case.
class TerminalObserver : public qm::batch::RunObserver {
public:
    explicit TerminalObserver(bool showProgress) : ShowProgress(showProgress) {}

    void onProgress(const qm::batch::RunProgress &progress) override {
        if (!ShowProgress) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - LastDrawn < std::chrono::milliseconds(100)) return;
        LastDrawn = now;
        std::string current = progress.CurrentFile;
        if (current.size() > 50) current = "..." + current.substr(current.size() - 47);
        std::cerr << "\r\x1b[K" << progress.FilesCreated << " files, " << progress.ErrorCount
                  << " errors, " << progress.WarningCount << " warnings  " << current << std::flush;
        Drawn = true;
    }

    void onIoFailure(const qm::batch::IoFailure &failure) override {
        clearLine();
        std::cerr << "quillmark: not converted: " << failure.Path.string() << ": " << failure.Reason
                  << "\n";
    }

    void clearLine() {
        if (Drawn) std::cerr << "\r\x1b[K" << std::flush;
        Drawn = false;
    }

private:
    bool ShowProgress;
    bool Drawn = false;
    std::chrono::steady_clock::time_point LastDrawn{};
};

int runConvert(const std::string &source, const std::string &logDir, unsigned jobs, bool quiet) {
    TerminalObserver observer(!quiet && ::isatty(STDERR_FILENO) == 1);
    qm::batch::RunResult result;
    try {
        result = qm::batch::runBatch({source, logDir, jobs}, &observer);
    } catch (const qm::batch::SourceError &error) {
        std::cerr << "quillmark: " << error.what() << "\n";
        return ExitUsage;
    } catch (const qm::batch::LogError &error) {
        observer.clearLine();
        std::cerr << "quillmark: " << error.what() << "\n";
        return ExitFailed;
    }
    observer.clearLine();
    std::cout << result.LogPath.string() << "\n";
    for (const std::string &line : result.SummaryLines)
        std::cout << line << "\n";
    if (!result.IoFailures.empty())
        std::cerr << "quillmark: " << result.IoFailures.size()
                  << " files could not be converted; see the log\n";
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

int runNwBuild(const std::string &textPath, const std::string &outPath) {
    const std::string text = readFile(textPath);
    std::vector<std::uint8_t> bytes;
    try {
        bytes = qm::nwtext::build(text);
    } catch (const qm::nwtext::SyntaxError &error) {
        std::cerr << "quillmark: " << textPath << ": " << error.what() << "\n";
        return ExitFailed;
    }
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw ToolError(outPath + ": cannot write: " + std::strerror(errno));
    return ExitDone;
}

} // namespace

int main(int argc, char **argv) {
    CLI::App app{"Converts NW scores into NoteWorthy Composer 1.75 files.", "quillmark"};
    app.set_version_flag("--version", Version);
    app.require_subcommand(1);

    std::string source;
    std::string logDir = ".";
    bool quiet = false;
    unsigned jobs = qm::batch::defaultJobs();
    CLI::App *convert = app.add_subcommand(
        "convert", "Convert every NW file under SOURCE (or the one file SOURCE) beside itself");
    convert->add_option("SOURCE", source, "A directory or a .nw file")->required();
    convert->add_option("--log-dir", logDir, "Where Quillmark_<n>.log goes (default: .)");
    convert
        ->add_option("--jobs", jobs,
                     "Scores converted at once (default: one per core); the log and the "
                     "outputs do not depend on it")
        ->check(CLI::Range(1u, 64u));
    convert->add_flag("--quiet", quiet, "No progress line");

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

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        const int status = app.exit(error);
        return status == 0 ? ExitDone : ExitUsage;
    }

    try {
        if (*convert) return runConvert(source, logDir, jobs, quiet);
        if (*dump) return runDump(nwcPath);
        if (*nwDump) return runNwDump(nwPath);
        if (*nwBuild) return runNwBuild(textPath, outPath);
    } catch (const ToolError &error) {
        std::cerr << "quillmark: " << error.what() << "\n";
        return ExitFailed;
    }
    return ExitUsage;
}
