// The main window on Windows' own controls: the source and log choosers, the three count
// boxes, Help, Go! and Quit, the MusicXML box, and a status strip with the chosen paths, the
// run's progress and Stop. A run goes on a worker thread (run_thread.hpp) while the choosers
// are disabled; its progress comes back as window messages.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/win32/control_ids.hpp"
#include "app/win32/help_window.hpp"
#include "app/win32/lists.hpp"
#include "app/win32/run_thread.hpp"

namespace qm::win32 {

class MainWindow {
public:
    static constexpr const wchar_t *ClassName = L"QuillmarkMain";

    // startDir: the directory current at start (the default of both lists); programDir: the
    // program's own, where ReadMe.rtf is looked for first; configDir: home of Quillmark.cfg.
    MainWindow(std::wstring startDir, std::wstring programDir, std::wstring configDir);
    ~MainWindow();

    bool create(HINSTANCE instance, int show);
    HWND handle() const { return Window; }
    // Keyboard handling of the two windows, before a message is dispatched.
    bool preTranslate(MSG &message);

private:
    struct Placed {
        HWND Control;
        RECT Design; // left, top, right, bottom at 96 dots per inch
        int FontPixels;
        bool Bold;
        bool Arial;
    };
    enum class Phase { Idle, Running, Finished, Stopped };

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    // Building and scaling the layout.
    HWND add(const wchar_t *windowClass, int id, const wchar_t *text, DWORD style, RECT design,
             int fontPixels = 0, bool bold = false, bool arial = false, DWORD exStyle = 0);
    void createControls();
    void addHints();
    void applyScale();
    HFONT fontFor(int pixels, bool bold, bool arial);

    // What the user does.
    void command(int id, int code);
    void sourceDriveBoxChange();
    void sourceDirBoxChange(int index);
    void logFileDriveChange();
    void logFileBoxChange(int index);
    void goButtonClick();
    void helpClick();
    void closeButtonClick();
    void stopClick();
    void formActivate();

    // The state shown.
    void resetAll();
    void showCounts(int files, int errors, int warnings);
    void setControlsEnabled(bool enabled);
    void refreshStatus();
    void showProgress(const RunThread::Snapshot &snapshot);
    void finishRun();
    void showMessage(UINT icon, const std::wstring &text);
    void configFile(bool load);
    std::wstring configFilePath() const;
    std::wstring helpFilePath() const;
    HWND item(int id) const { return ::GetDlgItem(Window, id); }

    std::wstring StartDir;
    std::wstring ProgramDir;
    std::wstring ConfigDir;
    HINSTANCE Instance = nullptr;
    HWND Window = nullptr;
    HWND Tooltip = nullptr;
    std::vector<Placed> Layout;
    std::vector<HFONT> Fonts;
    HFONT ListFont = nullptr;
    HFONT ListChosenFont = nullptr;
    double Scale = 1.0;

    DriveBox SourceDriveBox;
    DirectoryList SourceDirBox;
    DriveBox LogFileDrive;
    DirectoryList LogFileBox;
    HelpWindow Help;
    std::unique_ptr<RunThread> Run;

    bool Activated = false;
    bool CloseAfterRun = false;
    Phase State = Phase::Idle;
    std::wstring LogPath;
    std::wstring Failure;
    std::wstring FinishedText;
    RunThread::Snapshot Latest;
};

} // namespace qm::win32
