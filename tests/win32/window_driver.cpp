// Drives quillmark-gui.exe through its controls, as a user would: chooses the source and log
// folders with the drive boxes and the directory lists (a double click on each folder on the
// way down), ticks MusicXML when asked, presses Go!, waits for the end of the run, reads the
// count boxes, opens Help and closes it with Escape, and quits. Prints what it read as
// name=value lines for scripts/windows-window.sh, which checks them against the log and the
// disk; any control that does not do its part ends the driver with status 1.
//
// usage: quillmark_window_driver GUI_EXE START_DIR SOURCE_DIR LOG_DIR [--musicxml] [--stop]
//                                [--hold FILE]
//   Folders are full Windows paths ("Z:\tmp\scores").
//   --hold FILE: once the run has finished, write the window's place (WxH+X+Y) to FILE.ready
//   and wait for FILE to appear (a screenshot is taken meanwhile).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "app/win32/control_ids.hpp"

namespace {

using namespace std::chrono_literals;
using qm::window::Control;

int idOf(Control control) { return qm::win32::controlId(control); }

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "window-driver: %s\n", what.c_str());
    std::exit(1);
}

bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::wstring textOf(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        fail("a control did not answer");
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG, 5000, &copied);
    text.resize(copied);
    return text;
}

std::string narrow(const std::wstring &text) {
    std::string out(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                                                   static_cast<int>(text.size()),
                                                                   nullptr, 0, nullptr, nullptr)),
                    '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                          static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

struct Found {
    DWORD Process;
    const wchar_t *Class;
    HWND Window;
};

HWND windowOf(DWORD process, const wchar_t *windowClass) {
    Found found{process, windowClass, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto *want = reinterpret_cast<Found *>(param);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = L"";
            ::GetClassNameW(window, name, 64);
            if (owner != want->Process || wcscmp(name, want->Class) != 0) return TRUE;
            want->Window = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.Window;
}

void press(HWND main, int id, int code = BN_CLICKED) {
    ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, code),
                   reinterpret_cast<LPARAM>(::GetDlgItem(main, id)));
}

void press(HWND main, Control control) { press(main, idOf(control)); }

// The folder a status line names ("Source: Z:\tmp" gives "Z:\tmp").
std::wstring shownFolder(HWND line) {
    const std::wstring text = textOf(line);
    const std::size_t colon = text.find(L": ");
    return colon == std::wstring::npos ? text : text.substr(colon + 2);
}

