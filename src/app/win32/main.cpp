// quillmark-gui.exe: the window on Windows. A windowed program (no console), per-monitor DPI
// aware, with the common controls' visual styles (see its manifest).
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "app/win32/config_place.hpp"
#include "app/win32/main_window.hpp"

namespace {

std::wstring currentDirectory() {
    std::wstring dir(::GetCurrentDirectoryW(0, nullptr), L'\0');
    dir.resize(::GetCurrentDirectoryW(static_cast<DWORD>(dir.size()), dir.data()));
    return dir;
}

std::wstring programDirectory() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    // An empty floppy or card reader is skipped, not asked for with a system dialog.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS |
                                                       ICC_BAR_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);

    const std::wstring startDir = currentDirectory();
    qm::win32::MainWindow window(startDir, programDirectory(),
                                 qm::win32::configDirectory(startDir));
    if (!window.create(instance, show)) {
        ::MessageBoxW(nullptr, L"The window could not be created.", L"Quillmark Updater",
                      MB_OK | MB_ICONERROR);
        return 1;
    }
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.preTranslate(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
