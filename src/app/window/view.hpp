// What the window model asks of a toolkit: the few things a window does on the screen. A view
// (Qt on Linux, Win32 on Windows, a fake in the tests) draws the controls of controls.hpp,
// forwards the user's actions to the model, and does what the model says through this
// interface. Texts are UTF-8; paths are the system's own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/window/controls.hpp"

namespace qm::window {

// One entry of a directory list: an ancestor of the chosen directory, the chosen directory
// itself, or one of its subdirectories.
struct DirectoryEntry {
    std::filesystem::path Path;
    std::string Text;    // as shown: the name decoded for display, a link marked in words
    int Depth = 0;       // 0 for the root; subdirectories one deeper than the chosen entry
    bool Chosen = false; // the chosen directory (an open folder)
    bool Link = false;   // a link to a directory, which a run does not follow
};

struct DirectoryEntries {
    std::vector<DirectoryEntry> Entries;
    int ChosenIndex = -1; // the entry of the chosen directory
};

enum class CountBox { FilesCreated, Errors, Warnings };

// The run's progress: "N/TOTAL files, m:ss left" and a bar.
struct ProgressShown {
    bool Visible = false; // during a run only
    int Percent = -1;     // 0..100; -1 while the total is unknown (a busy bar)
    std::string Text;
};

// The status strip: the chosen directories, and the state of the run with, after a run, a link
// to its log shown after the text.
struct StatusShown {
    std::string SourcePath;
    std::string LogPath;
    std::string Run;
    std::filesystem::path LogLink; // empty: no link
};

enum class MessageKind { Error, Warning, Information };

class View {
public:
    virtual ~View() = default;

    virtual void showCount(CountBox box, std::string_view text) = 0;
    virtual void enable(Control control, bool enabled) = 0;
    virtual void focus(Control control) = 0;
    virtual void setChecked(Control control, bool checked) = 0;

    // The directory lists and the drive boxes above them.
    virtual void showDirectory(Side side, const DirectoryEntries &entries) = 0;
    virtual void showDrive(Side side, const std::filesystem::path &root) = 0;
    // The root of the drive (volume, mount point) that holds `path`.
    virtual std::filesystem::path driveOf(const std::filesystem::path &path) = 0;
    // The source file list: the names a run converts in the chosen directory, for display.
    virtual void showFiles(const std::vector<std::string> &names) = 0;

    virtual void showProgress(const ProgressShown &progress) = 0;
    virtual void showStatus(const StatusShown &status) = 0;

    // A modal message box with the main window's title and one button.
    virtual void showMessage(MessageKind kind, std::string_view text) = 0;
    // Loads the RTF help file into the help window and shows it (not modal); false when the
    // file could not be read.
    virtual bool showHelp(const std::filesystem::path &rtfFile) = 0;
    // Opens a file in the desktop's viewer for its kind; false when that could not be done.
    virtual bool openFile(const std::filesystem::path &path) = 0;
    // Closes the main window, which ends the program.
    virtual void closeWindow() = 0;

    // Runs `task` soon on the thread of the window, in the order posted. Called from the run's
    // thread: it must be safe to call from any thread.
    virtual void post(std::function<void()> task) = 0;
};

} // namespace qm::window