// Chooses `path` as a user does: its drive in the drive box, the drive's root in the list,
// then each folder on the way down, each by a double click on its entry.
void chooseFolder(HWND main, Control driveBox, Control dirList, Control pathLine,
                  const std::wstring &path) {
    const HWND drives = ::GetDlgItem(main, idOf(driveBox));
    const HWND list = ::GetDlgItem(main, idOf(dirList));
    const HWND line = ::GetDlgItem(main, idOf(pathLine));
    const int driveId = idOf(driveBox);
    const int listId = idOf(dirList);
    const std::wstring drive = path.substr(0, 2);
    const auto driveEntry = ::SendMessageW(drives, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>(drive.c_str()));
    if (driveEntry == CB_ERR) fail("the drive box has no drive " + narrow(drive));
    ::SendMessageW(drives, CB_SETCURSEL, static_cast<WPARAM>(driveEntry), 0);
    press(main, driveId, CBN_SELCHANGE);
    if (!waitFor([&] { return _wcsnicmp(shownFolder(line).c_str(), drive.c_str(), 2) == 0; }, 10s))
        fail("the drive was not chosen: " + narrow(textOf(line)));
    ::SendMessageW(list, LB_SETCURSEL, 0, 0);
    press(main, listId, LBN_DBLCLK);
    if (!waitFor([&] { return shownFolder(line).size() == 3; }, 10s))
        fail("the drive's root was not chosen: " + narrow(textOf(line)));
    std::wstring walked = path.substr(0, 3);
    for (std::size_t from = 3; from < path.size();) {
        std::size_t to = path.find(L'\\', from);
        if (to == std::wstring::npos) to = path.size();
        const std::wstring name = path.substr(from, to - from);
        from = to + 1;
        if (name.empty()) continue;
        walked += (walked.back() == L'\\' ? L"" : L"\\") + name;
        const auto entry = ::SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(name.c_str()));
        if (entry == LB_ERR) fail("the list has no entry " + narrow(name));
        ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(entry), 0);
        press(main, listId, LBN_DBLCLK);
        if (!waitFor([&] { return _wcsicmp(shownFolder(line).c_str(), walked.c_str()) == 0; }, 10s))
            fail("the folder was not chosen: " + narrow(textOf(line)));
    }
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 5) fail("usage: quillmark_window_driver GUI_EXE START_DIR SOURCE_DIR LOG_DIR ...");
    const std::wstring gui = argv[1], startDir = argv[2], source = argv[3], logDir = argv[4];
    bool musicXml = false;
    bool stop = false;
    std::wstring hold;
    for (int i = 5; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--musicxml") musicXml = true;
        if (std::wstring(argv[i]) == L"--stop") stop = true;
        if (std::wstring(argv[i]) == L"--hold" && i + 1 < argc) hold = argv[++i];
    }

    // STEP 1: start the window in the start directory and wait for it.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + gui + L"\"";
    if (!::CreateProcessW(gui.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          startDir.c_str(), &startup, &process))
        fail("cannot start " + narrow(gui));
    HWND main = nullptr;
    if (!waitFor(
            [&] { return (main = windowOf(process.dwProcessId, L"QuillmarkMain")) != nullptr; },
            30s))
        fail("the main window did not open");
    ::WaitForInputIdle(process.hProcess, 10000);
    if (narrow(textOf(main)) != "Quillmark 75 Converter") fail("the main window's caption");

    // STEP 2: the two folders, chosen with the drive boxes and the lists.
    chooseFolder(main, Control::LogDrive, Control::LogDirs, Control::LogPath, logDir);
    chooseFolder(main, Control::SourceDrive, Control::SourceDirs, Control::SourcePath, source);
    const auto listed =
        ::SendMessageW(::GetDlgItem(main, idOf(Control::SourceFiles)), LB_GETCOUNT, 0, 0);

    // STEP 3: Go!, and the end of the run: Go! usable again and the run's line, which read
    // "Ready" since the source was chosen, saying it finished, or stopped (a small run may be
    // over before the driver looks).
    if (musicXml) {
        ::SendMessageW(::GetDlgItem(main, idOf(Control::MusicXml)), BM_SETCHECK, BST_CHECKED, 0);
        press(main, Control::MusicXml);
    }
    const HWND go = ::GetDlgItem(main, idOf(Control::Go));
    const HWND runLine = ::GetDlgItem(main, idOf(Control::RunStatus));
    if (!textOf(runLine).starts_with(L"Ready")) fail("before Go!: " + narrow(textOf(runLine)));
    press(main, Control::Go);
    // Escape reaches the window through its message loop as a key would (Go! gave the focus
    // to Stop), behind Go! in the queue.
    if (stop) ::PostMessageW(::GetDlgItem(main, idOf(Control::Stop)), WM_KEYDOWN, VK_ESCAPE, 0);
    const std::wstring ended = stop ? L"Stopped after" : L"Finished";
    if (!waitFor([&] { return ::IsWindowEnabled(go) && textOf(runLine).starts_with(ended); }, 300s))
        fail("the run did not end as expected: " + narrow(textOf(runLine)));
    const std::wstring files = textOf(::GetDlgItem(main, idOf(Control::FilesBox)));
    const std::wstring errors = textOf(::GetDlgItem(main, idOf(Control::ErrorsBox)));
    const std::wstring warnings = textOf(::GetDlgItem(main, idOf(Control::WarningsBox)));
    if (!hold.empty()) {
        // The window's place on the screen, for the picture's frame.
        RECT place{};
        ::GetWindowRect(main, &place);
        const std::string frame = std::to_string(place.right - place.left) + "x" +
                                  std::to_string(place.bottom - place.top) + "+" +
                                  std::to_string(place.left) + "+" + std::to_string(place.top);
        const HANDLE ready = ::CreateFileW((hold + L".ready").c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(ready, frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr);
        ::CloseHandle(ready);
        waitFor([&] { return ::GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES; }, 60s);
    }

    // STEP 4: Help shows ReadMe.rtf in the rich-edit control; Escape closes it.
    press(main, Control::Help);
    HWND help = nullptr;
    if (!waitFor(
            [&] {
                help = windowOf(process.dwProcessId, L"QuillmarkHelp");
                return help != nullptr && ::IsWindowVisible(help);
            },
            10s))
        fail("Help did not open");
    const HWND helpText = ::FindWindowExW(help, nullptr, L"RICHEDIT50W", nullptr);
    const std::string shown = helpText != nullptr ? narrow(textOf(helpText)) : "";
    if (shown.find("Quillmark 75 Converter") == std::string::npos ||
        shown.find("What it does") == std::string::npos || shown.find("\\rtf") != std::string::npos)
        fail("Help does not show the help file's text");
    ::PostMessageW(helpText, WM_KEYDOWN, VK_ESCAPE, 0);
    if (!waitFor([&] { return !::IsWindowVisible(help); }, 10s)) fail("Escape did not close Help");

    // STEP 5: Quit ends the program.
    press(main, Control::Quit);
    if (::WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0)
        fail("Quit did not end the program");
    DWORD status = 1;
    ::GetExitCodeProcess(process.hProcess, &status);
    std::printf("listed=%lld\nfiles=%s\nerrors=%s\nwarnings=%s\nhelp=%zu characters\nexit=%lu\n",
                static_cast<long long>(listed), narrow(files).c_str(), narrow(errors).c_str(),
                narrow(warnings).c_str(), shown.size(), status);
    return status == 0 ? 0 : 1;
}
