// quillmark-gui.exe: the window on Windows. A windowed program (no console), per-monitor DPI
// aware, with the common controls' visual styles (see its manifest).
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <string>

#include "app/win32/config_place.hpp"
#include "app/win32/main_form.hpp"
#include "app/win32/wide_text.hpp"
#include "app/window/config_file.hpp"
#include "app/window/controls.hpp"

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

    // The accessibility service that names the controls for screen readers is a COM object.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    const std::wstring startDir = currentDirectory();
    qm::window::Places places;
    places.StartDir = startDir;
    places.ProgramDir = programDirectory();
    places.ConfigFile =
        std::filesystem::path(qm::win32::configDirectory(startDir)) / qm::window::ConfigFileName;
    qm::win32::MainForm window(places);
    if (!window.create(instance, show)) {
        ::MessageBoxW(nullptr, L"The window could not be created.",
                      qm::win32::wide(qm::window::ApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
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
