// The main window and the help window as they behave, without a toolkit: the two directory
// choosers, the counts and their resets, the configuration file, "Go!" (the run on a thread of
// its own, its progress, Stop), "Help" (which help file), "Quit" (after the run), and what is
// shown when a run ends. A view (view.hpp) draws it and hands it the user's actions; every
// method is called on the view's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/batch/run.hpp"
#include "app/window/view.hpp"

namespace qm::window {

struct Places {
    std::filesystem::path StartDir;   // current at start: the lists' first directory
    std::filesystem::path ProgramDir; // where the program is; empty when unknown
    std::filesystem::path ConfigFile; // empty: Quillmark.cfg in StartDir
};

// "N/TOTAL files, m:ss left" and the share done; without a total, "N files" and a busy bar.
ProgressShown progressFor(std::int64_t done, std::optional<std::int64_t> total,
                          std::chrono::seconds elapsed);

class MainWindow {
public:
    MainWindow(View &view, Places places);
    ~MainWindow(); // a run still going is stopped after the file in hand and waited for
    MainWindow(const MainWindow &) = delete;
    MainWindow &operator=(const MainWindow &) = delete;

    // Shows the first state: both lists at the start directory, the counts at 0, the MusicXML
    // choice as last saved.
    void start();

    // The window became active: the first time, and each time the user comes back to it from
    // another window of this program (help, a message box). Restores the saved directories.
    void activated();
    void driveChosen(Side side, const std::filesystem::path &root);
    // An entry of a directory list was clicked, or chosen with Enter.
    void entryChosen(Side side, int index);
    void musicXmlToggled(bool checked);
    void goClicked();
    void stopClicked();
    void helpClicked();
    void quitClicked();
    // The close box, Alt+F4 or Quit: true when the program may end now; during a run it ends
    // when the run does.
    bool closeRequested();
    void logLinkClicked();

    bool isRunning() const { return Worker.joinable(); }
    bool isQuitPending() const { return QuitPending; }
    const std::filesystem::path &directory(Side side) const { return list(side).Dir; }
    const DirectoryEntries &entries(Side side) const { return list(side).Entries; }
    bool alsoMusicXml() const { return AlsoMusicXml; }
    const std::filesystem::path &configFile() const { return ConfigFile; }
    // The help file "Help" shows: the program's own (beside it, then in the data directory
    // of its installation), else one in the start directory; empty when there is none.
    std::filesystem::path helpFile() const;

    // Called when a run has ended and its end is shown.
    void setRunFinishedHook(std::function<void()> hook) { RunFinished = std::move(hook); }

private:
    enum class Phase { Idle, Running, Finished, Interrupted, Failed };

    struct ListState {
        std::filesystem::path Dir;
        DirectoryEntries Entries;
    };

    struct Outcome {
        std::optional<batch::RunResult> Result;
        std::string Failure;
    };

    class Observer;

    ListState &list(Side side) { return Lists[side == Side::Source ? 0 : 1]; }
    const ListState &list(Side side) const { return Lists[side == Side::Source ? 0 : 1]; }

    bool moveTo(Side side, const std::filesystem::path &dir);
    void relist(Side side);
    void resetAll();
    void showCounts(std::int32_t files, std::int32_t errors, std::int32_t warnings);
    void enableForRun(bool running);
    void loadDirectories();
    void saveConfiguration();
    void refreshStatus();
    std::string runText() const;

    void runOnWorker(batch::RunOptions options);
    void postProgress(const batch::RunProgress &progress);
    void deliverProgress();
    void logCreated(const std::filesystem::path &logPath);
    void finishRun(Outcome outcome);
    void reportProblems();

    View &Screen;
    Places Where;
    std::filesystem::path ConfigFile;
    ListState Lists[2];
    bool AlsoMusicXml = false;
    bool QuitPending = false;
    std::function<void()> RunFinished;

    // The run: its thread, and what it shares with the window's thread.
    std::thread Worker;
    std::atomic<bool> StopRequested{false};
    std::mutex Shared;
    batch::RunProgress Latest;         // under Shared
    std::optional<std::int64_t> Total; // under Shared
    bool ProgressPosted = false;       // under Shared
    std::chrono::steady_clock::time_point Started;

    // What the window shows of the last run.
    Phase RunPhase = Phase::Idle;
    std::string CurrentFile;
    std::filesystem::path LogPath;
    std::int32_t FilesCreated = 0;
    std::int64_t FilesDone = 0;
    std::size_t FilesNotConverted = 0;
    std::size_t DirectoriesNotRead = 0;
    std::string Failure;
};

} // namespace qm::window
