#include "app/window/main_window.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <system_error>
#include <utility>

#include "app/batch/files.hpp"
#include "app/batch/workers.hpp"
#include "app/window/config_file.hpp"
#include "app/window/directory_entries.hpp"

namespace qm::window {
namespace {

constexpr const char *HelpFileName = "ReadMe.rtf";
// Counting the scores first gives the progress its total; a tree too large to count in this
// time is converted with a busy bar instead.
constexpr std::chrono::seconds CountBudget{1};

// Controls a run leaves alone: the counts stay readable, and Help and Quit at hand.
constexpr std::array ChoiceControls{Control::SourceDrive, Control::SourceDirs, Control::SourceFiles,
                                    Control::LogDrive,    Control::LogDirs,    Control::MusicXml,
                                    Control::Go};

std::string counted(std::int64_t count, const char *one, const char *many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string clockText(std::chrono::seconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(duration.count() / 60),
                  static_cast<long long>(duration.count() % 60));
    return text;
}

// The same words in the message box and on the status line: files and directories apart.
std::string problemsText(std::size_t files, std::size_t directories) {
    std::string text;
    if (files > 0)
        text = counted(static_cast<std::int64_t>(files), "file", "files") + " not converted";
    if (files > 0 && directories > 0) text += " and ";
    if (directories > 0)
        text += counted(static_cast<std::int64_t>(directories), "directory", "directories") +
                " not read";
    return text;
}

bool isFile(const std::filesystem::path &path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

ProgressShown progressFor(std::int64_t done, std::optional<std::int64_t> total,
                          std::chrono::seconds elapsed) {
    ProgressShown shown;
    shown.Visible = true;
    if (!total) {
        shown.Text = counted(done, "file", "files");
        return shown;
    }
    const std::int64_t all = std::max(*total, done);
    shown.Text = std::to_string(done) + "/" + std::to_string(all) + " files";
    shown.Percent = all == 0 ? 100 : static_cast<int>(done * 100 / all);
    if (done > 0 && done < all)
        shown.Text += ", " + clockText(elapsed * (all - done) / done) + " left";
    return shown;
}

// Hands the run's news to the window's thread.
class MainWindow::Observer : public batch::RunObserver {
public:
    explicit Observer(MainWindow &window) : Window(window) {}

    void onLogCreated(const std::filesystem::path &logPath) override {
        Window.Screen.post([&window = Window, logPath] { window.logCreated(logPath); });
    }
    void onProgress(const batch::RunProgress &progress) override { Window.postProgress(progress); }

private:
    MainWindow &Window;
};

MainWindow::MainWindow(View &view, Places places)
    : Screen(view), Where(std::move(places)),
      ConfigFile(Where.ConfigFile.empty() ? Where.StartDir / ConfigFileName : Where.ConfigFile) {}

MainWindow::~MainWindow() {
    StopRequested = true;
    if (Worker.joinable()) Worker.join();
}

void MainWindow::start() {
    // A first start without a configuration shows the start directory on both sides.
    for (const Side side : {Side::Source, Side::Log}) {
        list(side).Dir = normalDirectory(Where.StartDir);
        relist(side);
    }
    AlsoMusicXml = readConfigFile(ConfigFile).AlsoMusicXml.value_or(false);
    Screen.setChecked(Control::MusicXml, AlsoMusicXml);
    enableForRun(false);
    Screen.showProgress({});
    resetAll();
}

void MainWindow::activated() {
    if (isRunning()) return; // the lists must not move under a run
    Screen.focus(Control::Go);
    loadDirectories();
}

// Only a real change of drive moves the list: a drive box reports a choice even when the drive
// it already shows is chosen again, and that must not throw the chosen directory away.
void MainWindow::driveChosen(Side side, const std::filesystem::path &root) {
    if (isRunning() || root.empty() || Screen.driveOf(directory(side)) == root) return;
    moveTo(side, root);
}

void MainWindow::entryChosen(Side side, int index) {
    const auto &shown = entries(side).Entries;
    if (isRunning() || index < 0 || static_cast<std::size_t>(index) >= shown.size()) return;
    const std::filesystem::path target = shown[static_cast<std::size_t>(index)].Path;
    if (!moveTo(side, target)) relist(side); // the entry's directory has gone: drop it
}

void MainWindow::musicXmlToggled(bool checked) { AlsoMusicXml = checked; }

// Moves a list and does what its change does: the source list resets the counts, the log list
// gives the focus back to "Go!". False when `dir` is no directory.
bool MainWindow::moveTo(Side side, const std::filesystem::path &dir) {
    if (!isDirectory(dir)) return false;
    list(side).Dir = normalDirectory(dir);
    relist(side);
    if (side == Side::Source) {
        resetAll();
    } else {
        Screen.focus(Control::Go);
        refreshStatus();
    }
    return true;
}

// Re-reads a list from the disk; a chosen directory that has gone gives way to its parent.
void MainWindow::relist(Side side) {
    ListState &state = list(side);
    while (!isDirectory(state.Dir) && state.Dir.has_relative_path())
        state.Dir = state.Dir.parent_path();
    state.Entries = listDirectoryEntries(state.Dir);
    Screen.showDirectory(side, state.Entries);
    Screen.showDrive(side, Screen.driveOf(state.Dir));
    if (side == Side::Source) Screen.showFiles(convertibleFiles(state.Dir));
}

void MainWindow::resetAll() {
    showCounts(0, 0, 0);
    if (!isRunning()) RunPhase = Phase::Idle; // the last run's line belongs to its source
    refreshStatus();
    Screen.focus(Control::Go);
}

void MainWindow::showCounts(std::int32_t files, std::int32_t errors, std::int32_t warnings) {
    Screen.showCount(CountBox::FilesCreated, std::to_string(files));
    Screen.showCount(CountBox::Errors, std::to_string(errors));
    Screen.showCount(CountBox::Warnings, std::to_string(warnings));
}

void MainWindow::enableForRun(bool running) {
    for (const Control control : ChoiceControls)
        Screen.enable(control, !running);
    Screen.enable(Control::Stop, running && !StopRequested);
    Screen.enable(Control::Quit, !QuitPending);
}

// Restores the two directories, as far as they still exist. The MusicXML choice is read only
// at start: coming back from the help window must not undo a choice made since.
void MainWindow::loadDirectories() {
    const ConfigLines lines = readConfigFile(ConfigFile);
    for (const auto &[side, saved] :
         {std::pair{Side::Log, lines.LogDir}, std::pair{Side::Source, lines.SourceDir}}) {
        if (!saved || !isDirectory(*saved)) continue;
        if (normalDirectory(*saved) != directory(side)) moveTo(side, *saved);
    }
}

void MainWindow::saveConfiguration() {
    writeConfigFile(ConfigFile, directory(Side::Log), directory(Side::Source), AlsoMusicXml);
}

std::filesystem::path MainWindow::helpFile() const {
    std::vector<std::filesystem::path> dirs;
    if (!Where.ProgramDir.empty()) {
        dirs.push_back(Where.ProgramDir);
        dirs.push_back(Where.ProgramDir / ".." / "share" / "quillmark");
    }
    dirs.push_back(Where.StartDir);
    for (const auto &dir : dirs) {
        const std::filesystem::path path = (dir / HelpFileName).lexically_normal();
        if (!dir.empty() && isFile(path)) return path;
    }
    return {};
}

void MainWindow::helpClicked() {
    const std::filesystem::path path = helpFile();
    if (path.empty()) {
        Screen.showMessage(MessageKind::Error, "Help file not found.");
        return;
    }
    if (!Screen.showHelp(path))
        Screen.showMessage(MessageKind::Error, "Help file could not be read.");
}

void MainWindow::quitClicked() {
    if (closeRequested()) Screen.closeWindow();
}

bool MainWindow::closeRequested() {
    if (!isRunning()) return true;
    QuitPending = true;
    Screen.enable(Control::Quit, false);
    refreshStatus();
    return false;
}

void MainWindow::logLinkClicked() {
    if (LogPath.empty() || Screen.openFile(LogPath)) return;
    Screen.showMessage(MessageKind::Warning,
                       "The log file could not be opened: no program to show it was found. "
                       "It is " +
                           displayPath(LogPath) + ".");
}

void MainWindow::goClicked() {
    if (isRunning()) return;
    resetAll();
    batch::RunOptions options;
    options.Source = directory(Side::Source);
    options.LogDir = directory(Side::Log);
    options.Jobs = batch::defaultJobs();
    options.Formats.MusicXml = AlsoMusicXml;
    options.StopRequested = [this] { return StopRequested.load(); };
    StopRequested = false;
    {
        const std::lock_guard lock(Shared);
        Latest = {};
        Total.reset();
        ProgressPosted = false;
    }
    Started = std::chrono::steady_clock::now();
    RunPhase = Phase::Running;
    CurrentFile.clear();
    LogPath.clear();
    Worker = std::thread(
        [this, options = std::move(options)]() mutable { runOnWorker(std::move(options)); });
    enableForRun(true);
    Screen.focus(Control::Stop);
    Screen.showProgress(progressFor(0, std::nullopt, {}));
    refreshStatus();
}

void MainWindow::stopClicked() {
    if (!isRunning() || StopRequested) return;
    StopRequested = true;
    Screen.enable(Control::Stop, false);
    refreshStatus();
}

// On the run's thread.
void MainWindow::runOnWorker(batch::RunOptions options) {
    const std::optional<std::int64_t> total = batch::countNwFiles(options.Source, CountBudget);
    {
        const std::lock_guard lock(Shared);
        Total = total;
    }
    Observer observer(*this);
    Outcome outcome;
    try {
        outcome.Result = batch::runBatch(options, &observer);
    } catch (const std::exception &error) {
        outcome.Failure = displayText(error.what());
    } catch (...) {
        outcome.Failure = "The run stopped on an unexpected failure.";
    }
    // Posted after any progress of this run, so the end arrives last.
    Screen.post([this, outcome = std::move(outcome)]() mutable { finishRun(std::move(outcome)); });
}

// On the run's thread: only the latest progress is kept, and one delivery is on its way at a
// time, so a fast run does not flood the window.
void MainWindow::postProgress(const batch::RunProgress &progress) {
    const std::lock_guard lock(Shared);
    Latest = progress;
    if (ProgressPosted) return;
    ProgressPosted = true;
    Screen.post([this] { deliverProgress(); });
}

void MainWindow::deliverProgress() {
    batch::RunProgress progress;
    std::optional<std::int64_t> total;
    {
        const std::lock_guard lock(Shared);
        progress = Latest;
        total = Total;
        ProgressPosted = false;
    }
    if (!isRunning()) return; // the end of the run came first
    showCounts(progress.FilesCreated, progress.ErrorCount, progress.WarningCount);
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - Started);
    Screen.showProgress(progressFor(progress.FilesDone, total, elapsed));
    CurrentFile = progress.CurrentFile.empty() ? std::string() : displayText(progress.CurrentFile);
    refreshStatus();
}

// The directories are saved once the run has its log, so a run that could not start leaves
// the saved choice as it was.
void MainWindow::logCreated(const std::filesystem::path &logPath) {
    LogPath = logPath;
    saveConfiguration();
    refreshStatus();
}

void MainWindow::finishRun(Outcome outcome) {
    if (Worker.joinable()) Worker.join();
    {
        const std::lock_guard lock(Shared);
        FilesDone = Latest.FilesDone;
    }
    if (outcome.Result) {
        const batch::RunResult &result = *outcome.Result;
        showCounts(result.FilesCreated, result.Counts.ErrorCount, result.Counts.WarningCount);
        RunPhase = result.Interrupted ? Phase::Interrupted : Phase::Finished;
        LogPath = result.LogPath;
        FilesCreated = result.FilesCreated;
        FilesNotConverted = result.IoFailures.size();
        DirectoriesNotRead = result.DirectoryFailures.size();
    } else {
        RunPhase = Phase::Failed;
        Failure = outcome.Failure;
    }
    StopRequested = false;
    CurrentFile.clear();
    enableForRun(false);
    Screen.showProgress({});
    Screen.focus(Control::Quit);
    Screen.showFiles(convertibleFiles(directory(Side::Source)));
    refreshStatus();
    if (RunFinished) RunFinished();
    if (QuitPending) {
        Screen.closeWindow();
        return;
    }
    reportProblems();
}

// A run that failed, or files it had to leave out, are told at once: nobody reads a log that
// they do not know has something to say. A run stopped on request says so on its line only.
void MainWindow::reportProblems() {
    if (RunPhase == Phase::Failed) {
        Screen.showMessage(MessageKind::Error, Failure);
        return;
    }
    if (RunPhase != Phase::Finished || (FilesNotConverted == 0 && DirectoriesNotRead == 0)) return;
    Screen.showMessage(
        MessageKind::Warning,
        "Finished with problems: " + problemsText(FilesNotConverted, DirectoriesNotRead) +
            ". The log file " + displayPath(LogPath) + " says why.");
}

void MainWindow::refreshStatus() {
    StatusShown status;
    status.SourcePath = "Source: " + displayPath(directory(Side::Source));
    status.LogPath = "Log folder: " + displayPath(directory(Side::Log));
    status.Run = runText();
    const bool ended = RunPhase == Phase::Finished || RunPhase == Phase::Interrupted;
    if (ended) status.LogLink = LogPath;
    Screen.showStatus(status);
}

std::string MainWindow::runText() const {
    switch (RunPhase) {
    case Phase::Idle: return "Ready: press Go! to convert the source directory.";
    case Phase::Running:
        if (QuitPending) return "Quit pending: the program ends when this run finishes.";
        if (StopRequested) return "Stopping after the file in hand...";
        return "Converting " +
               (CurrentFile.empty() ? displayPath(directory(Side::Source)) : CurrentFile);
    case Phase::Finished:
        if (FilesCreated == 0 && FilesNotConverted == 0 && DirectoriesNotRead == 0)
            return "No .nw files found; log ";
        if (FilesNotConverted > 0 || DirectoriesNotRead > 0)
            return "Finished: " + counted(FilesCreated, "file", "files") + " created; " +
                   problemsText(FilesNotConverted, DirectoriesNotRead) + "; log ";
        return "Finished: " + counted(FilesCreated, "file", "files") + " created, log ";
    case Phase::Interrupted:
        return "Stopped after " + counted(FilesDone, "file", "files") + "; log ";
    case Phase::Failed: return "Stopped: " + Failure;
    }
    return {};
}

} // namespace qm::window
