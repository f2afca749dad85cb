#include "app/win32/main_window.hpp"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>

#include "app/batch/workers.hpp"
#include "app/win32/dpi.hpp"
#include "app/win32/wide_text.hpp"

namespace qm::win32 {

namespace {

constexpr const wchar_t *Caption = L"Quillmark 75 Converter";
constexpr const wchar_t *WindowHint = L"Reads NW files from Source dir & subdirs and creates NWC "
                                      L"files from them, with log file of any problems";
constexpr const wchar_t *HelpFileName = L"ReadMe.rtf";
constexpr const wchar_t *ConfigFileName = L"Quillmark.cfg";
// The designed client area: the 440 x 514 of the window, and the status strip under it.
constexpr int ClientWidth = 440;
constexpr int ClientHeight = 594;
constexpr int ListItemHeight = 18;
constexpr DWORD WindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The config file's lines are paths; a longer line is not one we wrote.
constexpr std::size_t MaxConfigLine = 32768;

RECT at(int left, int top, int width, int height) {
    return RECT{left, top, left + width, top + height};
}

struct Hint {
    int Id;
    const wchar_t *Text;
};
constexpr std::array<Hint, 17> Hints{{
    {IdSourceLabel, L"Source directory to be converted"},
    {IdSourceDrive, L"Disk drive containing source files for conversion"},
    {IdSourceDir, L"Source directory to be converted"},
    {IdSourceFiles, L"Files for converting in Source Directory"},
    {IdLogLabel, L"Location of log file and temporary files"},
    {IdLogDrive, L"Drive in which log file is to be stored."},
    {IdLogDir, L"Location of log file and temporary files"},
    {IdFilesLabel, L"Total number of files which have been created"},
    {IdFilesBox, L"Total number of files which have been created"},
    {IdErrorsLabel, L"Number of error messages written to file"},
    {IdErrorsBox, L"Number of error messages written to file"},
    {IdWarningsLabel, L"Number of warning messages written to file"},
    {IdWarningsBox, L"Number of warning messages written to file"},
    {IdHelp, L"Description of what the software does."},
    {IdGo, L"Start creating NWC files from NW files in Source dir."},
    {IdQuit, L"Terminates program after completing the file creation"},
    {IdMusicXml, L"Write a MusicXML file beside each NWC file, for other notation programs"},
}};

std::wstring clockText(std::chrono::seconds duration) {
    const auto seconds = duration.count();
    wchar_t text[32];
    swprintf(text, std::size(text), L"%lld:%02lld", static_cast<long long>(seconds / 60),
             static_cast<long long>(seconds % 60));
    return text;
}

bool isDirectory(const std::wstring &path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The configuration's lines without their ends; the last may lack one.
std::vector<std::wstring> readLines(const std::wstring &path) {
    std::vector<std::wstring> lines;
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    for (std::string line; lines.size() < 3 && std::getline(in, line);) {
        if (line.size() > MaxConfigLine) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(wide(line));
    }
    return lines;
}

} // namespace

MainWindow::MainWindow(std::wstring startDir, std::wstring programDir, std::wstring configDir)
    : StartDir(std::move(startDir)), ProgramDir(std::move(programDir)),
      ConfigDir(std::move(configDir)) {}

MainWindow::~MainWindow() {
    Run.reset();
    for (HFONT font : Fonts)
        ::DeleteObject(font);
}

bool MainWindow::create(HINSTANCE instance, int show) {
    Instance = instance;
    // A dialog's keyboard handling (Tab, mnemonics, the default button) on a window of our own
    // class: the class reserves the dialog's extra bytes and falls back on DefDlgProc.
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = ClassName;
    if (::RegisterClassExW(&windowClass) == 0) return false;
    Window = ::CreateWindowExW(WS_EX_CONTROLPARENT, ClassName, Caption, WindowStyle, CW_USEDEFAULT,
                               CW_USEDEFAULT, ClientWidth, ClientHeight, nullptr, nullptr, instance,
                               this);
    if (Window == nullptr) return false;
    Help.create(instance);
    createControls();
    addHints();
    applyScale();
    // Centred on the screen's work area.
    RECT outer{};
    ::GetWindowRect(Window, &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(Window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT &work = monitor.rcWork;
    const LONG width = outer.right - outer.left;
    const LONG height = outer.bottom - outer.top;
    RECT place{work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, 0, 0};
    place.right = place.left + width;
    place.bottom = place.top + height;
    place = keptOnScreen(place, Window);
    ::SetWindowPos(Window, nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    // A first start without a configuration shows the start directory on both sides.
    SourceDirBox.setDirectory(StartDir);
    SourceDriveBox.showDriveOf(SourceDirBox.directory());
    fillFileList(item(IdSourceFiles), SourceDirBox.directory());
    LogFileBox.setDirectory(StartDir);
    LogFileDrive.showDriveOf(LogFileBox.directory());
    resetAll();
    refreshStatus();
    ::SendMessageW(Window, DM_SETDEFID, IdGo, 0);
    ::ShowWindow(Window, show);
    ::UpdateWindow(Window);
    return true;
}

HWND MainWindow::add(const wchar_t *windowClass, int id, const wchar_t *text, DWORD style,
                     RECT design, int fontPixels, bool bold, bool arial, DWORD exStyle) {
    const HWND control = ::CreateWindowExW(
        exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, Window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance, nullptr);
    Layout.push_back({control, design, fontPixels, bold, arial});
    return control;
}

// Created in Tab order: Go! first, then each side from the top, then the other buttons.
void MainWindow::createControls() {
    constexpr DWORD List = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
    constexpr DWORD Drive = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
    constexpr DWORD Label = SS_NOTIFY | SS_LEFT;
    constexpr DWORD Count = ES_READONLY | ES_RIGHT | ES_AUTOHSCROLL;
    constexpr DWORD Strip = SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS | SS_NOTIFY;
    constexpr DWORD DirectoryStyle = List | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS;
    add(WC_BUTTONW, IdGo, L"&Go!", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, at(232, 440, 89, 65),
        24, true, true);

    add(WC_STATICW, IdSourceLabel, L"&Source Directory", Label, at(16, 8, 201, 20), 16);
    SourceDriveBox.attach(add(WC_COMBOBOXW, IdSourceDrive, L"", Drive, at(16, 32, 201, 240), 0));
    SourceDirBox.attach(add(WC_LISTBOXW, IdSourceDir, L"", DirectoryStyle, at(16, 56, 201, 257), 0,
                            false, false, WS_EX_CLIENTEDGE));
    add(WC_LISTBOXW, IdSourceFiles, L"", List | LBS_NOSEL, at(16, 320, 201, 113), 0, false, false,
        WS_EX_CLIENTEDGE);

    add(WC_STATICW, IdLogLabel, L"&Log file location:", Label, at(224, 8, 201, 20), 16);
    LogFileDrive.attach(add(WC_COMBOBOXW, IdLogDrive, L"", Drive, at(224, 32, 201, 240), 0));
    LogFileBox.attach(add(WC_LISTBOXW, IdLogDir, L"", DirectoryStyle, at(224, 56, 201, 257), 0,
                          false, false, WS_EX_CLIENTEDGE));

    // The count boxes are written by the program only: no Tab stops.
    add(WC_STATICW, IdFilesLabel, L"#Files Created:", SS_NOTIFY | SS_RIGHT, at(224, 324, 128, 20),
        16);
    add(WC_EDITW, IdFilesBox, L"0", Count, at(360, 320, 65, 28), 16, false, false,
        WS_EX_CLIENTEDGE);
    add(WC_STATICW, IdErrorsLabel, L"#Errors", SS_NOTIFY | SS_RIGHT, at(260, 356, 92, 20), 16);
    add(WC_EDITW, IdErrorsBox, L"0", Count, at(360, 352, 65, 28), 16, false, false,
        WS_EX_CLIENTEDGE);
    add(WC_STATICW, IdWarningsLabel, L"#Warnings", SS_NOTIFY | SS_RIGHT, at(240, 388, 112, 20), 16);
    add(WC_EDITW, IdWarningsBox, L"0", Count, at(360, 384, 65, 28), 16, false, false,
        WS_EX_CLIENTEDGE);
    add(WC_BUTTONW, IdMusicXml, L"Also write &MusicXML", BS_AUTOCHECKBOX | WS_TABSTOP,
        at(224, 414, 201, 22), 0);

    add(WC_BUTTONW, IdHelp, L"&Help", BS_PUSHBUTTON | WS_TABSTOP, at(16, 440, 89, 65), 21, true,
        true);
    add(WC_BUTTONW, IdQuit, L"&Quit", BS_PUSHBUTTON | WS_TABSTOP, at(336, 440, 89, 65), 24, true,
        true);

    add(WC_STATICW, IdSourceLine, L"", Strip, at(16, 512, 409, 16), 12);
    add(WC_STATICW, IdLogLine, L"", Strip, at(16, 528, 409, 16), 12);
    add(WC_STATICW, IdStatusLine, L"", Strip, at(16, 544, 409, 16), 12);
    add(WC_LINK, IdLogLink, L"", WS_TABSTOP, at(16, 544, 409, 16), 12);
    add(PROGRESS_CLASSW, IdProgress, L"", PBS_SMOOTH, at(16, 565, 316, 18));
    add(WC_BUTTONW, IdStop, L"S&top", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED,
        at(344, 562, 81, 24), 0);
    ::SendMessageW(item(IdProgress), PBM_SETRANGE32, 0, 1000);
}

void MainWindow::addHints() {
    Tooltip =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, Window, nullptr, Instance, nullptr);
    const auto addTool = [this](HWND control, const wchar_t *text) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = Window;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = const_cast<wchar_t *>(text);
        ::SendMessageW(Tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    };
    for (const Hint &hint : Hints)
        addTool(item(hint.Id), hint.Text);
    addTool(Window, WindowHint);
    ::SendMessageW(Tooltip, TTM_SETMAXTIPWIDTH, 0, 480);
}

HFONT MainWindow::fontFor(int pixels, bool bold, bool arial) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, 96);
    LOGFONTW font = metrics.lfMessageFont;
    if (pixels > 0)
        font.lfHeight = -scaled(pixels, Scale);
    else
        font.lfHeight = scaled(font.lfHeight, Scale);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    if (arial) wcscpy_s(font.lfFaceName, L"Arial");
    const HFONT made = ::CreateFontIndirectW(&font);
    Fonts.push_back(made);
    return made;
}

// Places every control and sizes every font for the monitor's scale; again when it changes.
void MainWindow::applyScale() {
    Scale = scaleOf(Window);
    std::vector<HFONT> old;
    old.swap(Fonts);
    for (const Placed &placed : Layout) {
        const RECT &r = placed.Design;
        ::SetWindowPos(placed.Control, nullptr, scaled(r.left, Scale), scaled(r.top, Scale),
                       scaled(r.right - r.left, Scale), scaled(r.bottom - r.top, Scale),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(
            placed.Control, WM_SETFONT,
            reinterpret_cast<WPARAM>(fontFor(placed.FontPixels, placed.Bold, placed.Arial)), TRUE);
    }
    ListFont = fontFor(0, false, false);
    ListChosenFont = fontFor(0, true, false);
    for (const int id : {IdSourceDir, IdLogDir})
        ::SendMessageW(item(id), LB_SETITEMHEIGHT, 0, scaled(ListItemHeight, Scale));
    RECT outer{0, 0, scaled(ClientWidth, Scale), scaled(ClientHeight, Scale)};
    ::AdjustWindowRectExForDpi(&outer, WindowStyle, FALSE, WS_EX_CONTROLPARENT,
                               ::GetDpiForWindow(Window));
    ::SetWindowPos(Window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (HFONT font : old)
        ::DeleteObject(font);
}

bool MainWindow::preTranslate(MSG &message) {
    const HWND help = Help.handle();
    const bool inHelp = help != nullptr && (message.hwnd == help || ::IsChild(help, message.hwnd));
    if (message.message == WM_KEYDOWN) {
        if (inHelp && message.wParam == VK_ESCAPE) {
            Help.hide();
            ::SetForegroundWindow(Window);
            return true;
        }
        // Enter opens the directory under the keyboard's frame.
        if (message.wParam == VK_RETURN && message.hwnd == SourceDirBox.handle()) {
            sourceDirBoxChange(SourceDirBox.selectedIndex());
            return true;
        }
        if (message.wParam == VK_RETURN && message.hwnd == LogFileBox.handle()) {
            logFileBoxChange(LogFileBox.selectedIndex());
            return true;
        }
        if (message.wParam == VK_F1 && !inHelp) {
            helpClick();
            return true;
        }
    }
    if (inHelp) return false;
    return ::IsDialogMessageW(Window, &message) != FALSE;
}

LRESULT CALLBACK MainWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto *self =
            static_cast<MainWindow *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        self->Window = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<MainWindow *>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return ::DefDlgProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: command(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_NOTIFY: {
        const auto *header = reinterpret_cast<const NMHDR *>(lParam);
        if (header->idFrom == IdLogLink &&
            (header->code == NM_CLICK || header->code == NM_RETURN)) {
            if (reinterpret_cast<INT_PTR>(::ShellExecuteW(Window, L"open", LogPath.c_str(), nullptr,
                                                          nullptr, SW_SHOWNORMAL)) <= 32)
                showMessage(MB_ICONWARNING, L"The log file " + LogPath +
                                                L" could not be opened: no program is set to "
                                                L"open .log files.");
        }
        return 0;
    }
    case WM_DRAWITEM: {
        const auto *draw = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        if (draw->CtlID == IdSourceDir) SourceDirBox.draw(*draw, ListFont, ListChosenFont);
        if (draw->CtlID == IdLogDir) LogFileBox.draw(*draw, ListFont, ListChosenFont);
        return TRUE;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            // The configuration is read again when the window comes back from another window of
            // this program (Help, a message box), as at the first activation.
            const HWND previous = reinterpret_cast<HWND>(lParam);
            const bool fromOwnWindow =
                previous != nullptr &&
                ::GetWindowThreadProcessId(previous, nullptr) == ::GetCurrentThreadId();
            if (!Activated || fromOwnWindow) {
                Activated = true;
                formActivate();
                return 0;
            }
        }
        break;
    case WM_DPICHANGED: {
        const RECT *suggested = reinterpret_cast<const RECT *>(lParam);
        ::SetWindowPos(Window, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        applyScale();
        return 0;
    }
    case RunThread::ProgressMessage:
        if (Run) showProgress(Run->snapshot());
        return 0;
    case RunThread::FinishedMessage: finishRun(); return 0;
    case WM_CLOSE: closeButtonClick(); return 0;
    case WM_DESTROY: ::PostQuitMessage(0); return 0;
    default: break;
    }
    return ::DefDlgProcW(Window, message, wParam, lParam);
}

void MainWindow::command(int id, int code) {
    switch (id) {
    case IdGo: goButtonClick(); break;
    case IdHelp: helpClick(); break;
    case IdQuit: closeButtonClick(); break;
    case IdStop: stopClick(); break;
    case IDCANCEL: stopClick(); break; // Escape
    case IdSourceDrive:
        if (code == CBN_SELCHANGE) sourceDriveBoxChange();
        break;
    case IdLogDrive:
        if (code == CBN_SELCHANGE) logFileDriveChange();
        break;
    case IdSourceDir:
    case IdLogDir: {
        // A click (or double click) chooses the entry; the arrow keys only move the frame.
        const bool click = code == LBN_DBLCLK ||
                           (code == LBN_SELCHANGE && (::GetKeyState(VK_LBUTTON) & 0x8000) != 0);
        if (!click) break;
        if (id == IdSourceDir)
            sourceDirBoxChange(SourceDirBox.selectedIndex());
        else
            logFileBoxChange(LogFileBox.selectedIndex());
        break;
    }
    default: break;
    }
}

void MainWindow::sourceDriveBoxChange() {
    const std::wstring root = SourceDriveBox.chosenRoot();
    // Choosing the drive already shown keeps the chosen directory.
    if (root.empty() || _wcsicmp(root.c_str(), SourceDriveBox.shownRoot().c_str()) == 0) return;
    if (!SourceDirBox.setDirectory(root)) {
        showMessage(MB_ICONERROR, L"The drive " + root + L" cannot be read.");
        SourceDriveBox.showDriveOf(SourceDirBox.directory());
        return;
    }
    SourceDriveBox.acceptChoice();
    sourceDirBoxChange(SourceDirBox.itemIndex());
}

void MainWindow::sourceDirBoxChange(int index) {
    const std::wstring path = SourceDirBox.itemPath(index);
    if (!path.empty() && path != SourceDirBox.directory() && !SourceDirBox.setDirectory(path)) {
        // Gone since it was listed: the list is read again.
        SourceDirBox.rebuild();
    }
    SourceDriveBox.showDriveOf(SourceDirBox.directory());
    fillFileList(item(IdSourceFiles), SourceDirBox.directory());
    resetAll();
    refreshStatus();
}

void MainWindow::logFileDriveChange() {
    const std::wstring root = LogFileDrive.chosenRoot();
    if (root.empty() || _wcsicmp(root.c_str(), LogFileDrive.shownRoot().c_str()) == 0) return;
    if (!LogFileBox.setDirectory(root)) {
        showMessage(MB_ICONERROR, L"The drive " + root + L" cannot be read.");
        LogFileDrive.showDriveOf(LogFileBox.directory());
        return;
    }
    LogFileDrive.acceptChoice();
    logFileBoxChange(LogFileBox.itemIndex());
}

void MainWindow::logFileBoxChange(int index) {
    const std::wstring path = LogFileBox.itemPath(index);
    if (!path.empty() && path != LogFileBox.directory() && !LogFileBox.setDirectory(path))
        LogFileBox.rebuild();
    LogFileDrive.showDriveOf(LogFileBox.directory());
    refreshStatus();
    ::SendMessageW(Window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(IdGo)), TRUE);
}

void MainWindow::formActivate() {
    ::SendMessageW(Window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(IdGo)), TRUE);
    if (!Run) configFile(true);
}

void MainWindow::resetAll() {
    showCounts(0, 0, 0);
    ::SendMessageW(item(IdProgress), PBM_SETPOS, 0, 0);
    if (State != Phase::Running) State = Phase::Idle;
    ::SendMessageW(Window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(IdGo)), TRUE);
}

void MainWindow::showCounts(int files, int errors, int warnings) {
    ::SetWindowTextW(item(IdFilesBox), std::to_wstring(files).c_str());
    ::SetWindowTextW(item(IdErrorsBox), std::to_wstring(errors).c_str());
    ::SetWindowTextW(item(IdWarningsBox), std::to_wstring(warnings).c_str());
}

void MainWindow::goButtonClick() {
    if (Run) return;
    resetAll();
    batch::RunOptions options;
    options.Source = std::filesystem::path(SourceDirBox.directory());
    options.LogDir = std::filesystem::path(LogFileBox.directory());
    options.Jobs = batch::defaultJobs();
    options.Formats.MusicXml = Button_GetCheck(item(IdMusicXml)) == BST_CHECKED;
    State = Phase::Running;
    LogPath.clear();
    Latest = {};
    setControlsEnabled(false);
    ::SendMessageW(Window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(IdStop)), TRUE);
    refreshStatus();
    Run = std::make_unique<RunThread>(Window, std::move(options));
}

void MainWindow::showProgress(const RunThread::Snapshot &snapshot) {
    // The directories are saved once the run has its log, so a run that could not start
    // leaves the saved choice as it was.
    if (LogPath.empty() && !snapshot.LogPath.empty()) {
        LogPath = snapshot.LogPath;
        configFile(false);
    }
    Latest = snapshot;
    const batch::RunProgress &progress = snapshot.Progress;
    showCounts(progress.FilesCreated, progress.ErrorCount, progress.WarningCount);
    const HWND bar = item(IdProgress);
    if (snapshot.Total && *snapshot.Total > 0) {
        const auto done = std::min(progress.FilesDone, *snapshot.Total);
        ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(done * 1000 / *snapshot.Total), 0);
    }
    refreshStatus();
}

void MainWindow::stopClick() {
    if (!Run || Run->stopRequested()) return;
    Run->requestStop();
    ::EnableWindow(item(IdStop), FALSE);
    refreshStatus();
}

void MainWindow::finishRun() {
    if (!Run) return;
    const RunThread::Outcome outcome = Run->outcome();
    Run.reset();
    std::wstring problem;
    if (outcome.Result) {
        const batch::RunResult &result = *outcome.Result;
        showCounts(result.FilesCreated, result.Counts.ErrorCount, result.Counts.WarningCount);
        LogPath = result.LogPath.native();
        State = result.Interrupted ? Phase::Stopped : Phase::Finished;
        Failure =
            result.Interrupted ? L"stopped before the end; the log says how far it came" : L"";
        if (!result.Interrupted) ::SendMessageW(item(IdProgress), PBM_SETPOS, 1000, 0);
        // Files and directories the run could not take are told at once: nobody reads a log
        // that they do not know has something to say.
        const std::size_t files = result.IoFailures.size();
        const std::size_t dirs = result.DirectoryFailures.size();
        if (files + dirs > 0) {
            std::wstring what;
            if (files > 0) what = std::to_wstring(files) + L" file(s) could not be converted";
            if (files > 0 && dirs > 0) what += L" and ";
            if (dirs > 0) what += std::to_wstring(dirs) + L" directory(ies) could not be read";
            problem = what + L". The log file " + LogPath + L" says why.";
        }
        FinishedText = L"Finished: " + std::to_wstring(result.FilesCreated) + L" files created";
        if (files > 0) FinishedText += L", " + std::to_wstring(files) + L" not converted";
        if (dirs > 0) FinishedText += L", " + std::to_wstring(dirs) + L" directories not read";
        if (result.FilesCreated == 0 && files == 0 && dirs == 0)
            FinishedText = L"No .nw files found";
    } else {
        State = Phase::Stopped;
        Failure = outcome.Failure;
        problem = outcome.Failure;
    }
    Latest = {};
    setControlsEnabled(true);
    fillFileList(item(IdSourceFiles), SourceDirBox.directory());
    refreshStatus();
    if (CloseAfterRun) {
        ::DestroyWindow(Window);
        return;
    }
    ::SendMessageW(Window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(IdQuit)), TRUE);
    if (!problem.empty()) showMessage(outcome.Result ? MB_ICONWARNING : MB_ICONERROR, problem);
}

// Help, the count boxes and Quit stay usable during a run; Quit then ends the program when the
// run is over.
void MainWindow::setControlsEnabled(bool enabled) {
    for (const int id :
         {IdSourceDrive, IdSourceDir, IdSourceFiles, IdLogDrive, IdLogDir, IdMusicXml, IdGo})
        ::EnableWindow(item(id), enabled);
    ::EnableWindow(item(IdStop), !enabled);
    ::EnableWindow(item(IdQuit), !CloseAfterRun);
}

void MainWindow::refreshStatus() {
    const std::wstring source = L"Source: " + SourceDirBox.directory();
    const std::wstring log = L"Log folder: " + LogFileBox.directory();
    ::SetWindowTextW(item(IdSourceLine), source.c_str());
    ::SetWindowTextW(item(IdLogLine), log.c_str());
    std::wstring status;
    std::wstring link;
    switch (State) {
    case Phase::Idle: status = L"Ready: press Go! to convert the source directory."; break;
    case Phase::Running: {
        if (CloseAfterRun) {
            status = L"Quit pending: the program ends when this run finishes.";
            break;
        }
        if (Run && Run->stopRequested()) {
            status = L"Stopping after the files in hand...";
            break;
        }
        const batch::RunProgress &progress = Latest.Progress;
        status = std::to_wstring(progress.FilesDone);
        if (Latest.Total)
            status += L"/" + std::to_wstring(std::max(*Latest.Total, progress.FilesDone));
        status += L" files";
        if (Latest.Total && progress.FilesDone > 0) {
            const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Latest.Elapsed);
            const std::int64_t left = std::max<std::int64_t>(*Latest.Total - progress.FilesDone, 0);
            status += L", " + clockText(elapsed * left / progress.FilesDone) + L" left";
        }
        status += L": " + (progress.CurrentFile.empty() ? SourceDirBox.directory()
                                                        : wide(progress.CurrentFile));
        break;
    }
    case Phase::Finished: link = FinishedText + L", log <a>" + LogPath + L"</a>"; break;
    case Phase::Stopped: status = L"Stopped: " + Failure; break;
    }
    const bool showLink = !link.empty();
    ::SetWindowTextW(item(IdStatusLine), status.c_str());
    ::SetWindowTextW(item(IdLogLink), link.c_str());
    ::ShowWindow(item(IdStatusLine), showLink ? SW_HIDE : SW_SHOW);
    ::ShowWindow(item(IdLogLink), showLink ? SW_SHOW : SW_HIDE);
}

void MainWindow::showMessage(UINT icon, const std::wstring &text) {
    ::MessageBoxW(Window, text.c_str(), Caption, MB_OK | icon);
}

std::wstring MainWindow::configFilePath() const { return joined(ConfigDir, ConfigFileName); }

void MainWindow::configFile(bool load) {
    if (!load) {
        // Written whole to a new file that then takes the old one's place; a failure changes
        // nothing and is not reported.
        const std::wstring path = configFilePath();
        const std::wstring temporary = path + L".new";
        {
            std::ofstream out(std::filesystem::path(temporary), std::ios::binary | std::ios::trunc);
            out << utf8(LogFileBox.directory()) << "\r\n"
                << utf8(SourceDirBox.directory()) << "\r\n"
                << (Button_GetCheck(item(IdMusicXml)) == BST_CHECKED ? "1" : "0") << "\r\n";
            out.close();
            if (!out) {
                ::DeleteFileW(temporary.c_str());
                return;
            }
        }
        if (!::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
            ::DeleteFileW(temporary.c_str());
        return;
    }
    const std::vector<std::wstring> lines = readLines(configFilePath());
    if (lines.size() >= 1 && isDirectory(lines[0]) && lines[0] != LogFileBox.directory() &&
        LogFileBox.setDirectory(lines[0]))
        logFileBoxChange(LogFileBox.itemIndex());
    if (lines.size() >= 2 && isDirectory(lines[1]) && lines[1] != SourceDirBox.directory() &&
        SourceDirBox.setDirectory(lines[1]))
        sourceDirBoxChange(SourceDirBox.itemIndex());
}

// The program's own help file first, then one in the start directory.
std::wstring MainWindow::helpFilePath() const {
    for (const std::wstring &dir : {ProgramDir, StartDir}) {
        if (dir.empty()) continue;
        const std::wstring path = joined(dir, HelpFileName);
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            return path;
    }
    return {};
}

void MainWindow::helpClick() {
    const std::wstring path = helpFilePath();
    if (path.empty()) {
        showMessage(MB_ICONERROR, L"Help file not found.");
        return;
    }
    if (Help.handle() == nullptr || !Help.load(path)) {
        showMessage(MB_ICONERROR, L"Help file could not be read.");
        return;
    }
    Help.show();
}

void MainWindow::closeButtonClick() {
    if (Run) {
        // Quit, the close box and Alt+F4 wait for the run; the window closes when it ends.
        CloseAfterRun = true;
        ::EnableWindow(item(IdQuit), FALSE);
        refreshStatus();
        return;
    }
    ::DestroyWindow(Help.handle());
    ::DestroyWindow(Window);
}

} // namespace qm::win32
